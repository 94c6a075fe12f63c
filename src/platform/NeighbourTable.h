#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

namespace nms {

// The kernel's IPv4 neighbour (ARP) table, as the MAC lookup needs it: is an
// address on a directly attached network, make the kernel resolve it, and
// read what the kernel has learned. Nothing here blocks.
class NeighbourTable : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~NeighbourTable() override = default;

    // True when an up, non-loopback interface's address and netmask cover
    // the address (and it is neither that interface's own address nor the
    // network's or its broadcast address). Only such an address is probed:
    // anything else would be sent through a gateway.
    virtual bool isOnLink(const QHostAddress& address) const = 0;
    // Sends one datagram that makes the kernel resolve the address; false
    // when nothing could be sent.
    virtual bool probe(const QHostAddress& address) = 0;
    // The hardware address of the kernel's complete entry for the address
    // (reachable, stale, delay, probe or permanent, not all zero); empty
    // when there is none yet.
    virtual QByteArray hardwareAddress(const QHostAddress& address) const = 0;
    // True when changed() follows the kernel's own events, so that a caller
    // need not poll quickly.
    virtual bool reportsChanges() const = 0;

signals:
    // The neighbour table has changed (an entry was added, resolved or
    // removed).
    void changed();
};

} // namespace nms
