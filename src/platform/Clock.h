#pragma once

#include <QtGlobal>

namespace nms {

// Monotonic time in milliseconds, for round-trip times and time-outs.
class Clock {
public:
    virtual ~Clock() = default;
    virtual qint64 nowMs() const = 0;
};

} // namespace nms
