#pragma once

#include <optional>
#include <utility>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "protocol/FeedbackRecord.h"

namespace nms {
class Clock;
class Dialogs;
} // namespace nms

namespace nms::cli {

class InterruptSignals;
class PanelValues;
class SettingChanges;

// `set ELEMENT KEY=VALUE...`: the window's save command without the window.
// The stored record plus the changes make the panel; it is checked as the
// save command checks it, sent, and the element's answer is confirmed as
// the window confirms it, by the window's own confirmation.
class SetCommand {
public:
    // timerRemoteSent's interval: how long the element has to answer.
    static constexpr int kResponseTimeoutMs = 3000;

    SetCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
               InterruptSignals& interrupts);
    int run(const QStringList& arguments);

    // Confirms the element's answer to the configuration built from the
    // panel as the window confirms it, with the window's boxes, and keeps a
    // changed bound encoder once the element has agreed. The exit status:
    // 0 when the element confirmed every field, else 1.
    static int confirmAnswer(Dialogs& dialogs, const QString& path, PanelValues& panel,
                             const SettingChanges& changes, const FeedbackRecord& answer);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    Clock& m_clock;
    InterruptSignals& m_interrupts;

    std::optional<FeedbackRecord> awaitAnswer(const QString& storedAddress,
                                              const QByteArray& packet);
};

} // namespace nms::cli
