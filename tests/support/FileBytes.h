#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

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

// Makes a directory refuse (or accept again) new files, so that a write that
// replaces a file in it fails. Root writes through permissions, so for root
// the directory is made immutable instead. False when that is not possible.
inline bool makeDirectoryUnwritable(const QString& path, bool unwritable)
{
    if (::geteuid() != 0)
        return ::chmod(QFile::encodeName(path).constData(), unwritable ? 0555 : 0755) == 0;
    return QProcess::execute(QStringLiteral("chattr"),
                             {unwritable ? QStringLiteral("+i") : QStringLiteral("-i"), path}) == 0;
}

} // namespace nms::test
