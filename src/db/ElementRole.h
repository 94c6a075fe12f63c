#pragma once

#include <QtGlobal>

namespace nms {

// The role byte an element reports and the database keeps under "role".
// Any other value names no role the program knows.
constexpr quint8 kEncoderRole = 1;
constexpr quint8 kDecoderRole = 2;

} // namespace nms
