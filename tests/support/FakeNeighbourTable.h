#pragma once

#include <QHash>
#include <QStringList>

#include "platform/NeighbourTable.h"

namespace nms::test {

// A neighbour table that the test fills: entries appear when the test says
// so (with changed()), every probe is recorded, and the test decides which
// addresses are on a directly attached network.
class FakeNeighbourTable : public NeighbourTable {
    Q_OBJECT
public:
    // Addresses (dotted text) and their hardware addresses.
    QHash<QString, QByteArray> entries;
    // Addresses treated as off-link; every other address is on-link.
    QStringList offLink;
    // Dotted addresses in the order they were probed.
    QStringList probes;
    bool failProbe = false;
    bool events = true;

    bool isOnLink(const QHostAddress& address) const override;
    bool probe(const QHostAddress& address) override;
    QByteArray hardwareAddress(const QHostAddress& address) const override;
    bool reportsChanges() const override { return events; }

    // Adds (or replaces) an entry and reports the change when events are on.
    void resolve(const QString& address, const QByteArray& hardware);
};

} // namespace nms::test
