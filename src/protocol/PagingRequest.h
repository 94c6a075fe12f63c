#pragma once

#include <QByteArray>

namespace nms {

// The discovery request: 32 ASCII bytes, no terminator, no length prefix.
inline const QByteArray kPagingRequest = QByteArrayLiteral("IPMPXSTL ORBELUND PAGING REQUEST");

} // namespace nms
