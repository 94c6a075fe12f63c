#pragma once

#include <optional>

#include <QByteArray>

#include "protocol/FeedbackRecord.h"

namespace nms {

// Turns an element's feedback datagram into a FeedbackRecord. Pure: no
// widgets, no database, no network. The MAC is not part of the datagram and
// stays empty.
class FeedbackCodec {
public:
    static constexpr int kShortestFeedback = 40;
    static constexpr int kEncoderFeedback = 44;
    static constexpr int kDecoderFeedback = 48;

    // Lengths 40, 41 and 44 and up can be read; the others lack a field that
    // the byte tables read.
    static bool canDecode(qsizetype length);
    // std::nullopt for a length that cannot be decoded.
    static std::optional<FeedbackRecord> decode(const QByteArray& datagram);

    // The text of a followed by the text of b, read as a whole number and
    // divided by ten in single precision: (3,4) -> 3.4, (1,12) -> 11.2. The
    // result is the decimal value that single-precision number reads as.
    static double versionFromBytes(quint8 a, quint8 b);
    // Four bytes, first byte first, as dotted decimal text.
    static QString addressText(const QByteArray& datagram, int offset);
};

} // namespace nms
