#pragma once

#include <memory>

#include <QString>

namespace nms {

class Timer;

// Makes the window timers; the name is the control name ("tmrVolume", ...)
// so a test double can hand out timers that the test finds again by name.
class TimerFactory {
public:
    virtual ~TimerFactory() = default;
    virtual std::unique_ptr<Timer> create(const QString& name, int intervalMs) = 0;
};

} // namespace nms
