#include "platform/LinuxIcmpSocket.h"

#include <algorithm>
#include <cerrno>

#include <QRandomGenerator>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <linux/icmp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/NetRawCapability.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"
#include "platform/UniqueFd.h"

namespace nms {

namespace {

// Room for any answer to our 13-byte request, with the IP header and the
// quoted request of an error; anything longer is not ours.
constexpr int kReceiveBufferSize = 2048;
// Messages handled per wake-up, so that a flood cannot hold the window;
// the notifier fires again for whatever is left.
constexpr int kMaxReadsPerWakeup = 64;

int openIcmpSocket(int type)
{
    return ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, IPPROTO_ICMP);
}

sockaddr_in socketAddress(quint32 ipv4Address, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(ipv4Address);
    address.sin_port = htons(port);
    return address;
}

// A raw socket sees every ICMP message of the host; let the kernel pass only
// replies and the errors that can concern a request.
void passOnlyAnswers(int fd)
{
    icmp_filter filter{};
    filter.data = ~((1U << IcmpPacket::kEchoReply) | (1U << IcmpPacket::kDestinationUnreachable) |
                    (1U << IcmpPacket::kSourceQuench) | (1U << IcmpPacket::kTimeExceeded) |
                    (1U << IcmpPacket::kParameterProblem));
    // Only an optimisation: every message is judged anyway.
    (void)::setsockopt(fd, SOL_RAW, ICMP_FILTER, &filter, sizeof filter);
}

// The kernel stamps every received packet with this clock; the send time
// is read from it too.
timespec realtimeNow()
{
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// The time the kernel received the packet, from the control data of the
// read; the time of the read when the kernel gave none.
timespec receiveTimestampOf(msghdr& message)
{
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS &&
            header->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::copy_n(reinterpret_cast<const char*>(CMSG_DATA(header)), sizeof stamp,
                        reinterpret_cast<char*>(&stamp));
            return stamp;
        }
    }
    return realtimeNow();
}

// Without the timestamp the round trip would include however long the
// window was busy before it read the answer.
void stampReceivedPackets(int fd)
{
    const int on = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

} // namespace

LinuxIcmpSocket::LinuxIcmpSocket(TimerFactory& timers, Preference preference, QObject* parent)
    : IcmpSocket(parent)
    , m_preference(preference)
    , m_timeout(timers.create(QStringLiteral("tmrEchoTimeout"), kTimeoutMs))
    , m_buffer(kReceiveBufferSize, '\0')
{
    m_key.sequence = static_cast<quint16>(QRandomGenerator::global()->bounded(1, 0x8000));
    connect(m_timeout.get(), &Timer::tick, this, &LinuxIcmpSocket::timeOut);
}

LinuxIcmpSocket::~LinuxIcmpSocket()
{
    close();
    releaseSocket();
}

int LinuxIcmpSocket::settleRoute(NetRawCapability& capability, Preference preference)
{
    int rawFd = -1;
    if (preference != Preference::RawOnly) {
        const UniqueFd probe(openIcmpSocket(SOCK_DGRAM));
        if (probe) {
            capability.drop();
            return -1;
        }
    }
    if (preference != Preference::DatagramOnly) {
        // Without the right the open fails, and ping reports the socket
        // layer as not started.
        capability.raise();
        rawFd = openIcmpSocket(SOCK_RAW);
    }
    capability.drop();
    return rawFd;
}

void LinuxIcmpSocket::keepRawSocket(int fd)
{
    if (fd < 0)
        return;
    close();
    releaseSocket();
    adoptRaw(fd);
    watchSocket();
}

bool LinuxIcmpSocket::open()
{
    if (m_fd) {
        m_inUse = true;
        return true;
    }
    bool opened = false;
    if (m_preference != Preference::RawOnly)
        opened = openDatagram();
    if (!opened && m_preference != Preference::DatagramOnly)
        opened = openRaw();
    if (opened) {
        stampReceivedPackets(m_fd.get());
        watchSocket();
        m_inUse = true;
    }
    return opened;
}

void LinuxIcmpSocket::close()
{
    m_pending = false;
    m_inUse = false;
    m_timeout->setEnabled(false);
    // A raw socket stays: the right to open another has been given up.
    // Whatever arrives on it meanwhile is read and dropped.
    if (m_kind != Kind::Raw)
        releaseSocket();
}

void LinuxIcmpSocket::releaseSocket()
{
    if (m_notifier) {
        // close() may run inside the notifier's own signal.
        m_notifier->setEnabled(false);
        m_notifier.release()->deleteLater();
    }
    if (m_fd) {
        m_fd.reset();
        ++m_socketNumber;
    }
    m_kind = Kind::None;
}

bool LinuxIcmpSocket::sendEcho(quint32 ipv4Address)
{
    if (!isOpen() || m_pending)
        return false;
    ++m_requestNumber;
    m_pending = true;
    m_key.destination = ipv4Address;
    ++m_key.sequence;
    m_timeout->setEnabled(false);
    m_sentAt = realtimeNow();
    if (!transmit(IcmpPacket::echoRequest(m_key.identifier, m_key.sequence))) {
        finishLater(IcmpPacket::statusOfErrno(errno));
        return true;
    }
    m_timeout->setEnabled(true);
    return true;
}

bool LinuxIcmpSocket::openDatagram()
{
    m_fd.reset(openIcmpSocket(SOCK_DGRAM));
    if (!m_fd)
        return false;
    m_kind = Kind::Datagram;
    m_inUse = true;
    // Errors for our requests come through the error queue.
    const int on = 1;
    if (::setsockopt(m_fd.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0 ||
        !learnDatagramIdentifier()) {
        close();
        return false;
    }
    return true;
}

bool LinuxIcmpSocket::learnDatagramIdentifier()
{
    // The kernel puts the socket's local port into the identifier field of
    // every request, whatever we write there; bind now so it is known.
    sockaddr_in local = socketAddress(INADDR_ANY, 0);
    if (::bind(m_fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return false;
    socklen_t length = sizeof local;
    if (::getsockname(m_fd.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0)
        return false;
    m_key.identifier = ntohs(local.sin_port);
    return true;
}

bool LinuxIcmpSocket::openRaw()
{
    const int fd = openIcmpSocket(SOCK_RAW);
    if (fd < 0)
        return false;
    adoptRaw(fd);
    return true;
}

void LinuxIcmpSocket::adoptRaw(int fd)
{
    m_fd.reset(fd);
    m_kind = Kind::Raw;
    passOnlyAnswers(fd);
    stampReceivedPackets(fd);
    // A fresh identifier for each socket: answers to an earlier socket's
    // requests, or to other programs' pings, do not match.
    m_key.identifier = static_cast<quint16>(QRandomGenerator::global()->bounded(1, 0x10000));
}

void LinuxIcmpSocket::watchSocket()
{
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.get(), QSocketNotifier::Read, this);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &LinuxIcmpSocket::readAvailable);
}

bool LinuxIcmpSocket::transmit(const QByteArray& packet)
{
    const sockaddr_in destination = socketAddress(m_key.destination, 0);
    const ssize_t sent =
        ::sendto(m_fd.get(), packet.constData(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    return sent == packet.size();
}

void LinuxIcmpSocket::readAvailable()
{
    // A completion may close the socket, or close it and open another (on
    // the same descriptor number); stop reading as soon as that happens.
    const quint64 socketNumber = m_socketNumber;
    for (int i = 0; i < kMaxReadsPerWakeup && m_fd; ++i) {
        bool readSomething = false;
        if (m_kind == Kind::Datagram)
            readSomething = readOneQueuedError();
        if (m_socketNumber != socketNumber || !m_fd)
            return;
        readSomething = readOneMessage() || readSomething;
        if (!readSomething || m_socketNumber != socketNumber)
            return;
    }
}

bool LinuxIcmpSocket::readOneMessage()
{
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(timespec)) + 64];
    sockaddr_in from{};
    iovec part{m_buffer.data(), static_cast<size_t>(m_buffer.size())};
    msghdr message{};
    message.msg_name = &from;
    message.msg_namelen = sizeof from;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(m_fd.get(), &message, MSG_DONTWAIT);
    if (received < 0) {
        // A pending socket error is reported (and cleared) by this call;
        // its details are in the error queue. Only "nothing left" ends.
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
    if (!m_pending || (message.msg_flags & MSG_TRUNC) != 0)
        return true;
    const QByteArray data(m_buffer.constData(), static_cast<qsizetype>(received));
    const bool raw = m_kind == Kind::Raw;
    judge(IcmpPacket::readMessage(raw ? IcmpPacket::icmpOfIpv4(data) : data,
                                  ntohl(from.sin_addr.s_addr), m_key, raw),
          receiveTimestampOf(message));
    return true;
}

bool LinuxIcmpSocket::readOneQueuedError()
{
    alignas(cmsghdr) char control[512];
    sockaddr_in offender{};
    iovec part{m_buffer.data(), static_cast<size_t>(m_buffer.size())};
    msghdr message{};
    message.msg_name = &offender;
    message.msg_namelen = sizeof offender;
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = sizeof control;
    const ssize_t received = ::recvmsg(m_fd.get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT);
    if (received < 0)
        return false;
    if (!m_pending)
        return true;
    const QByteArray quoted(m_buffer.constData(), static_cast<qsizetype>(received));
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR)
            continue;
        sock_extended_err error{};
        std::copy_n(reinterpret_cast<const char*>(CMSG_DATA(header)), sizeof error,
                    reinterpret_cast<char*>(&error));
        judge(IcmpPacket::readQueuedError(error.ee_origin, error.ee_type, error.ee_code,
                                          static_cast<int>(error.ee_errno), quoted, m_key),
              timespec{});
        break;
    }
    return true;
}

void LinuxIcmpSocket::judge(const IcmpPacket::Reading& reading, const timespec& receivedAt)
{
    if (reading.verdict == IcmpPacket::Verdict::Unrelated || !m_pending)
        return;
    quint32 elapsedMs = 0;
    if (reading.verdict == IcmpPacket::Verdict::Answered)
        elapsedMs = roundTripMs(m_sentAt, receivedAt);
    finish(reading.status, elapsedMs);
}

quint32 LinuxIcmpSocket::roundTripMs(const timespec& sentAt, const timespec& receivedAt)
{
    const qint64 elapsedNs = (qint64(receivedAt.tv_sec) - qint64(sentAt.tv_sec)) * 1'000'000'000 +
                             (qint64(receivedAt.tv_nsec) - qint64(sentAt.tv_nsec));
    return static_cast<quint32>(std::max<qint64>(0, elapsedNs) / 1'000'000);
}

void LinuxIcmpSocket::finish(qint32 status, quint32 roundTripMs)
{
    m_pending = false;
    m_timeout->setEnabled(false);
    emit echoFinished(status, roundTripMs);
}

void LinuxIcmpSocket::finishLater(qint32 status)
{
    const quint64 request = m_requestNumber;
    QMetaObject::invokeMethod(
        this,
        [this, request, status] {
            if (m_pending && m_requestNumber == request)
                finish(status, 0);
        },
        Qt::QueuedConnection);
}

void LinuxIcmpSocket::timeOut()
{
    if (m_pending)
        finish(echo_status::RequestTimedOut, 0);
    else
        m_timeout->setEnabled(false);
}

} // namespace nms
