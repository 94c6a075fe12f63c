#include "protocol/FeedbackCodec.h"

#include <charconv>

#include <QString>

#include "db/ElementRole.h"

namespace nms {

namespace {

// Offsets (from 0) of the fields that every feedback carries.
constexpr int kIpOffset = 0;
constexpr int kMaskOffset = 4;
constexpr int kGatewayOffset = 8;
constexpr int kRemoteOffset = 12;
constexpr int kInputOffset = 16;
constexpr int kTypeOffset = 17;
constexpr int kTxOffset = 18;
constexpr int kNameOffset = 19;
constexpr int kNameLength = 16;
constexpr int kRoleOffset = 35;
constexpr int kSerialOffset = 36;

// The first extension byte: the encoder's version, the decoder's attenuation.
constexpr int kExtensionOffset = 40;

// Defaults for fields that a short feedback leaves out.
constexpr double kDefaultVersion = 2.0;
constexpr quint8 kDefaultSfn = 0;
constexpr quint8 kDefaultEncoderBuffer = 0;
constexpr quint8 kDefaultDecoderBuffer = 1;
constexpr quint8 kDefaultAttenuation = 255;

quint8 byteAt(const QByteArray& datagram, int offset)
{
    return quint8(datagram.at(offset));
}

quint32 bigEndian32(const QByteArray& datagram, int offset)
{
    quint32 value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | byteAt(datagram, offset + i);
    return value;
}

void decodeCommonFields(const QByteArray& datagram, FeedbackRecord& record)
{
    record.ip = FeedbackCodec::addressText(datagram, kIpOffset);
    record.mask = FeedbackCodec::addressText(datagram, kMaskOffset);
    record.gw = FeedbackCodec::addressText(datagram, kGatewayOffset);
    record.remote = FeedbackCodec::addressText(datagram, kRemoteOffset);
    record.input = byteAt(datagram, kInputOffset);
    record.type = byteAt(datagram, kTypeOffset);
    record.tx = byteAt(datagram, kTxOffset);
    // One character per byte, exactly as sent: names round-trip unchanged.
    record.name = QString::fromLatin1(datagram.constData() + kNameOffset, kNameLength);
    record.role = byteAt(datagram, kRoleOffset);
    // Kept unsigned: a genuine serial with its top bit set is not negative.
    record.sn = bigEndian32(datagram, kSerialOffset);
}

// Encoder (and role 0): version, SFN and buffer, all or nothing at 44 bytes.
void decodeEncoderExtension(const QByteArray& datagram, FeedbackRecord& record)
{
    const qsizetype length = datagram.size();
    const int base = kExtensionOffset;
    const bool complete = length >= FeedbackCodec::kEncoderFeedback;
    record.ver = complete ? FeedbackCodec::versionFromBytes(byteAt(datagram, base),
                                                            byteAt(datagram, base + 1))
                          : kDefaultVersion;
    record.hasSfn = record.hasBuf = complete;
    record.sfn = complete ? byteAt(datagram, base + 2) : kDefaultSfn;
    record.buf = complete ? byteAt(datagram, base + 3) : kDefaultEncoderBuffer;
}

// Decoder: attenuation first, then the encoder's fields shifted by one, then
// the silence detector; each field present when the datagram reaches it.
void decodeDecoderExtension(const QByteArray& datagram, FeedbackRecord& record)
{
    const qsizetype length = datagram.size();
    const int base = kExtensionOffset;
    const auto reaches = [length](int offset) { return length > offset; };

    record.hasAtt = reaches(base);
    record.att = record.hasAtt ? byteAt(datagram, base) : kDefaultAttenuation;
    const bool versionBlock = length >= FeedbackCodec::kEncoderFeedback;
    record.ver = versionBlock ? FeedbackCodec::versionFromBytes(byteAt(datagram, base + 1),
                                                                byteAt(datagram, base + 2))
                              : kDefaultVersion;
    record.hasSfn = versionBlock;
    record.hasBuf = reaches(base + 4);
    record.sfn = record.hasSfn ? byteAt(datagram, base + 3) : kDefaultSfn;
    record.buf = record.hasBuf ? byteAt(datagram, base + 4) : kDefaultDecoderBuffer;
    record.hasSdm = reaches(base + 5);
    record.hasSdl = reaches(base + 6);
    record.hasSdt = reaches(base + 7);
    // The database's own defaults stand in for what a short answer leaves out.
    const FeedbackRecord defaults;
    record.sdm = record.hasSdm ? byteAt(datagram, base + 5) : defaults.sdm;
    record.sdl = record.hasSdl ? byteAt(datagram, base + 6) : defaults.sdl;
    record.sdt = record.hasSdt ? byteAt(datagram, base + 7) : defaults.sdt;
}

} // namespace

bool FeedbackCodec::canDecode(qsizetype length)
{
    return length == 40 || length == 41 || length >= kEncoderFeedback;
}

std::optional<FeedbackRecord> FeedbackCodec::decode(const QByteArray& datagram)
{
    if (!canDecode(datagram.size()))
        return std::nullopt;
    FeedbackRecord record;
    record.length = int(datagram.size());
    decodeCommonFields(datagram, record);
    if (record.role == kDecoderRole)
        decodeDecoderExtension(datagram, record);
    else
        decodeEncoderExtension(datagram, record);
    return record;
}

double FeedbackCodec::versionFromBytes(quint8 a, quint8 b)
{
    // Joined digits go up to 255255; they are kept whole rather than wrapped
    // into 16 bits, so (255,255) reads 25525.5 and not a negative number.
    const qint64 joined = (QString::number(a) + QString::number(b)).toLongLong();
    const float single = float(double(joined) / 10.0);
    // The shortest text that reads back as this single-precision value is
    // what the element meant (3.4, not 3.4000000953674316).
    // (to_chars/from_chars ignore the C locale, unlike printf and strtod.)
    char text[32];
    const auto written = std::to_chars(text, text + sizeof text, single);
    double value = double(single);
    std::from_chars(text, written.ptr, value);
    return value;
}

QString FeedbackCodec::addressText(const QByteArray& datagram, int offset)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(byteAt(datagram, offset))
        .arg(byteAt(datagram, offset + 1))
        .arg(byteAt(datagram, offset + 2))
        .arg(byteAt(datagram, offset + 3));
}

} // namespace nms
