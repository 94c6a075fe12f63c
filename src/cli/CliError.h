#pragma once

#include <QString>

namespace nms::cli {

// The program's exit statuses. A check uses the monitoring-plugin ones
// (0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN) instead.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnknown = 3;
// Ended by SIGINT or SIGTERM before anything was written.
inline constexpr int kExitInterrupted = 130;

// Ends the command: the message goes to stderr as one line (to stdout when
// the status is 0, as for --help) and the program exits with the status.
struct CliError {
    int status = kExitFailure;
    QString message;
};

} // namespace nms::cli
