// veltrino-nms-icmp: the one file that holds the right to open a raw ICMP
// socket (cap_net_raw in its permitted set). The window and veltrino-nmsctl
// start it when the kernel does not let them ping unprivileged. It opens its
// one socket, gives up every right for good, keeps nothing it inherited but
// its two pipes, and then pings only what its parent asks for, one request
// at a time. No Qt, no plugins, no locale: as little code as the job needs.
//
// Standard input is the request pipe, standard output the answer pipe, both
// in packet mode (see platform/EchoWire.h).
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <linux/capability.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "helper/EchoServer.h"
#include "platform/IcmpPacket.h"
#include "platform/ProcessCapabilities.h"

namespace {

constexpr int kRequests = STDIN_FILENO;
constexpr int kAnswers = STDOUT_FILENO;
constexpr int kSocket = 3;
// Exit statuses: 0 the parent went; 1 no raw socket or the rights would not
// go; 2 not started by a program of the package (no pipes).
constexpr int kCannotServe = 1;
constexpr int kMisused = 2;

int refuse(int status, const char* reason)
{
    std::fprintf(stderr, "veltrino-nms-icmp: %s\n", reason);
    return status;
}

bool isPipe(int fd)
{
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISFIFO(status.st_mode);
}

int openRawSocket()
{
    // Root has it effective already; anyone else holds it as permitted.
    (void)nms::process_capabilities::raise(CAP_NET_RAW);
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (fd < 0)
        return -1;
    // Only replies and the errors that can concern a request; every
    // message is judged anyway.
    icmp_filter filter{};
    filter.data =
        ~((1U << nms::IcmpPacket::kEchoReply) | (1U << nms::IcmpPacket::kDestinationUnreachable) |
          (1U << nms::IcmpPacket::kSourceQuench) | (1U << nms::IcmpPacket::kTimeExceeded) |
          (1U << nms::IcmpPacket::kParameterProblem));
    (void)::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
    // The kernel's receive time judges the time-out.
    const int on = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    return fd;
}

// Keeps the socket as descriptor 3 and closes every other descriptor but
// the two pipes, standard error included: nothing the caller left open is
// reachable from here. The socket's descriptor, or -1.
int closeInheritedDescriptors(int rawSocket)
{
    if (rawSocket != kSocket) {
        if (::dup3(rawSocket, kSocket, O_CLOEXEC) != kSocket)
            return -1;
        ::close(rawSocket);
    }
    if (::close_range(kSocket + 1, ~0U, 0) != 0)
        return -1;
    ::close(STDERR_FILENO);
    return kSocket;
}

} // namespace

int main()
{
    const pid_t parent = ::getppid();
    if (!isPipe(kRequests) || !isPipe(kAnswers))
        return refuse(kMisused, "start it from veltrino-nms or veltrino-nmsctl");
    int raw = openRawSocket();
    const int openError = errno;
    // Whatever happened, no right stays: not CAP_NET_RAW in any set, not
    // even in the bounding set where the process may change that.
    if (!nms::process_capabilities::dropAll(-1) || ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
        return refuse(kCannotServe, "cannot give up its capabilities");
    if (raw < 0) {
        std::fprintf(stderr, "veltrino-nms-icmp: cannot open a raw ICMP socket: %s\n",
                     std::strerror(openError));
        return kCannotServe;
    }
    // Ends with its parent, even one that leaves its pipe open elsewhere.
    (void)::prctl(PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0);
    if (::getppid() != parent)
        return 0;
    std::signal(SIGPIPE, SIG_IGN);
    raw = closeInheritedDescriptors(raw);
    if (raw < 0)
        return refuse(kCannotServe, "cannot close the descriptors it inherited");
    return nms::helper::EchoServer(kRequests, kAnswers, raw).run();
}
