#include "platform/QtTimer.h"

namespace nms {

QtTimer::QtTimer(int intervalMs, QObject* parent)
    : Timer(parent)
    , m_interval(intervalMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &Timer::tick);
}

void QtTimer::setInterval(int milliseconds)
{
    m_interval = milliseconds;
    restart();
}

int QtTimer::interval() const
{
    return m_interval;
}

void QtTimer::setEnabled(bool enabled)
{
    // Enabling a running timer keeps its countdown; disabling and enabling
    // again starts a fresh one.
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    restart();
}

bool QtTimer::isEnabled() const
{
    return m_enabled;
}

void QtTimer::restart()
{
    // An interval of 0 never ticks, as with the window timers the program
    // was built around.
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}

std::unique_ptr<Timer> QtTimerFactory::create(const QString& name, int intervalMs)
{
    auto timer = std::make_unique<QtTimer>(intervalMs);
    timer->setObjectName(name);
    return timer;
}

} // namespace nms
