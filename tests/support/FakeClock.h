#pragma once

#include "platform/Clock.h"

namespace nms::test {

class FakeClock : public Clock {
public:
    qint64 now = 1000;
    qint64 nowMs() const override { return now; }
};

} // namespace nms::test
