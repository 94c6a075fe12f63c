#pragma once

#include <functional>

#include <QList>

#include "platform/Dialogs.h"

namespace nms::test {

// Records every message box and answers from a script; when the script is
// empty it answers the box's default button.
class RecordingDialogs : public Dialogs {
public:
    QList<MessageBoxRequest> boxes;
    QList<BoxAnswer> script;
    // Runs while each box is open (isBoxOpen() is true), before it is
    // answered: lets a test deliver datagrams or ticks "behind" a box.
    std::function<void(const MessageBoxRequest&)> whileOpen;

    void clear() { boxes.clear(); }
    QStringList texts() const;
    const MessageBoxRequest& last() const { return boxes.last(); }

protected:
    BoxAnswer present(const MessageBoxRequest& box) override;
};

} // namespace nms::test
