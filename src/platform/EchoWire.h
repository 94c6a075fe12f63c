#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace nms {

// What goes over the pipes between a program and the ICMP helper
// veltrino-nms-icmp: one packet per message (the pipes are in packet mode),
// each of a fixed layout, numbers big-endian. Plain C++, shared by both
// sides, so that the two can never disagree on a byte.
//
// Request, 10 to 74 bytes:
//   0 version (1) | 1 IPv4 address (4) | 5 identifier (2) | 7 sequence (2)
//   | 9 payload length n (1, at most 64) | 10 payload (n)
// Answer, 32 bytes:
//   0 version (1) | 1 outcome (1) | 2 ICMP type (1) | 3 ICMP code (1)
//   | 4 identifier (2) | 6 sequence (2) | 8 address that answered (4)
//   | 12 error number of a failed send (4) | 16 sent at (8)
//   | 24 received by the kernel at (8)
// Times are nanoseconds on the monotonic clock, which the two processes share.
namespace echo_wire {

constexpr std::uint8_t kVersion = 1;
constexpr std::size_t kRequestHeaderSize = 10;
constexpr std::size_t kMaxPayload = 64;
constexpr std::size_t kMaxRequestSize = kRequestHeaderSize + kMaxPayload;
constexpr std::size_t kAnswerSize = 32;

enum class Outcome : std::uint8_t {
    // Sent once at start-up: the raw socket is open and every right given up.
    Ready = 0,
    Reply = 1,
    IcmpError = 2,
    TimedOut = 3,
    SendFailed = 4,
    // The request was not one: wrong length, version or address.
    Refused = 5,
};

struct Request {
    std::uint32_t address = 0; // host order
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::string payload;
};

struct Answer {
    Outcome outcome = Outcome::Refused;
    std::uint8_t type = 0;
    std::uint8_t code = 0;
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
    std::uint32_t from = 0; // host order
    std::uint32_t errorNumber = 0;
    std::int64_t sentNs = 0;
    std::int64_t receivedNs = 0;
};

std::string encodeRequest(const Request& request);
// The request in exactly these bytes; nothing for a message of the wrong
// length, another version, a payload length that does not match, or the
// address 0.0.0.0 or 255.255.255.255.
std::optional<Request> readRequest(std::string_view message);

std::string encodeAnswer(const Answer& answer);
// The answer in exactly these bytes; nothing for any other length, version
// or outcome.
std::optional<Answer> readAnswer(std::string_view message);

} // namespace echo_wire
} // namespace nms
