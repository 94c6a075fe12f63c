#pragma once

#include <memory>

#include "platform/EchoWire.h"
#include "platform/IcmpHelperProcess.h"
#include "platform/IcmpSocket.h"

class QSocketNotifier;

namespace nms {

class IcmpHelpers;
class Timer;
class TimerFactory;

// ICMP echo through the helper veltrino-nms-icmp, for where the kernel
// refuses this process an unprivileged ICMP socket: the helper alone holds
// the right to open a raw socket, so this process never holds it, nor the
// socket. The first open() takes a helper (started ahead, or started then)
// and keeps it for the socket's life; a helper that cannot start (no right,
// no file) makes open() fail, and the next open() tries again. One request
// at a time, over two pipes in packet mode; more echoes at once take more
// sockets, each with its own helper (sibling()).
class HelperIcmpSocket : public IcmpSocket {
    Q_OBJECT
public:
    // The helper waits 1000 ms for an answer; this bounds a helper that
    // hangs.
    static constexpr int kGuardMs = 3000;

    HelperIcmpSocket(TimerFactory& timers, IcmpHelpers& helpers, QObject* parent = nullptr);
    ~HelperIcmpSocket() override;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_inUse && m_running; }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_pending; }
    // Another socket with a helper of its own, up to IcmpHelpers::kMaxRunning.
    std::unique_ptr<IcmpSocket> sibling() override;

    // Identifier and sequence number of the latest request.
    quint16 identifier() const { return m_identifier; }
    quint16 sequence() const { return m_sequence; }

    // The status and round trip of one answer from the helper.
    static qint32 statusOf(const echo_wire::Answer& answer);

private:
    bool start();
    void stop();
    void readAnswers();
    void helperGone();
    void finish(qint32 status, quint32 roundTripMs);
    void finishLater(qint32 status);

    TimerFactory& m_timers;
    IcmpHelpers& m_helpers;
    std::unique_ptr<Timer> m_guard;
    std::unique_ptr<QSocketNotifier> m_notifier;
    IcmpHelperProcess m_process;
    bool m_running = false;
    bool m_inUse = false;
    bool m_pending = false;
    // Requests written and not yet answered, abandoned ones included: a
    // helper that owes answers past the guard is stuck, and is replaced.
    int m_owedAnswers = 0;
    quint64 m_requestNumber = 0;
    quint16 m_identifier = 0;
    quint16 m_sequence = 0;
};

} // namespace nms
