#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

namespace nms {

// The kernel's IPv4 neighbour (ARP) table, as the MAC lookup needs it: on
// which interface an address is a neighbour, make the kernel resolve it,
// and read what the kernel has learned. Nothing here blocks.
class NeighbourTable : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~NeighbourTable() override = default;

    // The index of the up, non-loopback interface on which the address is
    // on-link: the interface the kernel sends to it through, when one of
    // its addresses and netmasks covers the address (and it is neither that
    // interface's own address nor the network's or its broadcast address).
    // 0 when there is none: anything else would be sent through a gateway.
    virtual int onLinkInterface(const QHostAddress& address) const = 0;
    // Sends one datagram that makes the kernel resolve the address; false
    // when it could not go now for want of room, and is worth sending
    // later.
    virtual bool probe(const QHostAddress& address) = 0;
    // Brings the reading of the kernel's table up to date, with at most one
    // read of the whole table; hardwareAddress() answers from that reading.
    // One refresh serves every waiting lookup.
    virtual void refresh() = 0;
    // From the latest reading: the hardware address of the kernel's complete
    // entry (reachable, stale, delay, probe or permanent, not all zero) for
    // the address on that interface; empty when there is none yet. Two
    // networks can use one subnet, so an entry on another interface is not
    // the element's.
    virtual QByteArray hardwareAddress(int interfaceIndex, const QHostAddress& address) const = 0;
    // True when changed() follows the kernel's own events, so that a caller
    // need not poll quickly.
    virtual bool reportsChanges() const = 0;

signals:
    // The neighbour table has changed (an entry was added, resolved or
    // removed).
    void changed();
};

} // namespace nms
