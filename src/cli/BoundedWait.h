#pragma once

#include <QEventLoop>
#include <QObject>
#include <QTimer>

namespace nms::cli {

class InterruptSignals;

// Lets the program's timers and arrivals run until finish() is called, the
// deadline passes, or SIGINT/SIGTERM comes: no wait of the program is
// without a bound.
class BoundedWait : public QObject {
    Q_OBJECT
public:
    enum class End { Finished, TimedOut, Interrupted };

    explicit BoundedWait(InterruptSignals& interrupts, QObject* parent = nullptr);

    // The pause before round `round` of a repeated command (none before the
    // first); false when SIGINT/SIGTERM has come, before or during it.
    static bool pauseBeforeRound(InterruptSignals& interrupts, int round, int intervalMs);

    // A finish() before run() makes run() return at once.
    End run(int timeoutMs);
    void finish();

private:
    InterruptSignals& m_interrupts;
    QEventLoop m_loop;
    QTimer m_deadline;
    bool m_finished = false;
};

} // namespace nms::cli
