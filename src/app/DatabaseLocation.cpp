#include "app/DatabaseLocation.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace nms {
namespace {

bool isWritableDirectory(const QString& dir)
{
    const QByteArray native = QFile::encodeName(dir);
    // access() answers for the real user, including read-only mounts.
    return !dir.isEmpty() && QDir(dir).exists() && ::access(native.constData(), W_OK | X_OK) == 0;
}

} // namespace

QString DatabaseLocation::resolve(const QString& programDir, const QString& userDataDir)
{
    QString dir = programDir;
    if (!isWritableDirectory(dir)) {
        dir = userDataDir;
        QDir().mkpath(dir);
    }
    return QDir(dir).filePath(QString::fromLatin1(kFileName));
}

QString DatabaseLocation::forThisProgram()
{
    return resolve(QCoreApplication::applicationDirPath(),
                   QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

} // namespace nms
