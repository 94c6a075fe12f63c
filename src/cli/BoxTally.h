#pragma once

#include <QStringList>

#include "platform/Dialogs.h"

namespace nms::cli {

// Passes every box on to the program's dialogs (or to none, when quiet) and
// remembers which kinds were shown, so that a command can tell from the
// boxes of one of the window's rules how it ended: its information box is
// its success, a critical box its failure. A command that runs one of the
// window's commands on the operator's behalf answers its question Yes.
class BoxTally : public Dialogs {
public:
    explicit BoxTally(Dialogs& shown);
    BoxTally() = default;

    void answerQuestionsYes() { m_answerYes = true; }
    bool showedInformation() const { return m_information; }
    bool showedCritical() const { return m_critical; }
    // The lines of the first critical box, joined by blanks.
    QString criticalText() const { return m_criticalLines.join(QLatin1Char(' ')); }

protected:
    BoxAnswer present(const MessageBoxRequest& box) override;

private:
    Dialogs* m_shown = nullptr;
    bool m_answerYes = false;
    bool m_information = false;
    bool m_critical = false;
    QStringList m_criticalLines;
};

} // namespace nms::cli
