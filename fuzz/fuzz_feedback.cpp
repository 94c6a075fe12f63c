// The feedback decoder against any datagram. The whole input is decoded, and
// so is each of its prefixes whose length is one at which the decoder reads a
// field more (40 to 48 bytes): the fuzzer varies the length, and every input
// meets every threshold. Whatever decodes must say exactly what its bytes say.
#include <cmath>

#include "FuzzCheck.h"
#include "db/ElementRole.h"
#include "protocol/FeedbackCodec.h"

using namespace nms;
using nms::fuzz::at;
using nms::fuzz::be32;
using nms::fuzz::require;

namespace {

QString dotted(const QByteArray& d, int offset)
{
    return QStringLiteral("%1.%2.%3.%4")
        .arg(at(d, offset))
        .arg(at(d, offset + 1))
        .arg(at(d, offset + 2))
        .arg(at(d, offset + 3));
}

void checkCommonFields(const QByteArray& d, const FeedbackRecord& r)
{
    require(r.length == d.size(), "length differs from the datagram");
    require(r.ip == dotted(d, 0) && r.mask == dotted(d, 4) && r.gw == dotted(d, 8) &&
                r.remote == dotted(d, 12),
            "an address differs from its bytes");
    require(r.input == at(d, 16) && r.type == at(d, 17) && r.tx == at(d, 18),
            "input, type or tx differs from its byte");
    require(r.name == QString::fromLatin1(d.mid(19, 16)), "name differs from its 16 bytes");
    require(r.role == at(d, 35), "role differs from its byte");
    require(r.sn == be32(d, 36), "serial is not the big-endian bytes 36..39");
    require(r.mac.isEmpty(), "a MAC came out of the datagram");
}

void checkVersion(double version, quint8 a, quint8 b)
{
    require(std::isfinite(version) && version >= 0.0 && version <= 25525.5 + 0.01,
            "version out of range", QString::number(version));
    require(version == FeedbackCodec::versionFromBytes(a, b), "version not from its bytes");
}

void checkEncoderTail(const QByteArray& d, const FeedbackRecord& r)
{
    const bool complete = d.size() >= FeedbackCodec::kEncoderFeedback;
    require(!r.hasAtt && !r.hasSdm && !r.hasSdl && !r.hasSdt, "decoder field on an encoder");
    if (!complete) {
        require(r.ver == 2.0 && r.sfn == 0 && r.buf == 0, "short encoder lacks the defaults");
        return;
    }
    checkVersion(r.ver, at(d, 40), at(d, 41));
    require(r.sfn == at(d, 42) && r.buf == at(d, 43), "encoder SFN or buffer wrong");
}

void checkDecoderTail(const QByteArray& d, const FeedbackRecord& r)
{
    const qsizetype n = d.size();
    const FeedbackRecord defaults;
    require(r.hasAtt == (n > 40) && r.hasSdm == (n > 45) && r.hasSdl == (n > 46) &&
                r.hasSdt == (n > 47),
            "decoder presence flags do not follow the length");
    require(r.att == (n > 40 ? at(d, 40) : 255), "attenuation wrong");
    if (n >= FeedbackCodec::kEncoderFeedback) {
        checkVersion(r.ver, at(d, 41), at(d, 42));
        require(r.sfn == at(d, 43), "decoder SFN wrong");
    } else {
        require(r.ver == 2.0 && r.sfn == 0, "short decoder lacks the defaults");
    }
    require(r.buf == (n > 44 ? at(d, 44) : 1), "decoder buffer wrong");
    require(r.sdm == (n > 45 ? at(d, 45) : defaults.sdm) &&
                r.sdl == (n > 46 ? at(d, 46) : defaults.sdl) &&
                r.sdt == (n > 47 ? at(d, 47) : defaults.sdt),
            "silence detector fields wrong");
}

void checkDatagram(const QByteArray& d)
{
    const std::optional<FeedbackRecord> record = FeedbackCodec::decode(d);
    require(record.has_value() == FeedbackCodec::canDecode(d.size()),
            "decode disagrees with canDecode", QString::number(d.size()));
    if (!record)
        return;
    require(d.size() >= FeedbackCodec::kShortestFeedback, "a datagram too short decoded");
    checkCommonFields(d, *record);
    if (record->role == kDecoderRole)
        checkDecoderTail(d, *record);
    else
        checkEncoderTail(d, *record);
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    checkDatagram(input);
    for (qsizetype length = FeedbackCodec::kShortestFeedback;
         length <= FeedbackCodec::kDecoderFeedback && length < input.size(); ++length)
        checkDatagram(input.left(length));
}
