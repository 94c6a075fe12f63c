#pragma once

#include <functional>
#include <utility>
#include <vector>

#include <QByteArray>
#include <QHash>
#include <QHostAddress>
#include <QString>

#include "platform/NeighbourTable.h"
#include "platform/UniqueFd.h"

class QSocketNotifier;
struct sockaddr_in;

namespace nms {

// The kernel's neighbour table on Linux, without privileges. The probe is a
// zero-length UDP datagram to the discard port, which makes the kernel
// resolve the address. The kernel keeps each probe, charged to its socket's
// send buffer, until the address answers or it gives up (seconds later):
// one socket has room for a few hundred, so more are opened as more
// addresses wait. The table is read whole with a netlink RTM_GETNEIGH
// dump (or from /proc/net/arp when netlink is unavailable) and then kept
// current from the entries that the kernel's RTMGRP_NEIGH events carry, so
// that a refresh costs no read at all until events are lost. Every socket
// is non-blocking: the window never waits for the kernel.
class LinuxNeighbourTable : public NeighbourTable {
    Q_OBJECT
public:
    static constexpr quint16 kDiscardPort = 9;
    // Room for every probe of a full set of waiting lookups, each probed
    // again while the kernel still asks for it, with the kernel's default
    // send buffer.
    static constexpr int kMaxProbeSockets = 16;

    // Complete entries by interface index and IPv4 address (host order).
    using Key = std::pair<int, quint32>;
    using Entries = QHash<Key, QByteArray>;
    // How one read of netlink messages ended.
    enum class ReadEnd { More, Done, Broken };

    explicit LinuxNeighbourTable(QObject* parent = nullptr);
    ~LinuxNeighbourTable() override;

    int onLinkInterface(const QHostAddress& address) const override;
    bool probe(const QHostAddress& address) override;
    void refresh() override;
    QByteArray hardwareAddress(int interfaceIndex, const QHostAddress& address) const override;
    bool reportsChanges() const override { return m_eventSocket.valid(); }

    // True when an interface address with this prefix length covers the
    // address as a neighbour: same network, not the interface itself, and
    // (below /31) not the network or its broadcast address.
    static bool coversAsNeighbour(const QHostAddress& interfaceAddress, int prefixLength,
                                  const QHostAddress& address);
    // Applies the neighbour messages of one netlink read, from a dump or
    // from events, to the entries: a complete entry is added or replaced,
    // anything else (incomplete, failed, deleted) removes it.
    static ReadEnd applyMessages(const char* data, int length, Entries& entries);
    // The complete entries in the text of /proc/net/arp, on the interfaces
    // its Device column names.
    static Entries
    entriesFromProcArp(const QByteArray& procText,
                       const std::function<int(const QByteArray&)>& interfaceIndexOf);

private:
    std::vector<UniqueFd> m_probeSockets;
    // The socket that took the last probe: the others are full or unused.
    std::size_t m_probeSocketInUse = 0;
    UniqueFd m_eventSocket;
    QSocketNotifier* m_eventNotifier = nullptr;
    Entries m_entries;
    // True while the events have kept the entries equal to the kernel's
    // table since it was last read whole.
    bool m_current = false;

    bool sendProbe(const sockaddr_in& target);
    void openEventSocket();
    void drainEvents();
    void readEvents();
    bool discardQueuedEvents();
    bool readWholeTable(Entries& entries) const;
    Entries readProcArp() const;
};

} // namespace nms
