#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QtTest>

namespace nms::test {

// Stands for "no such file" where a test compares file contents.
inline const QByteArray kNoFile("<no file>");

// Writes the bytes exactly as given (no line-end translation).
inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
}

// The file's bytes, or kNoFile when it cannot be opened.
inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return kNoFile;
    return file.readAll();
}

} // namespace nms::test
