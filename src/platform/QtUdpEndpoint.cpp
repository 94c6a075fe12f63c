#include "platform/QtUdpEndpoint.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include <QFile>
#include <QMetaObject>
#include <QNetworkInterface>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/ReceivedMessage.h"

namespace nms {

namespace {

constexpr int kLargestDatagram = 65535;

sockaddr_in socketAddress(const QHostAddress& host, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(host.toIPv4Address());
    return address;
}

int readProcInteger(const char* path)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toInt();
}

// The drop counter of the socket with this inode in /proc/net/udp: the
// kernel reports a drop to the reader only with the next datagram it queues,
// so drops at the end of a burst are seen here first.
quint64 procDropCount(ino_t inode)
{
    QFile table(QStringLiteral("/proc/net/udp"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray wanted = QByteArray::number(qulonglong(inode));
    table.readLine(); // header
    while (!table.atEnd()) {
        const QList<QByteArray> fields = table.readLine().simplified().split(' ');
        // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ref pointer drops
        if (fields.size() >= 13 && fields.at(9) == wanted)
            return fields.at(12).toULongLong();
    }
    return 0;
}

} // namespace

QtUdpEndpoint::QtUdpEndpoint(QObject* parent)
    : UdpEndpoint(parent)
{
}

QtUdpEndpoint::~QtUdpEndpoint()
{
    close();
}

bool QtUdpEndpoint::bind(quint16 localPort)
{
    if (isOpen())
        return false;
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_fd < 0)
        return false;
    // Exclusive: without SO_REUSEADDR a port held by another program is a
    // failure, not shared.
    const sockaddr_in local = socketAddress(QHostAddress(QHostAddress::AnyIPv4), localPort);
    const int on = 1;
    if (::bind(m_fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        ::setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
        close();
        return false;
    }
    // Without the drop counter a loss would go unseen; the endpoint still
    // works, so a kernel without it is no reason to refuse the port.
    ::setsockopt(m_fd, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on);
    // Without receive times a held datagram is judged by when it is read,
    // which is still close to its arrival: no reason to refuse the port.
    ::setsockopt(m_fd, SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    enlargeReceiveBuffer();
    m_kernelDrops = 0;
    m_inboxDrops = 0;
    m_readBuffer.resize(kLargestDatagram);
    m_notifier = new QSocketNotifier(qintptr(m_fd), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QtUdpEndpoint::readPending);
    return true;
}

// The default queue (about 200 short datagrams) overflows when hundreds of
// elements answer one discovery at once. A privileged program may go past
// the system's ceiling; any other gets the ceiling, net.core.rmem_max.
void QtUdpEndpoint::enlargeReceiveBuffer()
{
    const int forced = kPreferredReceiveBuffer;
    if (::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUFFORCE, &forced, sizeof forced) == 0)
        return;
    const int ceiling = readProcInteger("/proc/sys/net/core/rmem_max");
    // The kernel doubles what it is given; never ask for less than it has.
    if (ceiling > 0 && ceiling * 2 > receiveBufferBytes())
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &ceiling, sizeof ceiling);
}

int QtUdpEndpoint::receiveBufferBytes() const
{
    int bytes = 0;
    socklen_t length = sizeof bytes;
    if (m_fd < 0 || ::getsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &bytes, &length) != 0)
        return 0;
    return bytes;
}

void QtUdpEndpoint::close()
{
    if (m_fd < 0)
        return;
    delete m_notifier;
    m_notifier = nullptr;
    ::close(m_fd);
    m_fd = -1;
}

bool QtUdpEndpoint::isOpen() const
{
    return m_fd >= 0;
}

quint64 QtUdpEndpoint::droppedDatagrams() const
{
    quint64 kernel = m_kernelDrops;
    struct stat status {};
    if (m_fd >= 0 && ::fstat(m_fd, &status) == 0)
        kernel = std::max(kernel, procDropCount(status.st_ino));
    return kernel + m_inboxDrops;
}

void QtUdpEndpoint::readPending()
{
    for (int read = 0; read < kMaxReadsPerWake && m_fd >= 0; ++read) {
        if (!readOne())
            break;
    }
    if (!m_inbox.isEmpty() && !m_handOnScheduled) {
        m_handOnScheduled = true;
        QMetaObject::invokeMethod(this, &QtUdpEndpoint::handOnArrivals, Qt::QueuedConnection);
    }
}

// One datagram with its sender and the kernel's drop counter; false when
// none is pending. A zero-length datagram is a datagram too.
bool QtUdpEndpoint::readOne()
{
    ReceivedMessage message;
    const ssize_t length =
        message.read(m_fd, m_readBuffer.data(), std::size_t(m_readBuffer.size()), MSG_DONTWAIT);
    if (length < 0)
        return errno == EINTR;
    qint64 arrivedUs = kArrivedNow;
    for (cmsghdr* header = CMSG_FIRSTHDR(&message.header()); header != nullptr;
         header = CMSG_NXTHDR(&message.header(), header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SO_RXQ_OVFL) {
            quint32 drops = 0;
            std::memcpy(&drops, CMSG_DATA(header), sizeof drops);
            m_kernelDrops = std::max(m_kernelDrops, quint64(drops));
        } else if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS) {
            timespec kernelTime{};
            std::memcpy(&kernelTime, CMSG_DATA(header), sizeof kernelTime);
            arrivedUs = steadyArrivalUs(kernelTime);
        }
    }
    if (m_inbox.size() >= kInboxCapacity || m_inboxBytes + length > kInboxByteCapacity) {
        ++m_inboxDrops;
        return true;
    }
    m_inboxBytes += length;
    m_inbox.append({QByteArray(m_readBuffer.constData(), qsizetype(length)),
                    QHostAddress(ntohl(message.from().sin_addr.s_addr)),
                    ntohs(message.from().sin_port), arrivedUs});
    return true;
}

// The kernel stamps a datagram on the wall clock; the program's time-outs
// run on the steady clock. The datagram's age, read now on the wall clock,
// places it on the steady one. A stamp in the future (the wall clock was
// set back since) counts as arriving now.
qint64 QtUdpEndpoint::steadyArrivalUs(const timespec& kernelTime)
{
    using namespace std::chrono;
    timespec wallNow{};
    ::clock_gettime(CLOCK_REALTIME, &wallNow);
    const qint64 steadyNowUs =
        duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
    const qint64 ageUs = (qint64(wallNow.tv_sec) - qint64(kernelTime.tv_sec)) * 1000000 +
                         (qint64(wallNow.tv_nsec) - qint64(kernelTime.tv_nsec)) / 1000;
    return steadyNowUs - std::max<qint64>(0, ageUs);
}

void QtUdpEndpoint::takePending()
{
    if (m_fd >= 0)
        readPending();
    handOnArrivals();
}

// One at a time from the front: a handler that runs a modal box lets this
// run again inside it, and the order of arrival is kept.
void QtUdpEndpoint::handOnArrivals()
{
    m_handOnScheduled = false;
    while (!m_inbox.isEmpty()) {
        const Arrival arrival = m_inbox.takeFirst();
        m_inboxBytes -= arrival.data.size();
        emit datagramArrived(arrival.data, arrival.sender, arrival.senderPort, arrival.arrivedUs);
    }
}

bool QtUdpEndpoint::sendTo(const QByteArray& data, const QHostAddress& host, quint16 port)
{
    return sendDatagram(data, host, port);
}

// Linux refuses the limited broadcast where no route covers it (an isolated
// device network without a default gateway), so the request leaves every up,
// broadcast-capable IPv4 interface on its own: one copy per interface, so
// that an element answers once. Only where no interface took a copy does the
// plain limited broadcast go out, as the routing table decides.
bool QtUdpEndpoint::broadcast(const QByteArray& data, quint16 port)
{
    bool anyLeft = false;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        if (!m_broadcastInterface.isEmpty() && interface.name() != m_broadcastInterface)
            continue;
        if (isBroadcastInterface(interface))
            anyLeft = broadcastOn(interface, data, port) || anyLeft;
    }
    // Restricted to one interface, nothing leaves any other way.
    if (anyLeft || !m_broadcastInterface.isEmpty())
        return anyLeft;
    return sendDatagram(data, QHostAddress(QHostAddress::Broadcast), port);
}

bool QtUdpEndpoint::isBroadcastInterface(const QNetworkInterface& interface)
{
    const auto flags = interface.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp) ||
        !flags.testFlag(QNetworkInterface::CanBroadcast) ||
        flags.testFlag(QNetworkInterface::IsLoopBack))
        return false;
    const auto entries = interface.addressEntries();
    return std::any_of(entries.begin(), entries.end(), [](const QNetworkAddressEntry& entry) {
        return entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
    });
}

// The limited broadcast bound to the interface; where the kernel refuses
// that, the interface's own subnet broadcast.
bool QtUdpEndpoint::broadcastOn(const QNetworkInterface& interface, const QByteArray& data,
                                quint16 port)
{
    if (sendDatagram(data, QHostAddress(QHostAddress::Broadcast), port, interface.index()))
        return true;
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.broadcast().isNull())
            continue;
        if (sendDatagram(data, entry.broadcast(), port, interface.index()))
            return true;
    }
    return false;
}

// With an interface index the datagram leaves that interface (IP_PKTINFO),
// whatever the routing table would choose.
bool QtUdpEndpoint::sendDatagram(const QByteArray& data, const QHostAddress& host, quint16 port,
                                 int interfaceIndex)
{
    if (!isOpen()) {
        m_lastFailure = SendFailure::Endpoint;
        m_lastError = QStringLiteral("the socket is closed");
        return false;
    }
    sockaddr_in destination = socketAddress(host, port);
    iovec payload{const_cast<char*>(data.constData()), size_t(data.size())};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    msghdr message{};
    message.msg_name = &destination;
    message.msg_namelen = sizeof destination;
    message.msg_iov = &payload;
    message.msg_iovlen = 1;
    if (interfaceIndex > 0) {
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        cmsghdr* header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = IPPROTO_IP;
        header->cmsg_type = IP_PKTINFO;
        header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
        in_pktinfo info{};
        info.ipi_ifindex = interfaceIndex;
        std::memcpy(CMSG_DATA(header), &info, sizeof info);
    }
    ssize_t sent = -1;
    do {
        sent = ::sendmsg(m_fd, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    if (sent == data.size()) {
        m_lastFailure = SendFailure::None;
        m_lastError.clear();
        return true;
    }
    recordSendFailure(sent < 0 ? errno : EMSGSIZE);
    return false;
}

// A full socket queue (EAGAIN) frees as the interface sends, and poll says
// when. A full device queue (ENOBUFS) leaves the socket writable and says
// nothing: it is given the time to drain instead.
void QtUdpEndpoint::waitForSendRoom(int milliseconds)
{
    if (m_fd < 0)
        return;
    pollfd watched{m_fd, POLLOUT, 0};
    if (::poll(&watched, 1, 0) > 0)
        ::poll(nullptr, 0, milliseconds);
    else
        ::poll(&watched, 1, milliseconds);
}

// The socket stays bound to our port: whatever the kernel refused (no route,
// unreachable host, a full buffer) concerns this datagram only. Only a
// socket that is no longer one makes the endpoint unusable.
void QtUdpEndpoint::recordSendFailure(int error)
{
    const bool endpointLost = error == EBADF || error == ENOTSOCK;
    const bool busy = error == EAGAIN || error == EWOULDBLOCK || error == ENOBUFS;
    m_lastFailure = endpointLost ? SendFailure::Endpoint
                    : busy       ? SendFailure::Busy
                                 : SendFailure::Unreachable;
    m_lastError = QString::fromLocal8Bit(std::strerror(error));
}

} // namespace nms
