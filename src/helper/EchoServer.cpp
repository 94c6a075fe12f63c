#include "helper/EchoServer.h"

#include <cerrno>
#include <cstring>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/EchoTiming.h"
#include "platform/ReceivedMessage.h"

namespace nms::helper {

namespace {

using echo_wire::Answer;
using echo_wire::Outcome;
using echo_wire::Request;

// Room for any answer to a request of at most 74 bytes, with the IP header
// and the quoted request of an error; anything longer is not ours.
constexpr std::size_t kReceiveBufferSize = 2048;

} // namespace

EchoServer::EchoServer(int requests, int answers, int rawSocket)
    : m_requests(requests)
    , m_answers(answers)
    , m_raw(rawSocket)
    , m_buffer(kReceiveBufferSize, '\0')
{
}

int EchoServer::run()
{
    Answer ready;
    ready.outcome = Outcome::Ready;
    if (!send(ready))
        return 0;
    char message[echo_wire::kMaxRequestSize + 1];
    for (;;) {
        // One packet per read: a longer one is cut to the buffer, which is
        // one byte longer than any request, so it is refused all the same.
        const ssize_t length = ::read(m_requests, message, sizeof message);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return 0; // the parent has gone
        const std::optional<Request> request =
            echo_wire::readRequest(std::string_view(message, std::size_t(length)));
        Answer refused;
        if (!(request ? serve(*request) : send(refused)))
            return 0;
    }
}

bool EchoServer::serve(const Request& request)
{
    const IcmpPacket::EchoKey key{request.address, request.identifier, request.sequence,
                                  request.payload};
    Answer answer;
    answer.identifier = request.identifier;
    answer.sequence = request.sequence;
    const std::string packet =
        IcmpPacket::echoRequest(request.identifier, request.sequence, request.payload);
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = htonl(request.address);
    keepPace();
    discardWaiting();
    answer.sentNs = echo_timing::monotonicNowNs();
    m_lastSendNs = answer.sentNs;
    if (::sendto(m_raw, packet.data(), packet.size(), MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&destination),
                 sizeof destination) != ssize_t(packet.size())) {
        answer.outcome = Outcome::SendFailed;
        answer.errorNumber = std::uint32_t(errno);
        return send(answer);
    }
    if (!awaitOutcome(answer, key))
        return false;
    return send(answer);
}

// Waits for the answer until 1000 ms after the send; what the kernel
// received before then counts even when it is read later.
bool EchoServer::awaitOutcome(Answer& answer, const IcmpPacket::EchoKey& key)
{
    const std::int64_t deadline = answer.sentNs + echo_timing::kTimeoutNs;
    for (;;) {
        const std::int64_t left = deadline - echo_timing::monotonicNowNs();
        pollfd watched[2] = {{m_raw, POLLIN, 0}, {m_requests, 0, 0}};
        const int timeoutMs =
            left <= 0 ? 0 : int((left + echo_timing::kNsPerMs - 1) / echo_timing::kNsPerMs);
        if (::poll(watched, 2, timeoutMs) < 0 && errno != EINTR)
            return false;
        if (parentGone())
            return false;
        if (readArrivals(answer, key))
            return true;
        if (left <= 0) {
            answer.outcome = Outcome::TimedOut;
            return true;
        }
    }
}

// The right this helper carries is not a flood: whoever drives it gets at
// most one echo per kMinGapNs from it.
void EchoServer::keepPace() const
{
    const std::int64_t wait = m_lastSendNs + kMinGapNs - echo_timing::monotonicNowNs();
    if (m_lastSendNs == 0 || wait <= 0)
        return;
    timespec pause{time_t(wait / 1'000'000'000), long(wait % 1'000'000'000)};
    while (::nanosleep(&pause, &pause) != 0 && errno == EINTR) {
    }
}

// A raw socket gets every ICMP message the host receives. What came while
// no echo was out is no answer; left queued, it could fill the socket's
// buffer and crowd out the reply to the next one.
void EchoServer::discardWaiting()
{
    for (int read = 0; read < kReadsPerWake; ++read) {
        if (::recv(m_raw, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT) < 0)
            return;
    }
}

// At most kReadsPerWake packets at a time, so that a flood of unrelated ICMP
// cannot keep the helper from its deadline or from seeing its parent go.
bool EchoServer::readArrivals(Answer& answer, const IcmpPacket::EchoKey& key)
{
    for (int read = 0; read < kReadsPerWake; ++read) {
        ReceivedMessage message;
        const ssize_t received =
            message.read(m_raw, m_buffer.data(), m_buffer.size(), MSG_DONTWAIT);
        if (received < 0)
            return false;
        if (message.truncated())
            continue;
        const std::int64_t arrivedNs = echo_timing::arrivalOnMonotonic(
            echo_timing::kernelStampOf(message.header()), answer.sentNs);
        if (judge(std::string_view(m_buffer.data(), std::size_t(received)),
                  ntohl(message.from().sin_addr.s_addr), arrivedNs, answer, key))
            return true;
    }
    return false;
}

bool EchoServer::judge(std::string_view packet, std::uint32_t source, std::int64_t arrivedNs,
                       Answer& answer, const IcmpPacket::EchoKey& key)
{
    const std::string_view icmp = IcmpPacket::icmpOfIpv4(packet);
    const IcmpPacket::Reading reading = IcmpPacket::readMessage(icmp, source, key, true);
    if (reading.verdict == IcmpPacket::Verdict::Unrelated)
        return false;
    answer.receivedNs = arrivedNs;
    answer.from = source;
    if (echo_timing::arrivedTooLate(answer.sentNs, arrivedNs)) {
        answer.outcome = Outcome::TimedOut;
        return true;
    }
    answer.outcome =
        reading.verdict == IcmpPacket::Verdict::Answered ? Outcome::Reply : Outcome::IcmpError;
    answer.type = std::uint8_t(icmp[0]);
    answer.code = std::uint8_t(icmp[1]);
    return true;
}

bool EchoServer::parentGone() const
{
    pollfd pipe{m_requests, 0, 0};
    return ::poll(&pipe, 1, 0) > 0 && (pipe.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

bool EchoServer::send(const Answer& answer)
{
    const std::string bytes = echo_wire::encodeAnswer(answer);
    for (;;) {
        const ssize_t written = ::write(m_answers, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        return written == ssize_t(bytes.size());
    }
}

} // namespace nms::helper
