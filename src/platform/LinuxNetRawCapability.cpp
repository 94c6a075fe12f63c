#include "platform/LinuxNetRawCapability.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace nms {

namespace {

// CAP_NET_RAW is below 32: it lives in the first of the two words.
constexpr unsigned kNetRawBit = 1U << CAP_NET_RAW;

struct CapabilitySets {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
};

bool readSets(CapabilitySets& sets)
{
    return ::syscall(SYS_capget, &sets.header, sets.data) == 0;
}

bool writeSets(CapabilitySets& sets)
{
    return ::syscall(SYS_capset, &sets.header, sets.data) == 0;
}

} // namespace

bool LinuxNetRawCapability::raise()
{
    CapabilitySets sets;
    if (!readSets(sets) || (sets.data[0].permitted & kNetRawBit) == 0)
        return false;
    if ((sets.data[0].effective & kNetRawBit) != 0)
        return true;
    sets.data[0].effective |= kNetRawBit;
    return writeSets(sets);
}

bool LinuxNetRawCapability::drop()
{
    CapabilitySets sets;
    if (!readSets(sets))
        return false;
    const unsigned held =
        sets.data[0].effective | sets.data[0].permitted | sets.data[0].inheritable;
    if ((held & kNetRawBit) == 0)
        return true;
    // Leaving the permitted set also empties the ambient one of it.
    sets.data[0].effective &= ~kNetRawBit;
    sets.data[0].permitted &= ~kNetRawBit;
    sets.data[0].inheritable &= ~kNetRawBit;
    return writeSets(sets);
}

} // namespace nms
