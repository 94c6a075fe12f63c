#pragma once

#include <QString>
#include <QStringList>

namespace nms {
class Dialogs;
}

namespace nms::cli {

class InterruptSignals;

// `level ELEMENT`: polls "VOL" as the meter does and prints each answer's
// level in dBFS, computed as the meter computes it.
class LevelCommand {
public:
    LevelCommand(QString defaultDatabase, Dialogs& dialogs, InterruptSignals& interrupts);
    int run(const QStringList& arguments);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
