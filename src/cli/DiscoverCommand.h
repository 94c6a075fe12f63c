#pragma once

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

// `discover`: the window's auto discovery without the window. The paging
// request goes out as the window sends it, the answers of the collection
// window are decoded, checked and given their MAC as the window does, and
// printed. With --save they replace the database as the window's discovery
// leaves it, in one atomic replacement.
class DiscoverCommand {
public:
    DiscoverCommand(QString defaultDatabase, Dialogs& dialogs, Clock& clock,
                    InterruptSignals& interrupts);
    int run(const QStringList& arguments);

    // The database the window's discovery writes for these answers, in this
    // order (each with its MAC): the bytes of nms.ini.
    static QByteArray databaseFor(const QList<FeedbackRecord>& answers);

private:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    Clock& m_clock;
    InterruptSignals& m_interrupts;

    QList<FeedbackRecord> collect(int windowMs, const QString& interfaceName);
};

} // namespace nms::cli
