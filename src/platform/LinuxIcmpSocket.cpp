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

#include "platform/EchoTiming.h"
#include "platform/ReceivedMessage.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"
#include "platform/UniqueFd.h"

namespace nms {

namespace {

// Room for any answer to our 13-byte request, with the quoted request of an
// error; anything longer is not ours.
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

// Without the timestamp the round trip would include however long the
// window was busy before it read the answer.
void stampReceivedPackets(int fd)
{
    const int on = 1;
    (void)::setsockopt(fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
}

} // namespace

LinuxIcmpSocket::LinuxIcmpSocket(TimerFactory& timers, QObject* parent)
    : IcmpSocket(parent)
    , m_timers(timers)
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

std::unique_ptr<IcmpSocket> LinuxIcmpSocket::sibling()
{
    return std::make_unique<LinuxIcmpSocket>(m_timers);
}

bool LinuxIcmpSocket::open()
{
    if (m_fd)
        return true;
    m_fd.reset(openIcmpSocket(SOCK_DGRAM));
    if (!m_fd)
        return false;
    // Errors for our requests come through the error queue.
    const int on = 1;
    if (::setsockopt(m_fd.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0 ||
        !learnDatagramIdentifier()) {
        releaseSocket();
        return false;
    }
    stampReceivedPackets(m_fd.get());
    watchSocket();
    return true;
}

void LinuxIcmpSocket::close()
{
    m_pending = false;
    m_timeout->setEnabled(false);
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
    m_sentNs = echo_timing::monotonicNowNs();
    if (!transmit(IcmpPacket::echoRequest(m_key.identifier, m_key.sequence))) {
        finishLater(IcmpPacket::statusOfErrno(errno));
        return true;
    }
    m_timeout->setEnabled(true);
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

void LinuxIcmpSocket::watchSocket()
{
    m_notifier = std::make_unique<QSocketNotifier>(m_fd.get(), QSocketNotifier::Read, this);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &LinuxIcmpSocket::readAvailable);
}

bool LinuxIcmpSocket::transmit(const std::string& packet)
{
    const sockaddr_in destination = socketAddress(m_key.destination, 0);
    const ssize_t sent =
        ::sendto(m_fd.get(), packet.data(), packet.size(), MSG_DONTWAIT | MSG_NOSIGNAL,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    return sent == ssize_t(packet.size());
}

void LinuxIcmpSocket::readAvailable()
{
    // A completion may close the socket, or close it and open another (on
    // the same descriptor number); stop reading as soon as that happens.
    const quint64 socketNumber = m_socketNumber;
    for (int i = 0; i < kMaxReadsPerWakeup && m_fd; ++i) {
        bool readSomething = readOneQueuedError();
        if (m_socketNumber != socketNumber || !m_fd)
            return;
        readSomething = readOneMessage() || readSomething;
        if (!readSomething || m_socketNumber != socketNumber)
            return;
    }
}

bool LinuxIcmpSocket::readOneMessage()
{
    ReceivedMessage message;
    const ssize_t received =
        message.read(m_fd.get(), m_buffer.data(), std::size_t(m_buffer.size()), MSG_DONTWAIT);
    if (received < 0) {
        // A pending socket error is reported (and cleared) by this call;
        // its details are in the error queue. Only "nothing left" ends.
        return errno != EAGAIN && errno != EWOULDBLOCK;
    }
    if (!m_pending || message.truncated())
        return true;
    // The kernel has checked the checksum of what a datagram socket reads.
    const std::string_view icmp(m_buffer.constData(), std::size_t(received));
    judge(IcmpPacket::readMessage(icmp, ntohl(message.from().sin_addr.s_addr), m_key, false),
          echo_timing::arrivalOnMonotonic(echo_timing::kernelStampOf(message.header()), m_sentNs));
    return true;
}

bool LinuxIcmpSocket::readOneQueuedError()
{
    ReceivedMessage message;
    const ssize_t received = message.read(m_fd.get(), m_buffer.data(), std::size_t(m_buffer.size()),
                                          MSG_ERRQUEUE | MSG_DONTWAIT);
    if (received < 0)
        return false;
    if (!m_pending)
        return true;
    const std::string_view quoted(m_buffer.constData(), std::size_t(received));
    for (cmsghdr* header = CMSG_FIRSTHDR(&message.header()); header != nullptr;
         header = CMSG_NXTHDR(&message.header(), header)) {
        if (header->cmsg_level != SOL_IP || header->cmsg_type != IP_RECVERR)
            continue;
        sock_extended_err error{};
        std::copy_n(reinterpret_cast<const char*>(CMSG_DATA(header)), sizeof error,
                    reinterpret_cast<char*>(&error));
        judge(IcmpPacket::readQueuedError(error.ee_origin, error.ee_type, error.ee_code,
                                          static_cast<int>(error.ee_errno), quoted, m_key),
              echo_timing::arrivalOnMonotonic(echo_timing::kernelStampOf(message.header()),
                                              m_sentNs));
        break;
    }
    return true;
}

void LinuxIcmpSocket::judge(const IcmpPacket::Reading& reading, qint64 arrivedNs)
{
    if (reading.verdict == IcmpPacket::Verdict::Unrelated || !m_pending)
        return;
    if (echo_timing::arrivedTooLate(m_sentNs, arrivedNs))
        finish(echo_status::RequestTimedOut, 0);
    else if (reading.verdict == IcmpPacket::Verdict::Answered)
        finish(reading.status, echo_timing::roundTripMs(m_sentNs, arrivedNs));
    else
        finish(reading.status, 0);
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
    m_timeout->setEnabled(false);
    // An answer that the kernel received in time but the window has not
    // read yet still counts.
    if (m_pending)
        readAvailable();
    if (m_pending)
        finish(echo_status::RequestTimedOut, 0);
}

} // namespace nms
