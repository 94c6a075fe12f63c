#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/EchoWire.h"
#include "platform/IcmpPacket.h"

namespace nms::helper {

// Serves echo requests read from one pipe over one raw ICMP socket and
// writes each outcome to the other pipe, one request at a time. Ends when
// the parent closes its end of either pipe.
class EchoServer {
public:
    // The shortest time between two echoes: a steady ping, never a flood.
    static constexpr std::int64_t kMinGapNs = 20'000'000;
    // Packets read from the raw socket before the deadline and the parent
    // are looked at again.
    static constexpr int kReadsPerWake = 256;

    EchoServer(int requests, int answers, int rawSocket);

    // Writes the ready answer, then serves until the parent goes; the exit
    // status of the helper.
    int run();

private:
    bool serve(const echo_wire::Request& request);
    bool awaitOutcome(echo_wire::Answer& answer, const IcmpPacket::EchoKey& key);
    // Reads what the socket holds; true once `answer` has an outcome.
    bool readArrivals(echo_wire::Answer& answer, const IcmpPacket::EchoKey& key);
    void keepPace() const;
    void discardWaiting();
    bool judge(std::string_view packet, std::uint32_t source, std::int64_t arrivedNs,
               echo_wire::Answer& answer, const IcmpPacket::EchoKey& key);
    bool parentGone() const;
    bool send(const echo_wire::Answer& answer);

    int m_requests;
    int m_answers;
    int m_raw;
    std::string m_buffer;
    std::int64_t m_lastSendNs = 0;
};

} // namespace nms::helper
