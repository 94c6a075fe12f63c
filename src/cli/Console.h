#pragma once

#include <QString>

namespace nms::cli {

// The program's output: UTF-8 lines on stdout for results, on stderr for
// what went wrong. Database text is Latin-1 and arrives here as QString.
class Console {
public:
    static void out(const QString& text);
    static void outLine(const QString& line);
    static void errLine(const QString& line);
};

} // namespace nms::cli
