#pragma once

namespace nms {

// The right to open raw sockets (CAP_NET_RAW), as far as ping needs it. An
// installed program holds it only as permitted; it is made effective just
// to open the ICMP socket and then given up for good, so that no network
// input is ever handled while it is held. Tests substitute a fake.
class NetRawCapability {
public:
    virtual ~NetRawCapability() = default;

    // Makes the right effective; false when the process does not hold it as
    // permitted.
    virtual bool raise() = 0;
    // Removes the right from the effective, permitted and inheritable sets,
    // so that this process can never take it up again. False when it is
    // still held afterwards.
    virtual bool drop() = 0;
};

} // namespace nms
