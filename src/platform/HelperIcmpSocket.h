#pragma once

#include <memory>

#include <QString>

#include "platform/EchoWire.h"
#include "platform/IcmpSocket.h"
#include "platform/UniqueFd.h"

class QSocketNotifier;

namespace nms {

class Timer;
class TimerFactory;

// ICMP echo through the helper veltrino-nms-icmp, for where the kernel
// refuses this process an unprivileged ICMP socket: the helper alone holds
// the right to open a raw socket, so this process never holds it, nor the
// socket. The helper is started by the first open() and kept for the
// process's life; a helper that cannot start (no right, no file) makes
// open() fail, and the next open() tries again. One request at a time, over
// two pipes in packet mode.
class HelperIcmpSocket : public IcmpSocket {
    Q_OBJECT
public:
    // The helper waits 1000 ms for an answer; this bounds a helper that
    // hangs.
    static constexpr int kGuardMs = 3000;
    // How long open() waits for a starting helper to say it is ready.
    static constexpr int kStartBoundMs = 2000;

    HelperIcmpSocket(TimerFactory& timers, QString helperPath, QObject* parent = nullptr);
    ~HelperIcmpSocket() override;

    // The helper beside the program (a build tree), else the installed one.
    static QString locate(const QString& programDirectory);

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_inUse && m_running; }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_pending; }

    // Identifier and sequence number of the latest request.
    quint16 identifier() const { return m_identifier; }
    quint16 sequence() const { return m_sequence; }

    // The status and round trip of one answer from the helper.
    static qint32 statusOf(const echo_wire::Answer& answer);

private:
    bool start();
    bool awaitReady();
    void stop();
    void readAnswers();
    void helperGone();
    void finish(qint32 status, quint32 roundTripMs);
    void finishLater(qint32 status);

    QString m_helperPath;
    std::unique_ptr<Timer> m_guard;
    std::unique_ptr<QSocketNotifier> m_notifier;
    UniqueFd m_requests;
    UniqueFd m_answers;
    qint64 m_pid = 0;
    bool m_running = false;
    bool m_inUse = false;
    bool m_pending = false;
    quint64 m_requestNumber = 0;
    quint16 m_identifier = 0;
    quint16 m_sequence = 0;
};

} // namespace nms
