#pragma once

#include <utility>

#include <QString>

namespace nms {
class Clock;
class Dialogs;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

class InterruptSignals;

// What the monitoring commands (check, serve) run on: the database they
// read when none is given, the program's boxes, the echo socket, the clock,
// and the signals that end them.
class MonitoringCommand {
public:
    MonitoringCommand(QString defaultDatabase, Dialogs& dialogs, IcmpSocket& socket, Clock& clock,
                      InterruptSignals& interrupts)
        : m_defaultDatabase(std::move(defaultDatabase))
        , m_dialogs(dialogs)
        , m_socket(socket)
        , m_clock(clock)
        , m_interrupts(interrupts)
    {
    }

protected:
    QString m_defaultDatabase;
    Dialogs& m_dialogs;
    IcmpSocket& m_socket;
    Clock& m_clock;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
