#include "diag/ArpModule.h"

#include <new>

#include <QHostAddress>

#include <arpa/inet.h>

#include "db/TextHelpers.h"
#include "platform/NeighbourTable.h"

namespace nms {

const QString ArpModule::kBuildErrorText = QStringLiteral("(error building MAC address)");

ArpModule::ArpModule(NeighbourTable& table)
    : m_table(table)
{
}

quint32 ArpModule::AddressToInteger(const QString& address)
{
    // Read as every other part of the program reads it, so that the MAC is
    // looked up for the address that is pinged and configured.
    const std::optional<quint32> read = text::ReadIP(address);
    return read ? htonl(*read) : INADDR_NONE;
}

bool ArpModule::LookupMacAddress(const QString& address, QString& mac, const QString& separator,
                                 int interfaceIndex) const
{
    const quint32 networkOrder = AddressToInteger(address);
    if (networkOrder == 0)
        return false;
    const QByteArray reported =
        m_table.hardwareAddress(interfaceIndex, QHostAddress(ntohl(networkOrder)));
    QByteArray buffer(kHardwareBufferSize, '\0');
    const int length = int(std::min<qsizetype>(reported.size(), kHardwareBufferSize));
    buffer.replace(0, length, reported.left(length));
    const bool leadingBytesZero = buffer.left(4).count('\0') == 4;
    if (length == 0 || leadingBytesZero)
        return false;
    mac = FormatMacBytes(buffer.left(length), separator);
    return true;
}

QString ArpModule::FormatMacBytes(const QByteArray& bytes, const QString& separator)
{
    if (bytes.size() != 6)
        return QString();
    try {
        QString text;
        for (int i = 0; i < 5; ++i)
            text += twoDigitHex(quint8(bytes.at(i))) + separator;
        return text + twoDigitHex(quint8(bytes.at(5)));
    } catch (const std::bad_alloc&) {
        return kBuildErrorText;
    }
}

QString ArpModule::twoDigitHex(quint8 byte)
{
    return QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
}

} // namespace nms
