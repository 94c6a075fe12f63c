#pragma once

#include <QProcess>
#include <QThread>

#include <optional>

#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <unistd.h>

namespace nms::test {

// The network lab of scripts/lab for a test of the real kernel: built by
// `up 1` and the verbs given while the machine's lab lock is held, and taken
// down with this object. Element 1 is vlab-el1 at 198.18.0.11, the station
// vlab-nms at 198.18.0.1.
class LabNetwork {
public:
    ~LabNetwork()
    {
        if (m_up)
            shell(QStringLiteral("\"$NMS_SOURCE_DIR/scripts/lab\" down"));
        if (m_lock >= 0)
            ::close(m_lock);
    }

    // Empty when the lab is up, else why not (the test then skips).
    QString up(const QStringList& verbs)
    {
        if (::geteuid() != 0)
            return QStringLiteral("the lab needs root to create network namespaces");
        m_lock = ::open("/run/veltrino-lab.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        // Another lab run may hold the lab for a few minutes.
        for (int waited = 0; ::flock(m_lock, LOCK_EX | LOCK_NB) != 0; waited += 100) {
            if (waited > 240000)
                return QStringLiteral("another run held the lab for four minutes");
            QThread::msleep(100);
        }
        m_up = true;
        for (const QString& verb : QStringList{QStringLiteral("up 1")} + verbs)
            if (!shell(QStringLiteral("\"$NMS_SOURCE_DIR/scripts/lab\" ") + verb))
                return QStringLiteral("scripts/lab ") + verb + QStringLiteral(" failed");
        return QString();
    }

    // Runs a shell command line, bounded in time: its output, or nothing
    // when it fails.
    static std::optional<QString> shell(const QString& line)
    {
        QProcess process;
        process.start(QStringLiteral("bash"), {QStringLiteral("-c"), line});
        const bool finished = process.waitForFinished(60000);
        if (!finished)
            process.kill();
        if (!finished || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
            return std::nullopt;
        return QString::fromLocal8Bit(process.readAllStandardOutput());
    }

private:
    int m_lock = -1;
    bool m_up = false;
};

// Moves the calling thread into a lab namespace, and back when it goes.
class InNamespace {
public:
    explicit InNamespace(const QString& name)
        : m_original(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
        const QByteArray path = "/var/run/netns/" + name.toLocal8Bit();
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        m_entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
            ::close(fd);
    }
    ~InNamespace()
    {
        ::setns(m_original, CLONE_NEWNET);
        ::close(m_original);
    }
    explicit operator bool() const { return m_entered; }

private:
    int m_original;
    bool m_entered = false;
};

} // namespace nms::test
