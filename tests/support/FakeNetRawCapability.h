#pragma once

#include <QStringList>

#include "platform/NetRawCapability.h"

namespace nms::test {

// Records "raise" and "drop" in the order they are asked for, and leaves
// the test process's own capabilities alone.
class FakeNetRawCapability : public NetRawCapability {
public:
    QStringList calls;

    bool raise() override { return record(QStringLiteral("raise")); }
    bool drop() override { return record(QStringLiteral("drop")); }

private:
    bool record(const QString& call)
    {
        calls << call;
        return true;
    }
};

} // namespace nms::test
