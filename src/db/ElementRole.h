#pragma once

#include <QString>
#include <QtGlobal>

namespace nms {

// The role byte an element reports and the database keeps under "role".
// Any other value names no role the program knows.
constexpr quint8 kEncoderRole = 1;
constexpr quint8 kDecoderRole = 2;

// The panel's element type caption for a role. The panel is read back by
// it, so every part that tells an encoder from a decoder there uses this.
inline QString RoleCaption(int role)
{
    switch (role) {
    case kEncoderRole: return QStringLiteral("ENCODER");
    case kDecoderRole: return QStringLiteral("DECODER");
    default: return QStringLiteral("UNKNOWN");
    }
}

} // namespace nms
