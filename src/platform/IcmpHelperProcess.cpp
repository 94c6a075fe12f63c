#include "platform/IcmpHelperProcess.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/EchoWire.h"

namespace nms {

namespace {

// Both ends of a pipe in packet mode, each write one message; closed on exec
// and never below 3, so that they never land on the standard descriptors
// the helper is given.
bool packetPipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    int fds[2];
    if (::pipe2(fds, O_DIRECT | O_CLOEXEC) != 0)
        return false;
    for (int& fd : fds) {
        if (fd < 3) {
            const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
            ::close(fd);
            fd = moved;
        }
    }
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return readEnd && writeEnd;
}

} // namespace

std::optional<IcmpHelperProcess> IcmpHelperProcess::start(const std::string& path)
{
    IcmpHelperProcess helper;
    UniqueFd childRequests;
    UniqueFd childAnswers;
    if (!packetPipe(childRequests, helper.m_requests) ||
        !packetPipe(helper.m_answers, childAnswers))
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, childRequests.get(), STDIN_FILENO);
    ::posix_spawn_file_actions_adddup2(&actions, childAnswers.get(), STDOUT_FILENO);
    char* const argv[] = {const_cast<char*>(path.c_str()), nullptr};
    char* const environment[] = {nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environment);
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    helper.m_pid = pid;
    // Only the helper holds these ends now: its exit shows as the end of
    // the answer pipe.
    childRequests.reset();
    childAnswers.reset();
    if (!helper.awaitReady())
        return std::nullopt;
    return helper;
}

// The helper says it is ready once it holds its socket and has given up
// its rights; one without the right ends instead.
bool IcmpHelperProcess::awaitReady()
{
    pollfd answers{m_answers.get(), POLLIN, 0};
    int ready = -1;
    do
        ready = ::poll(&answers, 1, kStartBoundMs);
    while (ready < 0 && errno == EINTR);
    if (ready <= 0)
        return false;
    char message[echo_wire::kAnswerSize + 1];
    ssize_t length = -1;
    do
        length = ::read(m_answers.get(), message, sizeof message);
    while (length < 0 && errno == EINTR);
    const std::optional<echo_wire::Answer> answer =
        echo_wire::readAnswer(std::string_view(message, std::size_t(std::max<ssize_t>(length, 0))));
    return answer && answer->outcome == echo_wire::Outcome::Ready;
}

void IcmpHelperProcess::stop()
{
    m_requests.reset();
    m_answers.reset();
    if (m_pid > 0) {
        // Its pipes are closed, so it is on its way out; the signal only
        // makes sure that the wait is short.
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
    m_pid = 0;
}

} // namespace nms
