#pragma once

#include <QString>
#include <QStringList>

#include "cli/MonitoringCommand.h"

namespace nms::cli {

class EchoRunner;
class LevelPoller;
class HeadlessPanel;

// `check`: a monitoring plugin. Pings each element (every element of the
// database when none is named), asks each for its level, and prints one
// status line with performance data. Exit 0 OK, 1 WARNING, 2 CRITICAL,
// 3 UNKNOWN; bad usage is UNKNOWN too, so that a monitoring system never
// reads a typo as a link down.
class CheckCommand : public MonitoringCommand {
public:
    enum class State { Ok = 0, Warning = 1, Critical = 2, Unknown = 3 };

    using MonitoringCommand::MonitoringCommand;
    int run(const QStringList& arguments);

    static QString stateName(State state);
    // A perfdata label: bare when it needs no quotes, else in single quotes.
    static QString perfLabel(const QString& label);

private:
    struct Thresholds {
        int warningMs = 0;
        int criticalMs = 0;
        double silenceDbfs = 0.0;
    };
    struct ElementResult {
        State state = State::Ok;
        QString summary;
        QStringList perfdata;
    };

    ElementResult checkElement(const HeadlessPanel& element, bool single,
                               const Thresholds& thresholds, EchoRunner& echoes,
                               LevelPoller* poller);
};

} // namespace nms::cli
