#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/EchoStatus.h"

namespace nms {

// Building an echo request and judging what comes back, byte by byte, with
// no socket involved. Every answer is checked against the one request it
// would belong to, so a reply to somebody else's ping, an old request or a
// forged packet is never taken for ours. Plain C++: the ICMP helper judges
// what its raw socket reads with the same rules.
class IcmpPacket {
public:
    // What one outstanding request is known by. Addresses in host order.
    struct EchoKey {
        std::uint32_t destination = 0;
        std::uint16_t identifier = 0;
        std::uint16_t sequence = 0;
        std::string payload = "hello";
    };

    enum class Verdict { Unrelated, Answered, Failed };
    struct Reading {
        Verdict verdict = Verdict::Unrelated;
        std::int32_t status = echo_status::NotSent;
    };

    static constexpr int kHeaderSize = 8;
    static constexpr std::uint8_t kEchoReply = 0;
    static constexpr std::uint8_t kDestinationUnreachable = 3;
    static constexpr std::uint8_t kSourceQuench = 4;
    static constexpr std::uint8_t kEchoRequest = 8;
    static constexpr std::uint8_t kTimeExceeded = 11;
    static constexpr std::uint8_t kParameterProblem = 12;
    // Where a datagram ICMP socket says a queued error came from.
    static constexpr std::uint8_t kOriginLocal = 1;
    static constexpr std::uint8_t kOriginIcmp = 2;

    // The 5 bytes "hello", no terminator.
    static std::string echoPayload() { return "hello"; }
    // Type 8 request with the payload and a correct checksum.
    static std::string echoRequest(std::uint16_t identifier, std::uint16_t sequence,
                                   std::string_view payload = "hello");
    // The internet checksum; 0 over a message that carries a correct one.
    static std::uint16_t internetChecksum(std::string_view data);

    // An ICMP message (from its ICMP header on) that arrived from `source`.
    // A reply counts only when it comes from the destination and carries our
    // identifier, sequence number and payload; an error only when the
    // request it quotes is ours.
    static Reading readMessage(std::string_view icmp, std::uint32_t source, const EchoKey& key,
                               bool verifyChecksum);
    // The ICMP message inside a received IPv4 packet; empty when the packet
    // is not a well-formed IPv4 ICMP packet.
    static std::string_view icmpOfIpv4(std::string_view packet);
    // An error taken from a datagram ICMP socket's error queue: where it came
    // from, the ICMP type and code or the local error number, and the quoted
    // header of the request it concerns.
    static Reading readQueuedError(std::uint8_t origin, std::uint8_t type, std::uint8_t code,
                                   int errorNumber, std::string_view quotedIcmp,
                                   const EchoKey& key);

    // Status for an ICMP error message; NotSent for a type that is no error
    // of an echo request (a redirect, say).
    static std::int32_t statusOfIcmpError(std::uint8_t type, std::uint8_t code);
    // Status for an error number of the send call or of a local error.
    static std::int32_t statusOfErrno(int errorNumber);

private:
    static Reading readEchoReply(std::string_view icmp, std::uint32_t source, const EchoKey& key);
    static Reading readIcmpError(std::string_view icmp, const EchoKey& key);
    static bool quotesOurRequest(std::string_view quotedIcmp, const EchoKey& key);
};

} // namespace nms
