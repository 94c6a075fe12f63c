#pragma once

#include <optional>
#include <utility>

#include <QByteArray>
#include <QList>
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
// the window confirms it: field by field, with the window's texts.
class SetCommand {
public:
    // timerRemoteSent's interval: how long the element has to answer.
    static constexpr int kResponseTimeoutMs = 3000;

    SetCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
               InterruptSignals& interrupts);
    int run(const QStringList& arguments);

    // What the confirmation stores for an answer to the panel, in the
    // window's order; `mismatches` gets the first line of each mismatch box.
    static QList<std::pair<QString, QString>>
    confirmedKeys(const PanelValues& panel, const FeedbackRecord& answer, QStringList& mismatches);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    Clock& m_clock;
    InterruptSignals& m_interrupts;

    std::optional<FeedbackRecord> awaitAnswer(const QString& storedAddress,
                                              const QByteArray& packet);
    int storeConfirmation(const QString& path, const QString& section, const PanelValues& panel,
                          const SettingChanges& changes, const FeedbackRecord& answer);
};

} // namespace nms::cli
