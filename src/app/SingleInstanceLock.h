#pragma once

#include <memory>

#include <QString>

class QLockFile;

namespace nms {

// One running instance per user: a lock file in the user's runtime
// directory. A lock left behind by a crashed instance is taken over.
class SingleInstanceLock {
public:
    // The default path is "veltrino-nms.lock" in the runtime directory.
    explicit SingleInstanceLock(const QString& lockPath = defaultLockPath());
    ~SingleInstanceLock();

    // True when this process now holds the lock (also when it already did).
    bool acquire();
    bool isHeld() const { return m_held; }
    QString path() const { return m_path; }

    static QString defaultLockPath();

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
    bool m_held = false;
};

} // namespace nms
