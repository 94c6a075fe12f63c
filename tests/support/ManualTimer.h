#pragma once

#include <QHash>
#include <QPointer>

#include "platform/Timer.h"
#include "platform/TimerFactory.h"

namespace nms::test {

// A timer that ticks only when the test calls fire(), and only while enabled.
class ManualTimer : public Timer {
    Q_OBJECT
public:
    explicit ManualTimer(int intervalMs)
        : m_interval(intervalMs)
    {
    }

    void setInterval(int milliseconds) override
    {
        m_interval = milliseconds;
        ++m_restarts;
    }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override
    {
        if (enabled != m_enabled)
            ++m_restarts;
        m_enabled = enabled;
    }
    bool isEnabled() const override { return m_enabled; }
    // Counts how often the countdown was (re)started or stopped.
    int restarts() const { return m_restarts; }

    // Returns false (and does nothing) when the timer is disabled.
    bool fire()
    {
        if (!m_enabled)
            return false;
        emit tick();
        return true;
    }

private:
    int m_interval;
    bool m_enabled = false;
    int m_restarts = 0;
};

class ManualTimerFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> create(const QString& name, int intervalMs) override
    {
        auto timer = std::make_unique<ManualTimer>(intervalMs);
        timer->setObjectName(name);
        m_timers.insert(name, timer.get());
        return timer;
    }
    ManualTimer* timer(const QString& name) const { return m_timers.value(name); }

private:
    QHash<QString, QPointer<ManualTimer>> m_timers;
};

} // namespace nms::test
