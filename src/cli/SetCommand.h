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

class ElementDatabase;
class HeadlessPanel;
class InterruptSignals;
class SettingChanges;

// `set ELEMENT KEY=VALUE...`: the window's save command without the window.
// The window's selection loads the record into a panel, the changes edit it,
// and the window's save command checks and sends it; the element's answer
// is confirmed as the window confirms it, by the window's own confirmation.
// With --from, the panel first takes another element's configuration: a
// failed unit's settings cloned to the spare that replaces it.
class SetCommand {
public:
    // timerRemoteSent's interval: how long the element has to answer.
    static constexpr int kResponseTimeoutMs = 3000;

    SetCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
               InterruptSignals& interrupts);
    int run(const QStringList& arguments);

    // Confirms the element's answer to the configuration built from the
    // panel as the window confirms it, with the window's boxes. The exit
    // status: 0 when the element confirmed every field, else 1.
    static int confirmAnswer(Dialogs& dialogs, const QString& path, HeadlessPanel& panel,
                             const FeedbackRecord& answer);
    // The panel `set` sends: the element's record as the window's selection
    // loads it, with the failed unit's configuration when `failed` names one,
    // then the changes. Refuses (CliError, 2) a record the selection refuses,
    // units of different roles, and a decoder's value that neither the
    // record nor the changes give.
    static HeadlessPanel panelFor(const ElementDatabase& database, const QString& element,
                                  const QString& failed, const SettingChanges& changes);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    Clock& m_clock;
    InterruptSignals& m_interrupts;

    static void takeConfiguration(const ElementDatabase& database, const QString& failed,
                                  HeadlessPanel& spare);
    std::optional<FeedbackRecord> awaitAnswer(const QString& path, HeadlessPanel& panel);
};

} // namespace nms::cli
