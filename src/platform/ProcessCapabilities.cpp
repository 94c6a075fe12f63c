#include "platform/ProcessCapabilities.h"

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace nms::process_capabilities {

namespace {

struct CapabilitySets {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};

    bool read() { return ::syscall(SYS_capget, &header, data) == 0; }
    bool write() { return ::syscall(SYS_capset, &header, data) == 0; }

    bool effective(int capability) const
    {
        return (data[capability / 32].effective & (1U << (capability % 32))) != 0;
    }
    bool permitted(int capability) const
    {
        return (data[capability / 32].permitted & (1U << (capability % 32))) != 0;
    }
    bool empty() const
    {
        for (const __user_cap_data_struct& word : data)
            if (word.effective != 0 || word.permitted != 0 || word.inheritable != 0)
                return false;
        return true;
    }
};

// Every capability the kernel knows answers PR_CAPBSET_READ; the first it
// does not know fails.
void narrowBoundingSet(int keep)
{
    for (int capability = 0; ::prctl(PR_CAPBSET_READ, capability, 0, 0, 0) >= 0; ++capability)
        if (capability != keep)
            (void)::prctl(PR_CAPBSET_DROP, capability, 0, 0, 0);
}

} // namespace

bool permitted(int capability)
{
    CapabilitySets sets;
    return sets.read() && sets.permitted(capability);
}

bool raise(int capability)
{
    CapabilitySets sets;
    if (!sets.read() || !sets.permitted(capability))
        return false;
    if (sets.effective(capability))
        return true;
    sets.data[capability / 32].effective |= 1U << (capability % 32);
    return sets.write();
}

bool dropAll(int keepBounding)
{
    CapabilitySets sets;
    if (!sets.read())
        return false;
    // Only while CAP_SETPCAP is still effective.
    if (sets.effective(CAP_SETPCAP))
        narrowBoundingSet(keepBounding);
    (void)::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_CLEAR_ALL, 0, 0, 0);
    CapabilitySets none;
    if (!sets.empty() && !none.write())
        return false;
    return none.read() && none.empty() &&
           ::prctl(PR_CAP_AMBIENT, PR_CAP_AMBIENT_IS_SET, CAP_NET_RAW, 0, 0) <= 0;
}

} // namespace nms::process_capabilities
