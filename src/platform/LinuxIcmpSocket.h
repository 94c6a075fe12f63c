#pragma once

#include <memory>
#include <string>

#include <QByteArray>

#include "platform/EchoTiming.h"
#include "platform/IcmpPacket.h"
#include "platform/IcmpSocket.h"
#include "platform/UniqueFd.h"

class QSocketNotifier;

namespace nms {

class Timer;
class TimerFactory;

// ICMP echo on Linux through the unprivileged datagram ICMP socket, which
// net.ipv4.ping_group_range allows or refuses; where it is refused the
// helper pings instead (IcmpRoute). Replies and errors are read when the
// socket signals them. An echo is judged by when the kernel received its
// answer (SO_TIMESTAMPNS), on the monotonic clock: an answer that came
// within 1000 ms counts even when a busy window reads it later, and one
// that came later is a time-out even when it is read first. The window
// never waits.
class LinuxIcmpSocket : public IcmpSocket {
    Q_OBJECT
public:
    static constexpr int kTimeoutMs = int(echo_timing::kTimeoutNs / echo_timing::kNsPerMs);

    explicit LinuxIcmpSocket(TimerFactory& timers, QObject* parent = nullptr);
    ~LinuxIcmpSocket() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_fd.valid(); }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_pending; }
    std::unique_ptr<IcmpSocket> sibling() override;

    // Identifier and sequence number of the latest request as they go on
    // the wire (a datagram socket's identifier is its local port).
    quint16 identifier() const { return m_key.identifier; }
    quint16 sequence() const { return m_key.sequence; }

private:
    void watchSocket();
    void releaseSocket();
    bool learnDatagramIdentifier();
    bool transmit(const std::string& packet);

    void readAvailable();
    bool readOneMessage();
    bool readOneQueuedError();
    void judge(const IcmpPacket::Reading& reading, qint64 arrivedNs);

    void finish(qint32 status, quint32 roundTripMs);
    void finishLater(qint32 status);
    void timeOut();

    TimerFactory& m_timers;
    UniqueFd m_fd;
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
    // On the monotonic clock, in nanoseconds.
    qint64 m_sentNs = 0;
};

} // namespace nms
