// The feedback decoder against any datagram. The whole input is decoded, and
// so is each of its prefixes of 40 to 48 bytes, the lengths at which the
// decoder reads one field more: every input meets every threshold. What
// decodes must say exactly what its bytes say, and a field the datagram does
// not reach must keep its default.
#include <QStringList>

#include "FuzzCheck.h"
#include "db/ElementRole.h"
#include "protocol/FeedbackCodec.h"

using namespace nms;
using namespace nms::fuzz;

namespace {

// The byte fields after the serial: where an encoder and a decoder carry
// each (-1: never), and a decoder's default where it differs from a new
// record's.
struct TailField {
    quint8 FeedbackRecord::*value;
    bool FeedbackRecord::*present;
    int encoderOffset, decoderOffset, decoderDefault;
};
const TailField kTail[] = {{&FeedbackRecord::sfn, &FeedbackRecord::hasSfn, 42, 43, -1},
                           {&FeedbackRecord::buf, &FeedbackRecord::hasBuf, 43, 44, 1},
                           {&FeedbackRecord::att, &FeedbackRecord::hasAtt, -1, 40, -1},
                           {&FeedbackRecord::sdm, &FeedbackRecord::hasSdm, -1, 45, -1},
                           {&FeedbackRecord::sdl, &FeedbackRecord::hasSdl, -1, 46, -1},
                           {&FeedbackRecord::sdt, &FeedbackRecord::hasSdt, -1, 47, -1}};

void checkDatagram(const QByteArray& d)
{
    const qsizetype n = d.size();
    const std::optional<FeedbackRecord> r = FeedbackCodec::decode(d);
    require(r.has_value() == (n == 40 || n == 41 || n >= 44), "a length decoded or refused wrongly",
            QString::number(n));
    if (!r)
        return;
    QStringList numbers; // the four addresses' bytes
    for (int i = 0; i < 16; ++i)
        numbers << QString::number(at(d, i));
    require(r->length == n &&
                QStringList{r->ip, r->mask, r->gw, r->remote}.join(u'.') == numbers.join(u'.') &&
                r->input == at(d, 16) && r->type == at(d, 17) && r->tx == at(d, 18) &&
                r->name == QString::fromLatin1(d.mid(19, 16)) && r->role == at(d, 35) &&
                r->sn == at(d, 36, 4) && r->mac.isEmpty(),
            "a field before the version differs from its bytes");
    const bool decoder = r->role == kDecoderRole;
    const FeedbackRecord defaults;
    for (const TailField& field : kTail) {
        const int offset = decoder ? field.decoderOffset : field.encoderOffset;
        const int fallback =
            decoder && field.decoderDefault >= 0 ? field.decoderDefault : defaults.*field.value;
        require((*r).*field.present == (offset >= 0 && n > offset) &&
                    (*r).*field.value == (offset >= 0 && n > offset ? at(d, offset) : fallback),
                "a field after the serial differs from its byte or its default",
                QString::number(offset));
    }
    // The version: the two bytes' decimal texts joined, read as tenths.
    const int major = decoder ? 41 : 40;
    const QString digits = QString::number(at(d, major)) + QString::number(at(d, major + 1));
    require(n > major + 1 ? float(r->ver) == float(digits.toLongLong() / 10.0)
                          : r->ver == defaults.ver,
            "the version differs from its bytes or its default", QString::number(r->ver));
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    checkDatagram(input);
    for (qsizetype length = 40; length <= 48 && length < input.size(); ++length)
        checkDatagram(input.left(length));
}
