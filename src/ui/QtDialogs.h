#pragma once

#include "platform/Dialogs.h"

class QWidget;

namespace nms {

// Shows real modal QMessageBoxes. The only place in the program that does.
class QtDialogs : public Dialogs {
public:
    void setParentWidget(QWidget* parent) { m_parent = parent; }

protected:
    BoxAnswer present(const MessageBoxRequest& box) override;

private:
    QWidget* m_parent = nullptr;
};

} // namespace nms
