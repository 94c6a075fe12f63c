#pragma once

#include <QByteArray>
#include <QString>

namespace nms {

class NeighbourTable;

// The ARP routines: an address text to its 32-bit form, the hardware
// address that the kernel has learned for it, and the MAC text. Keeps no
// state between calls; the bounded waiting lives in MacLookup.
class ArpModule {
public:
    // The platform's hardware address buffer: up to 8 bytes come back.
    static constexpr int kHardwareBufferSize = 8;
    static const QString kBuildErrorText;

    explicit ArpModule(NeighbourTable& table);

    // The IPv4 address in network byte order, read as text::ReadIP reads
    // it: all ones (INADDR_NONE) for text that is not an address.
    static quint32 AddressToInteger(const QString& address);
    // True with `mac` set when the neighbour table's latest reading holds a
    // hardware address for the address on the interface on which it is
    // on-link, whose first four bytes are not all zero; a length other than
    // six then gives an empty `mac`. False leaves `mac` unchanged.
    bool LookupMacAddress(const QString& address, QString& mac, const QString& separator,
                          int interfaceIndex) const;
    // Six bytes as upper-case hex pairs joined by the separator; any other
    // count gives the empty text.
    static QString FormatMacBytes(const QByteArray& bytes, const QString& separator);

private:
    NeighbourTable& m_table;

    static QString twoDigitHex(quint8 byte);
};

} // namespace nms
