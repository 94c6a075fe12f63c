#pragma once

#include <optional>

#include <QByteArray>
#include <QString>

namespace nms {

// The configuration datagram sent to one element's port 2976, built from
// plain panel values so that its bytes can be checked without a window.
// Encoders (and any role but a decoder) get 35 bytes; decoders get 40, the
// last five carrying their decoder-only settings.
class ConfigurationPacket {
public:
    static constexpr int kEncoderLength = 35;
    static constexpr int kDecoderLength = 40;
    static constexpr int kNameOffset = 19;
    static constexpr int kNameLength = 16;

    struct Fields {
        QString elementIP;
        QString elementMask;
        QString elementGW;
        QString remoteIP;
        int audioInput = 0;
        int audioType = 0;
        int audioTX = 0;
        QString elementName;
        bool decoder = false;
        // Decoder only.
        int sfnEnabled = 0;
        int buffer = 0;
        int silDetMode = 0;
        int silDetLevel = 1;
        int silDetTime = 1;
    };

    // Empty when an address does not split into four numbers 0..255: the
    // packet would otherwise carry an address the operator never wrote.
    static std::optional<QByteArray> build(const Fields& fields);

    // The 16 name bytes: blank-padded or cut, upper-cased, one byte per
    // character. A character that has no single-byte Latin-1 code (also one
    // that upper-casing moved out of Latin-1) goes out as '?', never as the
    // low byte of its code, which could put a NUL or a line break into the
    // element's name.
    static QByteArray encodeName(const QString& name);

    // A selection index or scroll value as one byte: no selection (-1) and
    // other values below 0 send 0, values above 255 send 255.
    static char toByte(int value);
};

} // namespace nms
