#pragma once

#include <QString>
#include <QStringList>

namespace nms {
class Clock;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

class InterruptSignals;

// `ping ELEMENT`: echoes to the element's stored address, one line each with
// the window's texts; exit 0 when any reply came.
class PingCommand {
public:
    PingCommand(QString defaultDatabase, IcmpSocket& socket, Clock& clock,
                InterruptSignals& interrupts);
    int run(const QStringList& arguments);

private:
    QString m_defaultDatabase;
    IcmpSocket& m_socket;
    Clock& m_clock;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
