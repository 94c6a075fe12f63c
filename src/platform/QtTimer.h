#pragma once

#include <QTimer>

#include "platform/Timer.h"
#include "platform/TimerFactory.h"

namespace nms {

class QtTimer : public Timer {
    Q_OBJECT
public:
    explicit QtTimer(int intervalMs, QObject* parent = nullptr);

    void setInterval(int milliseconds) override;
    int interval() const override;
    void setEnabled(bool enabled) override;
    bool isEnabled() const override;

private:
    QTimer m_timer;
    int m_interval;
    bool m_enabled = false;
    void restart();
};

class QtTimerFactory : public TimerFactory {
public:
    std::unique_ptr<Timer> create(const QString& name, int intervalMs) override;
};

} // namespace nms
