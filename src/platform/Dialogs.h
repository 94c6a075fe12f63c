#pragma once

#include "platform/MessageBoxRequest.h"

namespace nms {

// The one way the program raises a message box. Widget code never builds a
// QMessageBox itself, so tests can record every box and script its answer.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // Shows the box modally and returns the operator's answer.
    BoxAnswer show(const MessageBoxRequest& box);
    // True while a box is open: datagrams that arrive meanwhile are queued
    // instead of raising boxes on top of it.
    bool isBoxOpen() const { return m_openBoxes > 0; }

    // Convenience for the common shapes; all of them go through show().
    BoxAnswer information(const QString& title, const QStringList& lines);
    BoxAnswer critical(const QString& title, const QStringList& lines);
    // Yes/No with the question icon and No as the default button.
    BoxAnswer question(const QString& title, const QStringList& lines);

protected:
    virtual BoxAnswer present(const MessageBoxRequest& box) = 0;

private:
    int m_openBoxes = 0;
};

} // namespace nms
