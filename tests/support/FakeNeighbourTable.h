#pragma once

#include <QHash>
#include <QHostAddress>
#include <QStringList>

#include "platform/NeighbourTable.h"

namespace nms::test {

// A neighbour table that the test fills: entries appear when the test says
// so (with changed()), every probe and every read is recorded, and the test
// decides which addresses are on a directly attached network.
class FakeNeighbourTable : public NeighbourTable {
    Q_OBJECT
public:
    // Every on-link address is on this interface.
    static constexpr int kInterface = 2;
    static constexpr int kOtherInterface = 3;

    // Addresses (dotted text) and their hardware addresses, on kInterface.
    QHash<QString, QByteArray> entries;
    // The same on kOtherInterface: another network that uses the subnet.
    QHash<QString, QByteArray> otherNetworkEntries;
    // Addresses treated as off-link; every other address is on-link.
    QStringList offLink;
    // How often the table was read.
    int reads = 0;
    // Dotted addresses in the order they were probed.
    QStringList probes;
    bool events = true;
    // False: the kernel has no room for a probe, which is not sent.
    bool roomForProbes = true;

    int onLinkInterface(const QHostAddress& address) const override
    {
        return offLink.contains(address.toString()) ? 0 : kInterface;
    }
    bool probe(const QHostAddress& address) override
    {
        if (roomForProbes)
            probes << address.toString();
        return roomForProbes;
    }
    void refresh() override { ++reads; }
    QByteArray hardwareAddress(int interfaceIndex, const QHostAddress& address) const override
    {
        return (interfaceIndex == kInterface        ? entries
                : interfaceIndex == kOtherInterface ? otherNetworkEntries
                                                    : QHash<QString, QByteArray>())
            .value(address.toString());
    }
    bool reportsChanges() const override { return events; }

    // Adds (or replaces) an entry and reports the change when events are on.
    void resolve(const QString& address, const QByteArray& hardware)
    {
        entries.insert(address, hardware);
        if (events)
            emit changed();
    }
};

} // namespace nms::test
