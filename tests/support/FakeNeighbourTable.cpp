#include "FakeNeighbourTable.h"

namespace nms::test {

int FakeNeighbourTable::onLinkInterface(const QHostAddress& address) const
{
    return offLink.contains(address.toString()) ? 0 : kInterface;
}

bool FakeNeighbourTable::probe(const QHostAddress& address)
{
    if (failProbe)
        return false;
    probes << address.toString();
    return true;
}

QByteArray FakeNeighbourTable::hardwareAddress(int interfaceIndex,
                                               const QHostAddress& address) const
{
    if (interfaceIndex == kOtherInterface)
        return otherNetworkEntries.value(address.toString());
    return interfaceIndex == kInterface ? entries.value(address.toString()) : QByteArray();
}

void FakeNeighbourTable::resolve(const QString& address, const QByteArray& hardware)
{
    entries.insert(address, hardware);
    if (events)
        emit changed();
}

} // namespace nms::test
