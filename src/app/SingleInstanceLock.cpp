#include "app/SingleInstanceLock.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace nms {

SingleInstanceLock::SingleInstanceLock(const QString& lockPath)
    : m_path(lockPath)
    , m_lock(std::make_unique<QLockFile>(lockPath))
{
    // Age alone never makes a lock stale: a long-running instance keeps it.
    // QLockFile still takes over a lock whose owner process has died.
    m_lock->setStaleLockTime(0);
}

SingleInstanceLock::~SingleInstanceLock() = default;

bool SingleInstanceLock::acquire()
{
    if (m_held)
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    m_held = m_lock->tryLock(0);
    if (!m_held && m_lock->error() == QLockFile::LockFailedError) {
        // A lock left by a crash (its process is gone) is removed here.
        if (m_lock->removeStaleLockFile())
            m_held = m_lock->tryLock(0);
    }
    return m_held;
}

QString SingleInstanceLock::defaultLockPath()
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    return dir + QStringLiteral("/veltrino-nms.lock");
}

} // namespace nms
