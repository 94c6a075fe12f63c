#include "platform/IcmpPacket.h"

#include <cerrno>

namespace nms {

namespace {

constexpr int kMinimumIpv4Header = 20;
constexpr quint8 kProtocolIcmp = 1;

quint8 byteAt(const QByteArray& data, int offset)
{
    return static_cast<quint8>(data.at(offset));
}

quint16 read16(const QByteArray& data, int offset)
{
    return static_cast<quint16>((byteAt(data, offset) << 8) | byteAt(data, offset + 1));
}

quint32 read32(const QByteArray& data, int offset)
{
    return (quint32(read16(data, offset)) << 16) | read16(data, offset + 2);
}

void write16(QByteArray& data, int offset, quint16 value)
{
    data[offset] = static_cast<char>(value >> 8);
    data[offset + 1] = static_cast<char>(value & 0xFF);
}

// Length of a plausible IPv4 header at the start of the data, or 0.
int ipv4HeaderLength(const QByteArray& packet)
{
    if (packet.size() < kMinimumIpv4Header)
        return 0;
    const quint8 first = byteAt(packet, 0);
    const int length = (first & 0x0F) * 4;
    if ((first >> 4) != 4 || length < kMinimumIpv4Header || length > packet.size())
        return 0;
    return length;
}

qint32 statusOfUnreachableCode(quint8 code)
{
    switch (code) {
    case 0:  // network unreachable
    case 6:  // destination network unknown
    case 9:  // network administratively prohibited
    case 11: // network unreachable for the type of service
        return echo_status::DestinationNetUnreachable;
    case 2: return echo_status::DestinationProtocolUnreachable;
    case 3: return echo_status::DestinationPortUnreachable;
    case 4: return echo_status::PacketTooBig; // fragmentation needed
    case 5: return echo_status::BadRoute;     // source route failed
    default:
        // Host unreachable, unknown, isolated, prohibited, and anything a
        // router may invent: the host cannot be reached.
        return echo_status::DestinationHostUnreachable;
    }
}

IcmpPacket::Reading failedWith(qint32 status)
{
    if (status == echo_status::NotSent)
        return {};
    return {IcmpPacket::Verdict::Failed, status};
}

} // namespace

QByteArray IcmpPacket::echoPayload()
{
    return QByteArrayLiteral("hello");
}

QByteArray IcmpPacket::echoRequest(quint16 identifier, quint16 sequence)
{
    QByteArray packet(kHeaderSize, '\0');
    packet[0] = static_cast<char>(kEchoRequest);
    write16(packet, 4, identifier);
    write16(packet, 6, sequence);
    packet += echoPayload();
    write16(packet, 2, internetChecksum(packet));
    return packet;
}

quint16 IcmpPacket::internetChecksum(const QByteArray& data)
{
    quint32 sum = 0;
    const int size = static_cast<int>(data.size());
    for (int i = 0; i + 1 < size; i += 2)
        sum += read16(data, i);
    if (size % 2 != 0)
        sum += quint32(byteAt(data, size - 1)) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<quint16>(~sum & 0xFFFF);
}

IcmpPacket::Reading IcmpPacket::readMessage(const QByteArray& icmp, quint32 source,
                                            const EchoKey& key, bool verifyChecksum)
{
    if (icmp.size() < kHeaderSize)
        return {};
    if (verifyChecksum && internetChecksum(icmp) != 0)
        return {};
    switch (byteAt(icmp, 0)) {
    case kEchoReply: return readEchoReply(icmp, source, key);
    case kDestinationUnreachable:
    case kSourceQuench:
    case kTimeExceeded:
    case kParameterProblem: return readIcmpError(icmp, key);
    default: return {};
    }
}

QByteArray IcmpPacket::icmpOfIpv4(const QByteArray& packet)
{
    const int headerLength = ipv4HeaderLength(packet);
    if (headerLength == 0 || byteAt(packet, 9) != kProtocolIcmp)
        return {};
    return packet.mid(headerLength);
}

IcmpPacket::Reading IcmpPacket::readQueuedError(quint8 origin, quint8 type, quint8 code,
                                                int errorNumber, const QByteArray& quotedIcmp,
                                                const EchoKey& key)
{
    if (origin == kOriginIcmp) {
        if (!quotesOurRequest(quotedIcmp, key))
            return {};
        return failedWith(statusOfIcmpError(type, code));
    }
    if (origin == kOriginLocal)
        return failedWith(statusOfErrno(errorNumber));
    return {};
}

qint32 IcmpPacket::statusOfIcmpError(quint8 type, quint8 code)
{
    switch (type) {
    case kDestinationUnreachable: return statusOfUnreachableCode(code);
    case kSourceQuench: return echo_status::SourceQuench;
    case kTimeExceeded:
        return code == 1 ? echo_status::TtlExpiredReassembly : echo_status::TtlExpiredTransit;
    case kParameterProblem: return echo_status::ParameterProblem;
    default: return echo_status::NotSent;
    }
}

qint32 IcmpPacket::statusOfErrno(int errorNumber)
{
    switch (errorNumber) {
    case ENETUNREACH:
    case ENETDOWN: return echo_status::DestinationNetUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN: return echo_status::DestinationHostUnreachable;
    case EACCES: // a broadcast address
    case EADDRNOTAVAIL:
    case EINVAL: return echo_status::BadDestination;
    case EMSGSIZE: return echo_status::PacketTooBig;
    case ENOBUFS:
    case ENOMEM:
    case EAGAIN: return echo_status::NoResources;
    default: return echo_status::GeneralFailure;
    }
}

IcmpPacket::Reading IcmpPacket::readEchoReply(const QByteArray& icmp, quint32 source,
                                              const EchoKey& key)
{
    const bool ours = byteAt(icmp, 1) == 0 && read16(icmp, 4) == key.identifier &&
                      read16(icmp, 6) == key.sequence && source == key.destination &&
                      icmp.mid(kHeaderSize) == echoPayload();
    if (!ours)
        return {};
    return {Verdict::Answered, echo_status::Success};
}

IcmpPacket::Reading IcmpPacket::readIcmpError(const QByteArray& icmp, const EchoKey& key)
{
    // The error quotes the IP header of our request and the first 8 bytes
    // of its ICMP message.
    const QByteArray quotedIp = icmp.mid(kHeaderSize);
    const int headerLength = ipv4HeaderLength(quotedIp);
    if (headerLength == 0 || byteAt(quotedIp, 9) != kProtocolIcmp ||
        read32(quotedIp, 16) != key.destination)
        return {};
    if (!quotesOurRequest(quotedIp.mid(headerLength), key))
        return {};
    return failedWith(statusOfIcmpError(byteAt(icmp, 0), byteAt(icmp, 1)));
}

bool IcmpPacket::quotesOurRequest(const QByteArray& quotedIcmp, const EchoKey& key)
{
    return quotedIcmp.size() >= kHeaderSize && byteAt(quotedIcmp, 0) == kEchoRequest &&
           read16(quotedIcmp, 4) == key.identifier && read16(quotedIcmp, 6) == key.sequence;
}

} // namespace nms
