#pragma once

#include <memory>

#include <QByteArray>

#include "platform/IcmpPacket.h"
#include "platform/IcmpSocket.h"

class QSocketNotifier;

namespace nms {

class Clock;
class Timer;
class TimerFactory;

// ICMP echo on Linux. It prefers the unprivileged datagram ICMP socket
// (allowed by net.ipv4.ping_group_range) and falls back to a raw socket,
// which needs CAP_NET_RAW. Replies and errors are read when the socket
// signals them; the 1000 ms time-out runs on a timer, so the window never
// waits.
class LinuxIcmpSocket : public IcmpSocket {
    Q_OBJECT
public:
    enum class Kind { None, Datagram, Raw };
    // Which kinds open() may try; tests force one to exercise each path.
    enum class Preference { Automatic, DatagramOnly, RawOnly };

    static constexpr int kTimeoutMs = 1000;

    LinuxIcmpSocket(TimerFactory& timers, Clock& clock,
                    Preference preference = Preference::Automatic, QObject* parent = nullptr);
    ~LinuxIcmpSocket() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_pending; }

    Kind kind() const { return m_kind; }
    // Identifier and sequence number of the latest request as they go on
    // the wire (a datagram socket's identifier is its local port).
    quint16 identifier() const { return m_key.identifier; }
    quint16 sequence() const { return m_key.sequence; }

private:
    bool openDatagram();
    bool openRaw();
    void watchSocket();
    bool learnDatagramIdentifier();
    bool transmit(const QByteArray& packet);

    void readAvailable();
    bool readOneMessage();
    bool readOneQueuedError();
    void judge(const IcmpPacket::Reading& reading);

    void finish(qint32 status, quint32 roundTripMs);
    void finishLater(qint32 status);
    void timeOut();

    Clock& m_clock;
    Preference m_preference;
    Kind m_kind = Kind::None;
    int m_fd = -1;
    // Counts closed sockets, to tell a reopened socket from the old one.
    quint64 m_socketNumber = 0;
    std::unique_ptr<QSocketNotifier> m_notifier;
    std::unique_ptr<Timer> m_timeout;
    QByteArray m_buffer;

    bool m_pending = false;
    // Numbers every request so that a completion queued for an earlier one
    // (abandoned by close()) is recognised and dropped.
    quint64 m_requestNumber = 0;
    IcmpPacket::EchoKey m_key;
    qint64 m_sentAtUs = 0;
};

} // namespace nms
