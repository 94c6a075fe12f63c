#pragma once

#include <QFont>
#include <QString>

namespace nms {

// The fonts the windows are drawn with. The design names Tahoma; Linux
// desktops rarely have it, so a condensed sans face of nearly the same width
// and height stands in, at the same point size.
class UiFonts {
public:
    // The family used for every named font: Tahoma when installed.
    static QString family();
    static QFont tahoma(qreal pointSize, bool bold = false);
    // The windows' own font (8.25 pt).
    static QFont windowFont();
    // The three small readouts of the properties panel (6.75 pt).
    static QFont readoutFont();
    // The ping result (8.25 pt bold).
    static QFont pingFont();
};

} // namespace nms
