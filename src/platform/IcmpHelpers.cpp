#include "platform/IcmpHelpers.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include <linux/capability.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "Version.h"
#include "platform/ProcessCapabilities.h"
#include "platform/UniqueFd.h"

namespace nms {

IcmpHelpers::IcmpHelpers(std::string path)
    : m_path(std::move(path))
{
}

std::string IcmpHelpers::locate()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path beside = program.parent_path() / "veltrino-nms-icmp";
    if (!error && ::access(beside.c_str(), X_OK) == 0 &&
        std::filesystem::is_regular_file(beside, error))
        return beside.string();
    return kIcmpHelperPath;
}

void IcmpHelpers::startAhead(int count)
{
    if (!process_capabilities::permitted(CAP_NET_RAW))
        return;
    // Where the datagram socket is allowed, no helper is needed.
    if (UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP)))
        return;
    while (int(m_ready.size()) < std::min(count, kMaxRunning)) {
        std::optional<IcmpHelperProcess> helper = IcmpHelperProcess::start(m_path);
        if (!helper)
            break;
        m_ready.push_back(std::move(*helper));
    }
}

std::optional<IcmpHelperProcess> IcmpHelpers::take()
{
    if (m_ready.empty())
        return IcmpHelperProcess::start(m_path);
    IcmpHelperProcess helper = std::move(m_ready.back());
    m_ready.pop_back();
    return helper;
}

} // namespace nms
