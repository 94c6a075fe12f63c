#pragma once

#include <QString>
#include <QStringList>

namespace nms {
class Clock;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

class InterruptSignals;
class StderrDialogs;

// The program: the global options and the command, handed to the command's
// own parser. Returns the exit status.
class NmsCtl {
public:
    NmsCtl(QString defaultDatabase, StderrDialogs& dialogs, IcmpSocket& icmpSocket, Clock& clock,
           InterruptSignals& interrupts);
    int run(const QStringList& arguments);

private:
    QString m_defaultDatabase;
    StderrDialogs& m_dialogs;
    IcmpSocket& m_icmpSocket;
    Clock& m_clock;
    InterruptSignals& m_interrupts;

    int dispatch(const QString& command, const QStringList& arguments);
};

} // namespace nms::cli
