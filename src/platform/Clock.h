#pragma once

#include <QtGlobal>

namespace nms {

// Monotonic time in milliseconds, for round-trip times and time-outs.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
    // The same clock to the microsecond, so that an interval under a
    // millisecond is not counted as one when it spans a millisecond tick.
    // A clock that only knows milliseconds keeps this default.
    virtual qint64 nowUs() const { return nowMs() * 1000; }
};

} // namespace nms
