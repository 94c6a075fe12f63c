#pragma once

#include <QString>
#include <QStringList>

#include "cli/MonitoringCommand.h"

namespace nms::cli {

// `serve`: the Prometheus exporter. Polls the elements every interval and
// serves the last finished round's figures over HTTP until SIGTERM or
// Ctrl-C, then exits 0.
class ServeCommand : public MonitoringCommand {
public:
    static constexpr quint16 kDefaultPort = 9798;

    using MonitoringCommand::MonitoringCommand;
    int run(const QStringList& arguments);

    // "ADDR:PORT", "[IPV6]:PORT" or ":PORT" (every address); false for
    // anything else. An empty host comes back as a null address.
    static bool parseListen(const QString& text, QString& host, quint16& port);
};

} // namespace nms::cli
