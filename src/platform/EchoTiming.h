#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>

#include <sys/socket.h>

namespace nms::echo_timing {

// Plain C++: the window, the command line and the ICMP helper time an echo
// the same way. Everything is on the monotonic clock, so that a step of the
// wall clock can never give a huge or negative round trip.

constexpr std::int64_t kNsPerMs = 1'000'000;
// How long an answer may take: one that reached the station this long after
// the request or later is a time-out, however soon it was read.
constexpr std::int64_t kTimeoutNs = 1000 * kNsPerMs;

inline std::int64_t nsOf(const timespec& time)
{
    return std::int64_t(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

inline std::int64_t nowNs(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return nsOf(now);
}

inline std::int64_t monotonicNowNs()
{
    return nowNs(CLOCK_MONOTONIC);
}

// The time the kernel received a packet (SO_TIMESTAMPNS), from the control
// data of its read; the time of the read when the kernel gave none.
inline timespec kernelStampOf(msghdr& message)
{
    for (cmsghdr* header = CMSG_FIRSTHDR(&message); header != nullptr;
         header = CMSG_NXTHDR(&message, header)) {
        if (header->cmsg_level == SOL_SOCKET && header->cmsg_type == SCM_TIMESTAMPNS &&
            header->cmsg_len >= CMSG_LEN(sizeof(timespec))) {
            timespec stamp{};
            std::memcpy(&stamp, CMSG_DATA(header), sizeof stamp);
            return stamp;
        }
    }
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}

// The kernel stamps a received packet on the wall clock (SO_TIMESTAMPNS).
// Read now, that stamp says how long the packet has waited; the arrival on
// the monotonic clock is that long before now, and never before the send.
inline std::int64_t arrivalOnMonotonic(const timespec& kernelStamp, std::int64_t sentNs)
{
    const std::int64_t monotonicNow = monotonicNowNs();
    const std::int64_t waited = nowNs(CLOCK_REALTIME) - nsOf(kernelStamp);
    return monotonicNow -
           std::clamp<std::int64_t>(waited, 0, std::max<std::int64_t>(0, monotonicNow - sentNs));
}

// Whole milliseconds from the send to the arrival; a reply within the first
// millisecond is 0 ms.
inline std::uint32_t roundTripMs(std::int64_t sentNs, std::int64_t arrivedNs)
{
    return std::uint32_t(std::clamp<std::int64_t>(arrivedNs - sentNs, 0, kTimeoutNs) / kNsPerMs);
}

inline bool arrivedTooLate(std::int64_t sentNs, std::int64_t arrivedNs)
{
    return arrivedNs - sentNs >= kTimeoutNs;
}

} // namespace nms::echo_timing
