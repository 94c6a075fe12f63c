#pragma once

#include <QList>

#include "platform/Dialogs.h"

namespace nms::test {

// Records every message box and answers from a script; when the script is
// empty it answers the box's default button.
class RecordingDialogs : public Dialogs {
public:
    QList<MessageBoxSpec> boxes;
    QList<BoxAnswer> script;

    void clear() { boxes.clear(); }
    QStringList texts() const;
    const MessageBoxSpec& last() const { return boxes.last(); }

protected:
    BoxAnswer present(const MessageBoxSpec& box) override;
};

} // namespace nms::test
