#pragma once

#include <optional>

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include "platform/NeighbourTable.h"

class QSocketNotifier;

namespace nms {

// The kernel's neighbour table on Linux, without privileges. The probe is a
// zero-length UDP datagram to the discard port, which makes the kernel
// resolve the address. Entries are read with a netlink RTM_GETNEIGH dump, or
// from /proc/net/arp when netlink is unavailable, and changes are reported
// from the kernel's RTMGRP_NEIGH events.
class LinuxNeighbourTable : public NeighbourTable {
    Q_OBJECT
public:
    static constexpr quint16 kDiscardPort = 9;

    explicit LinuxNeighbourTable(QObject* parent = nullptr);
    ~LinuxNeighbourTable() override;

    bool isOnLink(const QHostAddress& address) const override;
    bool probe(const QHostAddress& address) override;
    QByteArray hardwareAddress(const QHostAddress& address) const override;
    bool reportsChanges() const override { return m_eventSocket >= 0; }

    // True when an interface address with this prefix length covers the
    // address as a neighbour: same network, not the interface itself, and
    // (below /31) not the network or its broadcast address.
    static bool coversAsNeighbour(const QHostAddress& interfaceAddress, int prefixLength,
                                  const QHostAddress& address);
    // The hardware address of a complete entry for the address in the text
    // of /proc/net/arp; empty when there is none.
    static QByteArray hardwareAddressFromProcArp(const QByteArray& procText,
                                                 const QHostAddress& address);

private:
    int m_probeSocket = -1;
    int m_eventSocket = -1;
    QSocketNotifier* m_eventNotifier = nullptr;

    void openEventSocket();
    void drainEvents();
    std::optional<QByteArray> hardwareAddressFromNetlink(const QHostAddress& address) const;
    QByteArray hardwareAddressFromProc(const QHostAddress& address) const;
};

} // namespace nms
