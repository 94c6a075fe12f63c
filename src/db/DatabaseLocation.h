#pragma once

#include <QString>

namespace nms {

// Where nms.ini lives: beside the program when that directory is writable
// (a build tree, a portable copy), else in the per-user data directory (an
// installed copy in a read-only place, or in a system program directory,
// even for root). Resolved once at start-up.
class DatabaseLocation {
public:
    static constexpr const char* kFileName = "nms.ini";

    // programDir is the directory of the executable; userDataDir the
    // fallback (created when needed). Returns the full path of nms.ini.
    static QString resolve(const QString& programDir, const QString& userDataDir);
    // The same, for the running program.
    static QString forThisProgram();
};

} // namespace nms
