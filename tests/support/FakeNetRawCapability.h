#pragma once

#include <QStringList>

#include "platform/NetRawCapability.h"

namespace nms::test {

// Records "raise" and "drop" in the order they are asked for, and leaves
// the test process's own capabilities alone.
class FakeNetRawCapability : public NetRawCapability {
public:
    QStringList calls;

    bool raise() override
    {
        calls << QStringLiteral("raise");
        return true;
    }
    bool drop() override
    {
        calls << QStringLiteral("drop");
        return true;
    }
};

} // namespace nms::test
