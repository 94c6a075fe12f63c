#pragma once

#include "platform/Clock.h"

namespace nms {

class SteadyClock : public Clock {
public:
    qint64 nowMs() const override;
};

} // namespace nms
