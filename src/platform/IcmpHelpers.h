#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/IcmpHelperProcess.h"

namespace nms {

// Where a program's ICMP helpers come from. A helper is normally started
// when the first echo needs it, and gets CAP_NET_RAW from its file
// capability. Under no_new_privs (a sandboxed service) the kernel does not
// raise a file capability beyond what the starting process holds, and this
// program gives up every capability at start-up; so a process that starts
// with CAP_NET_RAW (an ambient capability from its unit, or root) starts its
// helpers ahead, before it drops, and hands them out later. Plain C++.
class IcmpHelpers {
public:
    // Helpers at once, each carrying one echo: bounds the processes and raw
    // sockets a program may have.
    static constexpr int kMaxRunning = 16;

    explicit IcmpHelpers(std::string path);

    // The helper beside the running program (a build tree), else the
    // installed one.
    static std::string locate();

    // Starts up to `count` helpers now, when this process holds CAP_NET_RAW
    // and the kernel refuses it the unprivileged ICMP socket. Call it first
    // thing, while the process is one thread, before it drops its rights.
    void startAhead(int count);

    // A helper for one more socket: one started ahead, else a fresh one;
    // empty when none can start.
    std::optional<IcmpHelperProcess> take();

    // The sockets that use helpers from here, for the bound above.
    int users() const { return m_users; }
    void addUser() { ++m_users; }
    void removeUser() { --m_users; }

    int startedAhead() const { return int(m_ready.size()); }

private:
    std::string m_path;
    std::vector<IcmpHelperProcess> m_ready;
    int m_users = 0;
};

} // namespace nms
