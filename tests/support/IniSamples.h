#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nms::test {

// The I-th of a run of element sections: twelve hex digits, as a MAC names
// its record.
inline QString macName(int i)
{
    return QString::number(0x001A2B000000LL + i, 16).toUpper().rightJustified(12, QLatin1Char('0'));
}

// A database of COUNT records named macName(0...), one key each.
inline QByteArray numberedSections(int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes += "[" + macName(i).toLatin1() + "]\nROLE=1\n";
    return bytes;
}

inline QStringList numberedNames(int count)
{
    QStringList list;
    for (int i = 0; i < count; ++i)
        list << macName(i);
    return list;
}

} // namespace nms::test
