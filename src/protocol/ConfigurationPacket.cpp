#include "protocol/ConfigurationPacket.h"

#include <algorithm>

#include "db/TextHelpers.h"

namespace nms {
namespace {

constexpr char kUnencodable = '?';

bool appendAddress(QByteArray& packet, const QString& address)
{
    const std::optional<quint32> read = text::ReadIP(address);
    if (!read)
        return false;
    for (int shift = 24; shift >= 0; shift -= 8)
        packet.append(static_cast<char>(*read >> shift));
    return true;
}

} // namespace

char ConfigurationPacket::toByte(int value)
{
    return static_cast<char>(std::clamp(value, 0, 255));
}

QByteArray ConfigurationPacket::encodeName(const QString& name)
{
    const QString padded = text::PadName16(name);
    QByteArray bytes;
    bytes.reserve(kNameLength);
    for (QChar c : padded)
        bytes.append(c.unicode() <= 0xFF ? static_cast<char>(c.unicode()) : kUnencodable);
    while (bytes.size() < kNameLength)
        bytes.append(' ');
    return bytes;
}

std::optional<QByteArray> ConfigurationPacket::build(const Fields& fields)
{
    QByteArray packet;
    packet.reserve(kDecoderLength);
    for (const QString* address :
         {&fields.elementIP, &fields.elementMask, &fields.elementGW, &fields.remoteIP}) {
        if (!appendAddress(packet, *address))
            return std::nullopt;
    }
    packet.append(toByte(fields.audioInput));
    packet.append(toByte(fields.audioType));
    packet.append(toByte(fields.audioTX));
    packet.append(encodeName(fields.elementName));
    if (fields.decoder) {
        packet.append(toByte(fields.sfnEnabled));
        packet.append(toByte(fields.buffer));
        packet.append(toByte(fields.silDetMode));
        packet.append(toByte(fields.silDetLevel));
        packet.append(toByte(fields.silDetTime));
    }
    return packet;
}

} // namespace nms
