#pragma once

#include "platform/Clock.h"

namespace nms {

class SteadyClock : public Clock {
public:
    qint64 nowMs() const override;
    qint64 nowUs() const override;
};

} // namespace nms
