#pragma once

#include <optional>
#include <string>
#include <utility>

#include <sys/types.h>

#include "platform/UniqueFd.h"

namespace nms {

// One running ICMP helper (veltrino-nms-icmp) and the two packet pipes to
// it. Plain C++: programs start helpers before their QCoreApplication,
// while they may still hold the right the helper needs.
class IcmpHelperProcess {
public:
    // How long start() waits for a starting helper to say it is ready.
    static constexpr int kStartBoundMs = 2000;

    IcmpHelperProcess() = default;
    ~IcmpHelperProcess() { stop(); }
    IcmpHelperProcess(IcmpHelperProcess&& other) noexcept
        : m_pid(std::exchange(other.m_pid, 0))
        , m_requests(std::move(other.m_requests))
        , m_answers(std::move(other.m_answers))
    {
    }
    IcmpHelperProcess& operator=(IcmpHelperProcess&& other) noexcept
    {
        stop();
        m_pid = std::exchange(other.m_pid, 0);
        m_requests = std::move(other.m_requests);
        m_answers = std::move(other.m_answers);
        return *this;
    }

    // Starts the helper at path and waits until it holds its socket and has
    // given up its rights; empty when it cannot (no right, no file).
    static std::optional<IcmpHelperProcess> start(const std::string& path);

    bool isRunning() const { return m_pid > 0; }
    // The pipe requests are written to, and the one answers come from.
    int requests() const { return m_requests.get(); }
    int answers() const { return m_answers.get(); }

    // Closes the pipes and waits for the helper to end.
    void stop();

private:
    bool awaitReady();

    pid_t m_pid = 0;
    UniqueFd m_requests;
    UniqueFd m_answers;
};

} // namespace nms
