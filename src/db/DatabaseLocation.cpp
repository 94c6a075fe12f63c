#include "db/DatabaseLocation.h"

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

// The directories a package or `make install` puts programs in. Root can
// write into them, but a database there would be shared by every account
// and removed with the package, so an installed copy never keeps it there.
bool isSystemProgramDirectory(const QString& dir)
{
    static const QStringList kSystemDirs = {
        QStringLiteral("/bin"),           QStringLiteral("/sbin"),
        QStringLiteral("/usr/bin"),       QStringLiteral("/usr/sbin"),
        QStringLiteral("/usr/local/bin"), QStringLiteral("/usr/local/sbin"),
    };
    const QString canonical = QDir(dir).canonicalPath();
    return kSystemDirs.contains(QDir::cleanPath(dir)) || kSystemDirs.contains(canonical);
}

} // namespace

QString DatabaseLocation::resolve(const QString& programDir, const QString& userDataDir)
{
    QString dir = programDir;
    if (isSystemProgramDirectory(dir) || !isWritableDirectory(dir)) {
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
