#pragma once

#include "platform/NetRawCapability.h"

namespace nms {

// CAP_NET_RAW of the calling thread, through the capget and capset system
// calls. Capabilities belong to each thread: use it before any other thread
// exists, so that the whole process gives the right up.
class LinuxNetRawCapability : public NetRawCapability {
public:
    bool raise() override;
    bool drop() override;
};

} // namespace nms
