#pragma once

#include "SimConfig.h"

#include <QStringList>

#include <optional>

namespace nms::sim {

// Reads the simulator's command line. Prints --help itself; reports every
// other problem through the error text so main() can exit non-zero.
class SimOptions {
public:
    static std::optional<SimConfig> parse(const QStringList& arguments, QString* error);
    // Every element the command line asks for: one, or with --identities
    // FILE one per line of FILE, each line's options following (and winning
    // over) those of the command line.
    static std::optional<QList<SimConfig>> parseAll(const QStringList& arguments, QString* error);
};

} // namespace nms::sim
