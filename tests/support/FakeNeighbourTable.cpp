#include "FakeNeighbourTable.h"

namespace nms::test {

bool FakeNeighbourTable::isOnLink(const QHostAddress& address) const
{
    return !offLink.contains(address.toString());
}

bool FakeNeighbourTable::probe(const QHostAddress& address)
{
    if (failProbe)
        return false;
    probes << address.toString();
    return true;
}

QByteArray FakeNeighbourTable::hardwareAddress(const QHostAddress& address) const
{
    return entries.value(address.toString());
}

void FakeNeighbourTable::resolve(const QString& address, const QByteArray& hardware)
{
    entries.insert(address, hardware);
    if (events)
        emit changed();
}

} // namespace nms::test
