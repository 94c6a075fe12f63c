#include "platform/IcmpPacket.h"

#include <cerrno>
#include <string>

namespace nms {

namespace {

constexpr std::size_t kMinimumIpv4Header = 20;
constexpr std::uint8_t kProtocolIcmp = 1;

std::uint8_t byteAt(std::string_view data, std::size_t offset)
{
    return static_cast<std::uint8_t>(data[offset]);
}

std::uint16_t read16(std::string_view data, std::size_t offset)
{
    return static_cast<std::uint16_t>((byteAt(data, offset) << 8) | byteAt(data, offset + 1));
}

std::uint32_t read32(std::string_view data, std::size_t offset)
{
    return (std::uint32_t(read16(data, offset)) << 16) | read16(data, offset + 2);
}

void write16(std::string& data, std::size_t offset, std::uint16_t value)
{
    data[offset] = static_cast<char>(value >> 8);
    data[offset + 1] = static_cast<char>(value & 0xFF);
}

// The bytes from offset on; empty when there are none.
std::string_view from(std::string_view data, std::size_t offset)
{
    return offset < data.size() ? data.substr(offset) : std::string_view();
}

// Length of a plausible IPv4 header at the start of the data, or 0.
std::size_t ipv4HeaderLength(std::string_view packet)
{
    if (packet.size() < kMinimumIpv4Header)
        return 0;
    const std::uint8_t first = byteAt(packet, 0);
    const std::size_t length = (first & 0x0F) * 4U;
    if ((first >> 4) != 4 || length < kMinimumIpv4Header || length > packet.size())
        return 0;
    return length;
}

std::int32_t statusOfUnreachableCode(std::uint8_t code)
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

IcmpPacket::Reading failedWith(std::int32_t status)
{
    if (status == echo_status::NotSent)
        return {};
    return {IcmpPacket::Verdict::Failed, status};
}

} // namespace

std::string IcmpPacket::echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                    std::string_view payload)
{
    std::string packet(kHeaderSize, '\0');
    packet[0] = static_cast<char>(kEchoRequest);
    write16(packet, 4, identifier);
    write16(packet, 6, sequence);
    packet += payload;
    write16(packet, 2, internetChecksum(packet));
    return packet;
}

std::uint16_t IcmpPacket::internetChecksum(std::string_view data)
{
    std::uint32_t sum = 0;
    const std::size_t size = data.size();
    for (std::size_t i = 0; i + 1 < size; i += 2)
        sum += read16(data, i);
    if (size % 2 != 0)
        sum += std::uint32_t(byteAt(data, size - 1)) << 8;
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum & 0xFFFF);
}

IcmpPacket::Reading IcmpPacket::readMessage(std::string_view icmp, std::uint32_t source,
                                            const EchoKey& key, bool verifyChecksum)
{
    if (icmp.size() < std::size_t(kHeaderSize))
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

std::string_view IcmpPacket::icmpOfIpv4(std::string_view packet)
{
    const std::size_t headerLength = ipv4HeaderLength(packet);
    if (headerLength == 0 || byteAt(packet, 9) != kProtocolIcmp)
        return {};
    return packet.substr(headerLength);
}

IcmpPacket::Reading IcmpPacket::readQueuedError(std::uint8_t origin, std::uint8_t type,
                                                std::uint8_t code, int errorNumber,
                                                std::string_view quotedIcmp, const EchoKey& key)
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

std::int32_t IcmpPacket::statusOfIcmpError(std::uint8_t type, std::uint8_t code)
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

std::int32_t IcmpPacket::statusOfErrno(int errorNumber)
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

IcmpPacket::Reading IcmpPacket::readEchoReply(std::string_view icmp, std::uint32_t source,
                                              const EchoKey& key)
{
    const bool ours = byteAt(icmp, 1) == 0 && read16(icmp, 4) == key.identifier &&
                      read16(icmp, 6) == key.sequence && source == key.destination &&
                      from(icmp, kHeaderSize) == key.payload;
    if (!ours)
        return {};
    return {Verdict::Answered, echo_status::Success};
}

IcmpPacket::Reading IcmpPacket::readIcmpError(std::string_view icmp, const EchoKey& key)
{
    // The error quotes the IP header of our request and the first 8 bytes
    // of its ICMP message.
    const std::string_view quotedIp = from(icmp, kHeaderSize);
    const std::size_t headerLength = ipv4HeaderLength(quotedIp);
    if (headerLength == 0 || byteAt(quotedIp, 9) != kProtocolIcmp ||
        read32(quotedIp, 16) != key.destination)
        return {};
    if (!quotesOurRequest(quotedIp.substr(headerLength), key))
        return {};
    return failedWith(statusOfIcmpError(byteAt(icmp, 0), byteAt(icmp, 1)));
}

bool IcmpPacket::quotesOurRequest(std::string_view quotedIcmp, const EchoKey& key)
{
    return quotedIcmp.size() >= std::size_t(kHeaderSize) && byteAt(quotedIcmp, 0) == kEchoRequest &&
           read16(quotedIcmp, 4) == key.identifier && read16(quotedIcmp, 6) == key.sequence;
}

} // namespace nms
