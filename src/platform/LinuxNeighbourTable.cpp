#include "platform/LinuxNeighbourTable.h"

#include <optional>

#include <QFile>
#include <QList>
#include <QNetworkInterface>
#include <QSocketNotifier>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "platform/UniqueFd.h"

// The attributes of a neighbour message follow its ndmsg header. The
// kernel's macro for this is not among the exported headers.
#ifndef NDA_RTA
#define NDA_RTA(r) ((struct rtattr*)(((char*)(r)) + NLMSG_ALIGN(sizeof(struct ndmsg))))
#endif

namespace nms {

namespace {

// The kernel's states of an entry that carries a usable hardware address.
constexpr int kCompleteStates = NUD_REACHABLE | NUD_STALE | NUD_DELAY | NUD_PROBE | NUD_PERMANENT;
// /proc/net/arp flag of a resolved entry.
constexpr unsigned kArpFlagComplete = 0x2;
// A dump of a large table fits in a few reads; a broken socket cannot keep
// the window reading for more than this.
constexpr int kMaxDumpReads = 256;
constexpr int kMaxEventReads = 64;
// Each read takes one event; a full receive queue holds a few thousand at
// most.
constexpr int kMaxDiscardReads = 16384;
constexpr int kReadBufferSize = 32768;

bool isAllZero(const QByteArray& bytes)
{
    return bytes.count('\0') == bytes.size();
}

UniqueFd openNetlink(unsigned groups)
{
    UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd)
        return fd;
    sockaddr_nl local{};
    local.nl_family = AF_NETLINK;
    local.nl_groups = groups;
    if (::bind(fd.get(), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
        return UniqueFd();
    return fd;
}

bool sendToKernel(int fd, const nlmsghdr& request)
{
    sockaddr_nl kernel{};
    kernel.nl_family = AF_NETLINK;
    return ::sendto(fd, &request, request.nlmsg_len, 0, reinterpret_cast<sockaddr*>(&kernel),
                    sizeof kernel) >= 0;
}

bool sendDumpRequest(int fd)
{
    struct {
        nlmsghdr header;
        ndmsg body;
    } request{};
    request.header.nlmsg_len = NLMSG_LENGTH(sizeof(ndmsg));
    request.header.nlmsg_type = RTM_GETNEIGH;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ndm_family = AF_INET;
    return sendToKernel(fd, request.header);
}

// The interface through which the kernel sends to the address (network
// byte order), when it sends there directly; 0 for a route through a
// gateway; nothing when the kernel could not be asked.
std::optional<int> directRouteInterface(quint32 wanted)
{
    const UniqueFd fd = openNetlink(0);
    if (!fd)
        return std::nullopt;
    struct {
        nlmsghdr header;
        rtmsg body;
        rtattr destination;
        quint32 address;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETROUTE;
    request.header.nlmsg_flags = NLM_F_REQUEST;
    request.header.nlmsg_seq = 1;
    request.body.rtm_family = AF_INET;
    request.body.rtm_dst_len = 32;
    request.destination.rta_type = RTA_DST;
    request.destination.rta_len = RTA_LENGTH(sizeof(quint32));
    request.address = wanted;
    std::optional<int> interfaceIndex;
    alignas(nlmsghdr) char buffer[4096];
    // The kernel answers a route request within the send.
    const ssize_t length = sendToKernel(fd.get(), request.header)
                               ? ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT)
                               : -1;
    int remaining = int(length);
    for (auto* message = reinterpret_cast<nlmsghdr*>(buffer);
         length > 0 && NLMSG_OK(message, remaining); message = NLMSG_NEXT(message, remaining)) {
        if (message->nlmsg_type != RTM_NEWROUTE || message->nlmsg_len < NLMSG_LENGTH(sizeof(rtmsg)))
            continue;
        const auto* route = static_cast<const rtmsg*>(NLMSG_DATA(message));
        int attributesLeft = int(message->nlmsg_len - NLMSG_LENGTH(sizeof(rtmsg)));
        bool throughGateway = false;
        int outgoing = 0;
        for (const rtattr* attribute = RTM_RTA(route); RTA_OK(attribute, attributesLeft);
             attribute = RTA_NEXT(attribute, attributesLeft)) {
            if (attribute->rta_type == RTA_GATEWAY)
                throughGateway = true;
            else if (attribute->rta_type == RTA_OIF && RTA_PAYLOAD(attribute) >= sizeof(int))
                std::memcpy(&outgoing, RTA_DATA(attribute), sizeof outgoing);
        }
        interfaceIndex = route->rtm_type == RTN_UNICAST && !throughGateway ? outgoing : 0;
        break;
    }
    return interfaceIndex;
}

void applyNeighbourMessage(const nlmsghdr* message, LinuxNeighbourTable::Entries& entries)
{
    if (message->nlmsg_len < NLMSG_LENGTH(sizeof(ndmsg)))
        return;
    const auto* entry = static_cast<const ndmsg*>(NLMSG_DATA(message));
    if (entry->ndm_family != AF_INET)
        return;
    bool hasAddress = false;
    quint32 address = 0;
    QByteArray hardware;
    int remaining = int(message->nlmsg_len - NLMSG_LENGTH(sizeof(ndmsg)));
    for (const rtattr* attribute = NDA_RTA(entry); RTA_OK(attribute, remaining);
         attribute = RTA_NEXT(attribute, remaining)) {
        const int payload = int(RTA_PAYLOAD(attribute));
        if (attribute->rta_type == NDA_DST && payload == 4) {
            std::memcpy(&address, RTA_DATA(attribute), 4);
            hasAddress = true;
        } else if (attribute->rta_type == NDA_LLADDR) {
            hardware = QByteArray(static_cast<const char*>(RTA_DATA(attribute)), payload);
        }
    }
    if (!hasAddress)
        return;
    const LinuxNeighbourTable::Key key{entry->ndm_ifindex, ntohl(address)};
    const bool complete = message->nlmsg_type == RTM_NEWNEIGH &&
                          (entry->ndm_state & kCompleteStates) != 0 && !hardware.isEmpty() &&
                          !isAllZero(hardware);
    if (complete)
        entries.insert(key, hardware);
    else
        entries.remove(key);
}

} // namespace

LinuxNeighbourTable::LinuxNeighbourTable(QObject* parent)
    : NeighbourTable(parent)
{
    openEventSocket();
}

LinuxNeighbourTable::~LinuxNeighbourTable()
{
    // The notifier goes before the socket it watches.
    delete m_eventNotifier;
}

void LinuxNeighbourTable::openEventSocket()
{
    m_eventSocket = openNetlink(RTMGRP_NEIGH);
    if (!m_eventSocket)
        return;
    m_eventNotifier = new QSocketNotifier(m_eventSocket.get(), QSocketNotifier::Read);
    connect(m_eventNotifier, &QSocketNotifier::activated, this, &LinuxNeighbourTable::drainEvents);
}

void LinuxNeighbourTable::drainEvents()
{
    readEvents();
    emit changed();
}

void LinuxNeighbourTable::readEvents()
{
    alignas(nlmsghdr) char buffer[kReadBufferSize];
    for (int read = 0; read < kMaxEventReads; ++read) {
        const ssize_t length = ::recv(m_eventSocket.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && errno == EINTR)
            continue;
        // ENOBUFS means events were lost: only a whole read is right again.
        if (length < 0 && errno == ENOBUFS) {
            m_current = false;
            continue;
        }
        if (length <= 0)
            break;
        if (m_current && applyMessages(buffer, int(length), m_entries) == ReadEnd::Broken)
            m_current = false;
    }
}

void LinuxNeighbourTable::refresh()
{
    if (m_eventSocket)
        readEvents();
    if (m_current)
        return;
    Entries entries;
    // Events still queued are older than the whole read: applied after it,
    // an entry's old "incomplete" or deletion would remove what the read
    // found complete, and nothing would bring it back until the entry
    // changed again. They are dropped; only those that follow are applied.
    if (discardQueuedEvents() && readWholeTable(entries)) {
        m_entries = std::move(entries);
        // Events that raced the read are applied after it, in order: each
        // entry ends as its latest event says, as the kernel's does.
        m_current = m_eventSocket.valid();
        return;
    }
    m_entries = readProcArp();
}

QByteArray LinuxNeighbourTable::hardwareAddress(int interfaceIndex,
                                                const QHostAddress& address) const
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return QByteArray();
    return m_entries.value(Key{interfaceIndex, address.toIPv4Address()});
}

int LinuxNeighbourTable::onLinkInterface(const QHostAddress& address) const
{
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return 0;
    QList<int> covering;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        const auto flags = interface.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            flags.testFlag(QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol &&
                coversAsNeighbour(entry.ip(), entry.prefixLength(), address))
                covering << interface.index();
        }
    }
    if (covering.isEmpty())
        return 0;
    // Where two networks use one subnet, the element is on the one the
    // kernel sends to it through, and the probe goes out there too.
    const std::optional<int> routed = directRouteInterface(htonl(address.toIPv4Address()));
    if (!routed)
        return covering.first();
    return covering.contains(*routed) ? *routed : 0;
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
    // Nothing to probe, now or later: no reason to hold up the others.
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return true;
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(kDiscardPort);
    target.sin_addr.s_addr = htonl(address.toIPv4Address());
    return sendProbe(target);
}

// Tries the socket that took the last probe, then the others in turn; when
// every one is full, opens another. False when the probe could not be sent
// now: the caller sends it later.
bool LinuxNeighbourTable::sendProbe(const sockaddr_in& target)
{
    const char nothing = 0;
    const auto sendOn = [&](const UniqueFd& socket) {
        return ::sendto(socket.get(), &nothing, 0, MSG_DONTWAIT,
                        reinterpret_cast<const sockaddr*>(&target), sizeof target) == 0;
    };
    const auto full = [] { return errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS; };
    for (std::size_t tried = 0; tried < m_probeSockets.size(); ++tried) {
        const std::size_t at = (m_probeSocketInUse + tried) % m_probeSockets.size();
        if (sendOn(m_probeSockets[at])) {
            m_probeSocketInUse = at;
            return true;
        }
        // Only a full queue makes a probe worth sending later. Any other
        // refusal (a firewall, no route) would refuse it again, and would
        // hold up every probe queued behind it: the lookup runs out its own
        // time instead.
        if (!full())
            return true;
    }
    if (m_probeSockets.size() >= kMaxProbeSockets)
        return false;
    UniqueFd fresh(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!fresh)
        return false;
    m_probeSockets.push_back(std::move(fresh));
    m_probeSocketInUse = m_probeSockets.size() - 1;
    return sendOn(m_probeSockets.back());
}

// True when no event is left queued (or there is no event socket).
bool LinuxNeighbourTable::discardQueuedEvents()
{
    if (!m_eventSocket)
        return true;
    for (int read = 0; read < kMaxDiscardReads; ++read) {
        char byte = 0;
        // One byte of each event is enough to drop it whole.
        const ssize_t length =
            ::recv(m_eventSocket.get(), &byte, sizeof byte, MSG_DONTWAIT | MSG_TRUNC);
        if (length < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        if (length < 0 && errno != EINTR && errno != ENOBUFS)
            return false;
    }
    return false;
}

// False when the table could not be read to its end; the entries are then
// incomplete.
bool LinuxNeighbourTable::readWholeTable(Entries& entries) const
{
    const UniqueFd fd = openNetlink(0);
    if (!fd || !sendDumpRequest(fd.get()))
        return false;
    alignas(nlmsghdr) char buffer[kReadBufferSize];
    for (int read = 0; read < kMaxDumpReads; ++read) {
        // Each read makes the kernel prepare the next part of the dump;
        // nothing there means the read is given up, not waited for.
        const ssize_t length = ::recv(fd.get(), buffer, sizeof buffer, MSG_DONTWAIT);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            return false;
        const ReadEnd end = applyMessages(buffer, int(length), entries);
        if (end != ReadEnd::More)
            return end == ReadEnd::Done;
    }
    return false;
}

LinuxNeighbourTable::ReadEnd LinuxNeighbourTable::applyMessages(const char* data, int length,
                                                                Entries& entries)
{
    int remaining = length;
    for (auto* message = reinterpret_cast<const nlmsghdr*>(data); NLMSG_OK(message, remaining);
         message = NLMSG_NEXT(message, remaining)) {
        if (message->nlmsg_type == NLMSG_DONE)
            return ReadEnd::Done;
        if (message->nlmsg_type == NLMSG_ERROR)
            return ReadEnd::Broken;
        if (message->nlmsg_type == RTM_NEWNEIGH || message->nlmsg_type == RTM_DELNEIGH)
            applyNeighbourMessage(message, entries);
    }
    // A truncated message: do not trust the rest.
    return remaining > 0 ? ReadEnd::Broken : ReadEnd::More;
}

LinuxNeighbourTable::Entries LinuxNeighbourTable::readProcArp() const
{
    QFile file(QStringLiteral("/proc/net/arp"));
    if (!file.open(QIODevice::ReadOnly))
        return Entries();
    return entriesFromProcArp(file.read(1 << 20), [](const QByteArray& device) {
        return int(::if_nametoindex(device.constData()));
    });
}

// Lines: "IP address  HW type  Flags  HW address  Mask  Device".
LinuxNeighbourTable::Entries LinuxNeighbourTable::entriesFromProcArp(
    const QByteArray& procText, const std::function<int(const QByteArray&)>& interfaceIndexOf)
{
    Entries entries;
    const QList<QByteArray> lines = procText.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines.at(i).simplified().split(' ');
        if (fields.size() < 6)
            continue;
        const QHostAddress address(QString::fromLatin1(fields.at(0)));
        bool ok = false;
        const unsigned flags = fields.at(2).toUInt(&ok, 16);
        if (address.protocol() != QAbstractSocket::IPv4Protocol || !ok ||
            (flags & kArpFlagComplete) == 0)
            continue;
        const QByteArray hardware = QByteArray::fromHex(QByteArray(fields.at(3)).replace(':', ""));
        const int interfaceIndex = interfaceIndexOf(fields.at(5));
        if (!hardware.isEmpty() && !isAllZero(hardware) && interfaceIndex > 0)
            entries.insert(Key{interfaceIndex, address.toIPv4Address()}, hardware);
    }
    return entries;
}

} // namespace nms
