#pragma once

#include <QString>
#include <QStringList>

namespace nms {
class Clock;
class Dialogs;
} // namespace nms

namespace nms::cli {

class InterruptSignals;

// `resolve ADDRESS` (not listed in --help): one bounded MAC lookup as
// discovery and set run it, and the time it took inside this program. The
// benchmark compares it with arping.
class ResolveCommand {
public:
    ResolveCommand(Dialogs& dialogs, Clock& clock, InterruptSignals& interrupts);
    int run(const QStringList& arguments);

private:
    Dialogs& m_dialogs;
    Clock& m_clock;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
