#include "platform/LinuxNeighbourTable.h"

#include <QFile>
#include <QNetworkInterface>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace nms {

namespace {

// The kernel's states of an entry that carries a usable hardware address.
constexpr int kCompleteStates = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
// /proc/net/arp flag of a resolved entry.
constexpr unsigned kArpFlagComplete = 0x2;
// A dump of a large table fits in a few reads; a broken socket cannot keep
// the window waiting for more than this.
constexpr int kMaxDumpReads = 256;
constexpr int kDumpReceiveTimeoutMs = 200;
constexpr int kMaxEventReads = 64;

bool isAllZero(const QByteArray& bytes)
{
    return bytes.count('\0') == bytes.size();
}

struct NeighbourDumpRequest {
    nlmsghdr header;
    ndmsg body;
};

int openNetlink(unsigned groups)
{
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0)
        return -1;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool sendDumpRequest(int fd)
{
    NeighbourDumpRequest request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ndm_family = AF_INET;
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, &request, request.header.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                    sizeof kernel) >= 0;
}

// The hardware address of one RTM_NEWNEIGH message when it is a complete
// entry for the wanted address (network byte order).
std::optional<QByteArray> completeEntryFor(const nlmsghdr* message, quint32 wanted)
{
    if (message->nlmsg_type != RTM_NEWNEIGH || message->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return std::nullopt;
    const auto* entry = static_cast<const ndmsg*>(NLMSG_DATA(message));
    if (entry->ndm_family != AF_INET || (entry->ndm_state & kCompleteStates) == 0)
        return std::nullopt;
    bool addressMatches = false;
    QByteArray hardware;
    int remaining = int(message->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (const rtattr* attribute = RTM_RTA(entry); RTA_OK(attribute, remaining);
         attribute = RTA_NEXT(attribute, remaining)) {
        const int payload = int(RTA_PAYLOAD(attribute));
        if (attribute->rta_type == NDA_DST && payload == 4)
            addressMatches = std::memcmp(RTA_DATA(attribute), &wanted, 4) == 0;
        else if (attribute->rta_type == NDA_LLADDR)
            hardware = QByteArray(static_cast<const char*>(RTA_DATA(attribute)), payload);
    }
    if (!addressMatches || hardware.isEmpty() || isAllZero(hardware))
        return std::nullopt;
    return hardware;
}

} // namespace

LinuxNeighbourTable::LinuxNeighbourTable(QObject* parent)
    : NeighbourTable(parent)
{
    m_probeSocket = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    openEventSocket();
}

LinuxNeighbourTable::~LinuxNeighbourTable()
{
    delete m_eventNotifier;
    if (m_eventSocket >= 0)
        ::close(m_eventSocket);
    if (m_probeSocket >= 0)
        ::close(m_probeSocket);
}

void LinuxNeighbourTable::openEventSocket()
{
    m_eventSocket = openNetlink(RTMGRP_NEIGH);
    if (m_eventSocket < 0)
        return;
    m_eventNotifier = new QSocketNotifier(m_eventSocket, QSocketNotifier::Read);
    connect(m_eventNotifier, &QSocketNotifier::activated, this, &LinuxNeighbourTable::drainEvents);
}

void LinuxNeighbourTable::drainEvents()
{
    char buffer[8192];
    for (int read = 0; read < kMaxEventReads; ++read) {
        const ssize_t length = ::recv(m_eventSocket, buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && errno == EINTR)
            continue;
        // ENOBUFS means events were lost: the table has changed all the same.
        if (length < 0 && errno != ENOBUFS)
            break;
    }
    emit changed();
}

bool LinuxNeighbourTable::isOnLink(const QHostAddress& address) const
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol &&
                coversAsNeighbour(entry.ip(), entry.prefixLength(), address))
                return true;
        }
    }
    return false;
}

bool LinuxNeighbourTable::coversAsNeighbour(const QHostAddress& interfaceAddress, int prefixLength,
                                            const QHostAddress& address)
{
    if (prefixLength < 1 || prefixLength > 31 || address == interfaceAddress)
        return false;
    if (!address.isInSubnet(interfaceAddress, prefixLength))
        return false;
    if (prefixLength == 31)
        return true;
    const quint32 hostBits = (quint32(1) << (32 - prefixLength)) - 1;
    const quint32 host = address.toIPv4Address() & hostBits;
    return host != 0 && host != hostBits;
}

bool LinuxNeighbourTable::probe(const QHostAddress& address)
{
    if (m_probeSocket < 0 || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(kDiscardPort);
    target.sin_addr.s_addr = htonl(address.toIPv4Address());
    const char nothing = 0;
    return ::sendto(m_probeSocket, &nothing, 0, MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&target),
                    sizeof target) == 0;
}

QByteArray LinuxNeighbourTable::hardwareAddress(const QHostAddress& address) const
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return QByteArray();
    if (const auto fromNetlink = hardwareAddressFromNetlink(address))
        return *fromNetlink;
    return hardwareAddressFromProc(address);
}

// std::nullopt when netlink could not be asked; an empty array when it
// answered without a complete entry.
std::optional<QByteArray>
LinuxNeighbourTable::hardwareAddressFromNetlink(const QHostAddress& address) const
{
    const int fd = openNetlink(0);
    if (fd < 0)
        return std::nullopt;
    timeval timeout{0, kDumpReceiveTimeoutMs * 1000};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (!sendDumpRequest(fd)) {
        ::close(fd);
        return std::nullopt;
    }
    const quint32 wanted = htonl(address.toIPv4Address());
    std::optional<QByteArray> result;
    QByteArray found;
    alignas(nlmsghdr) char buffer[32768];
    for (int read = 0; read < kMaxDumpReads && !result; ++read) {
        const ssize_t length = ::recv(fd, buffer, sizeof buffer, 0);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        int remaining = int(length);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, remaining);
             message = NLMSG_NEXT(message, remaining)) {
            if (message->nlmsg_type == NLMSG_DONE) {
                result = found;
                break;
            }
            if (message->nlmsg_type == NLMSG_ERROR)
                break;
            if (const auto hardware = completeEntryFor(message, wanted))
                found = *hardware;
        }
        if (!result && remaining > 0)
            break; // a truncated message: do not trust the rest
    }
    ::close(fd);
    return result;
}

QByteArray LinuxNeighbourTable::hardwareAddressFromProc(const QHostAddress& address) const
{
    QFile file(QStringLiteral("/proc/net/arp"));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return hardwareAddressFromProcArp(file.read(1 << 20), address);
}

// Lines: "IP address  HW type  Flags  HW address  Mask  Device".
QByteArray LinuxNeighbourTable::hardwareAddressFromProcArp(const QByteArray& procText,
                                                           const QHostAddress& address)
{
    const QList<QByteArray> lines = procText.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 4 || QHostAddress(QString::fromLatin1(fields.at(0))) != address)
            continue;
        bool ok = false;
        const unsigned flags = fields.at(2).toUInt(&ok, 16);
        if (!ok || (flags & kArpFlagComplete) == 0)
            continue;
        const QByteArray hardware = QByteArray::fromHex(QByteArray(fields.at(3)).replace(':', ""));
        if (!hardware.isEmpty() && !isAllZero(hardware))
            return hardware;
    }
    return QByteArray();
}

} // namespace nms
