#include "cli/BoundedWait.h"

#include "cli/InterruptSignals.h"

namespace nms::cli {

namespace {
constexpr int kLoopFinished = 0;
constexpr int kLoopTimedOut = 1;
constexpr int kLoopInterrupted = 2;
} // namespace

BoundedWait::BoundedWait(InterruptSignals& interrupts, QObject* parent)
    : QObject(parent)
    , m_interrupts(interrupts)
{
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, [this] { m_loop.exit(kLoopTimedOut); });
    connect(&m_interrupts, &InterruptSignals::interrupted, this,
            [this] { m_loop.exit(kLoopInterrupted); });
}

BoundedWait::End BoundedWait::run(int timeoutMs)
{
    if (m_interrupts.raised())
        return End::Interrupted;
    if (m_finished) {
        m_finished = false;
        return End::Finished;
    }
    m_deadline.start(timeoutMs);
    const int result = m_loop.exec();
    m_deadline.stop();
    m_finished = false;
    if (result == kLoopInterrupted || m_interrupts.raised())
        return End::Interrupted;
    return result == kLoopTimedOut ? End::TimedOut : End::Finished;
}

bool BoundedWait::pauseBeforeRound(InterruptSignals& interrupts, int round, int intervalMs)
{
    if (round > 0 && intervalMs > 0) {
        BoundedWait pause(interrupts);
        pause.run(intervalMs);
    }
    return !interrupts.raised();
}

void BoundedWait::finish()
{
    m_finished = true;
    if (m_loop.isRunning())
        m_loop.exit(kLoopFinished);
}

} // namespace nms::cli
