#pragma once

#include <ctime>
#include <memory>

#include <QByteArray>

#include "platform/IcmpPacket.h"
#include "platform/IcmpSocket.h"
#include "platform/UniqueFd.h"

class QSocketNotifier;

namespace nms {

class NetRawCapability;
class Timer;
class TimerFactory;

// ICMP echo on Linux. It prefers the unprivileged datagram ICMP socket
// (allowed by net.ipv4.ping_group_range) and falls back to a raw socket,
// which needs CAP_NET_RAW. A raw socket is opened once, before the window
// reads any network input (settleRoute), and kept for the program's life:
// closing it only abandons the request, since the right to open another is
// gone. Replies and errors are read when the socket signals them; the
// round-trip time ends at the kernel's receive timestamp, so a busy window
// does not lengthen it. The 1000 ms time-out runs on a timer, so the window
// never waits.
class LinuxIcmpSocket : public IcmpSocket {
    Q_OBJECT
public:
    enum class Kind { None, Datagram, Raw };
    // Which kinds open() may try; tests force one to exercise each path.
    enum class Preference { Automatic, DatagramOnly, RawOnly };

    static constexpr int kTimeoutMs = 1000;

    LinuxIcmpSocket(TimerFactory& timers, Preference preference = Preference::Automatic,
                    QObject* parent = nullptr);
    ~LinuxIcmpSocket() override;

    // Decides once, at start-up and before any other thread exists, how
    // this process pings. Where the datagram socket is allowed nothing is
    // raised; otherwise CAP_NET_RAW is made effective just to open a raw
    // socket. Either way the right is then dropped for good. Returns the raw
    // socket to keep (for keepRawSocket), or -1.
    static int settleRoute(NetRawCapability& capability,
                           Preference preference = Preference::Automatic);
    // Pings through a raw socket from settleRoute for the program's life.
    void keepRawSocket(int fd);

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_fd && m_inUse; }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_pending; }

    Kind kind() const { return m_kind; }
    // Identifier and sequence number of the latest request as they go on
    // the wire (a datagram socket's identifier is its local port).
    quint16 identifier() const { return m_key.identifier; }
    quint16 sequence() const { return m_key.sequence; }

    // Whole milliseconds from sending to the kernel's receipt of the answer;
    // a reply within the first millisecond is 0 ms, and a clock step
    // backwards gives 0, never a huge time.
    static quint32 roundTripMs(const timespec& sentAt, const timespec& receivedAt);

private:
    bool openDatagram();
    bool openRaw();
    void adoptRaw(int fd);
    void watchSocket();
    void releaseSocket();
    bool learnDatagramIdentifier();
    bool transmit(const QByteArray& packet);

    void readAvailable();
    bool readOneMessage();
    bool readOneQueuedError();
    void judge(const IcmpPacket::Reading& reading, const timespec& receivedAt);

    void finish(qint32 status, quint32 roundTripMs);
    void finishLater(qint32 status);
    void timeOut();

    Preference m_preference;
    Kind m_kind = Kind::None;
    UniqueFd m_fd;
    // Between open() and close(); a kept raw socket stays open without it.
    bool m_inUse = false;
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
    timespec m_sentAt{};
};

} // namespace nms
