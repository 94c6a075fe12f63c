#pragma once

#include <cstdint>

// Plain C++: the ICMP helper, which has no Qt, shares it.
namespace nms {

// Status codes of one echo request, as the status text table knows them.
namespace echo_status {
constexpr std::int32_t NotSent = -1;
constexpr std::int32_t Success = 0;
constexpr std::int32_t BufferTooSmall = 11001;
constexpr std::int32_t DestinationNetUnreachable = 11002;
constexpr std::int32_t DestinationHostUnreachable = 11003;
constexpr std::int32_t DestinationProtocolUnreachable = 11004;
constexpr std::int32_t DestinationPortUnreachable = 11005;
constexpr std::int32_t NoResources = 11006;
constexpr std::int32_t BadOption = 11007;
constexpr std::int32_t HardwareError = 11008;
constexpr std::int32_t PacketTooBig = 11009;
constexpr std::int32_t RequestTimedOut = 11010;
constexpr std::int32_t BadRequest = 11011;
constexpr std::int32_t BadRoute = 11012;
constexpr std::int32_t TtlExpiredTransit = 11013;
constexpr std::int32_t TtlExpiredReassembly = 11014;
constexpr std::int32_t ParameterProblem = 11015;
constexpr std::int32_t SourceQuench = 11016;
constexpr std::int32_t OptionTooBig = 11017;
constexpr std::int32_t BadDestination = 11018;
constexpr std::int32_t NegotiatingIpsec = 11032;
constexpr std::int32_t GeneralFailure = 11050;
} // namespace echo_status

} // namespace nms
