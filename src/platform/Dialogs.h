#pragma once

#include <functional>

#include <QList>
#include <QObject>
#include <QPointer>

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

    // Runs the listener each time the last open box has closed, for as long
    // as the context object lives. It runs inside show(), before the code
    // that raised the box goes on, so a listener only schedules its work.
    void whenAllBoxesClosed(QObject* context, std::function<void()> listener);

    // Convenience for the common shapes; all of them go through show().
    BoxAnswer information(const QString& title, const QStringList& lines);
    BoxAnswer critical(const QString& title, const QStringList& lines);
    // Yes/No with the question icon and No as the default button.
    BoxAnswer question(const QString& title, const QStringList& lines);

protected:
    virtual BoxAnswer present(const MessageBoxRequest& box) = 0;

private:
    struct CloseListener {
        QPointer<QObject> context;
        std::function<void()> listener;
    };

    void notifyAllBoxesClosed();

    int m_openBoxes = 0;
    QList<CloseListener> m_closeListeners;
};

} // namespace nms
