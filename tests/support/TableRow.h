#pragma once

#include <QString>
#include <QtTest>

namespace nms::test {

// Adds one row to a Qt Test data table in a single call, so that a row stays
// one line. A string literal fills a QString column; byte columns need a
// QByteArray.
template <typename... Values> void addRow(const char* name, const Values&... values)
{
    (QTest::newRow(name) << ... << values);
}

inline QString latin1(const char* text)
{
    return QString::fromLatin1(text);
}

} // namespace nms::test
