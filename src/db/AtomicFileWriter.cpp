#include "db/AtomicFileWriter.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>

#include "platform/UniqueFd.h"

namespace nms {
namespace {

constexpr int kTemporaryNameAttempts = 32;

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Makes the rename itself durable; a failure here does not undo the
// replacement, which has already happened.
void syncDirectory(const QByteArray& directory)
{
    const UniqueFd fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd)
        ::fsync(fd.get());
}

void splitPath(const QByteArray& path, QByteArray& directory, QByteArray& baseName)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0) {
        directory = ".";
        baseName = path;
    } else {
        directory = slash == 0 ? QByteArray("/") : path.left(slash);
        baseName = path.mid(slash + 1);
    }
}

QByteArray temporaryPrefix(const QByteArray& baseName)
{
    return "." + baseName + ".tmp-";
}

// The writer's process id from "<pid>-<hex>", or 0 for a name that is
// not one of ours.
pid_t writerOf(const QByteArray& suffix)
{
    const qsizetype dash = suffix.indexOf('-');
    if (dash <= 0 || dash == suffix.size() - 1)
        return 0;
    for (qsizetype i = 0; i < dash; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(suffix[i])))
            return 0;
    }
    for (qsizetype i = dash + 1; i < suffix.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(suffix[i])))
            return 0;
    }
    bool ok = false;
    const qlonglong pid = suffix.left(dash).toLongLong(&ok);
    return ok && pid > 0 && pid <= std::numeric_limits<pid_t>::max() ? static_cast<pid_t>(pid) : 0;
}

// When the process started, in seconds since the epoch; nothing when it
// cannot be told.
std::optional<double> processStart(pid_t pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    QFile system(QStringLiteral("/proc/stat"));
    if (!stat.open(QIODevice::ReadOnly) || !system.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The command name may hold blanks and parentheses: fields are counted
    // after its closing parenthesis, from the third field (the state) on.
    const QByteArray line = stat.readAll();
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 1).simplified().split(' ');
    constexpr int kStartTimeField = 22 - 3;
    if (fields.size() <= kStartTimeField)
        return std::nullopt;
    bool ok = false;
    const qulonglong ticks = fields[kStartTimeField].toULongLong(&ok);
    const long ticksPerSecond = ::sysconf(_SC_CLK_TCK);
    if (!ok || ticksPerSecond <= 0)
        return std::nullopt;
    for (const QByteArray& entry : system.readAll().split('\n')) {
        if (entry.startsWith("btime ")) {
            const qulonglong bootTime = entry.mid(6).trimmed().toULongLong(&ok);
            if (!ok)
                return std::nullopt;
            return static_cast<double>(bootTime) +
                   static_cast<double>(ticks) / static_cast<double>(ticksPerSecond);
        }
    }
    return std::nullopt;
}

// The boot time is kept in whole seconds, so a start time may be off by
// about one second.
constexpr double kStartTimeMarginSeconds = 2.0;

bool writerMayRun(pid_t pid, const timespec& lastWritten)
{
    if (::kill(pid, 0) != 0 && errno == ESRCH)
        return false;
    // A process of that id runs. It wrote the file only if it had started
    // by then; one that started later got the id of a writer that is gone.
    const std::optional<double> started = processStart(pid);
    if (!started)
        return true; // cannot tell: keep the file
    return *started <= static_cast<double>(lastWritten.tv_sec) + kStartTimeMarginSeconds;
}

} // namespace

int AtomicFileWriter::removeAbandonedTemporaries(const QString& path)
{
    // The temporary files stand beside the file that is replaced, which for
    // a symbolic link is the file it points to.
    const QFileInfo info(path);
    const QByteArray target = QFile::encodeName(info.isSymLink() ? info.symLinkTarget() : path);
    QByteArray directory;
    QByteArray baseName;
    splitPath(target, directory, baseName);
    const QByteArray prefix = temporaryPrefix(baseName);
    DIR* listing = ::opendir(directory.constData());
    if (listing == nullptr)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (!name.startsWith(prefix))
            continue;
        const pid_t writer = writerOf(name.mid(prefix.size()));
        const QByteArray full = directory + '/' + name;
        struct stat status {};
        if (writer == 0 || ::lstat(full.constData(), &status) != 0 || !S_ISREG(status.st_mode))
            continue;
        if (!writerMayRun(writer, status.st_mtim) && ::unlink(full.constData()) == 0)
            ++removed;
    }
    ::closedir(listing);
    return removed;
}

bool AtomicFileWriter::failWithErrno(const QString& step, const QString& path)
{
    // Read before anything else can change it.
    const int error = errno;
    return fail(step.arg(path), error);
}

bool AtomicFileWriter::fail(const QString& what, int error)
{
    m_errorText = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    return false;
}

UniqueFd AtomicFileWriter::createTemporary(const QByteArray& directory, const QByteArray& baseName,
                                           QByteArray& temporaryPath)
{
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        // The writer's process id tells a later start whether the file was
        // abandoned (removeAbandonedTemporaries).
        temporaryPath = directory + '/' + temporaryPrefix(baseName) +
                        QByteArray::number(::getpid()) + '-' +
                        QByteArray::number(QRandomGenerator::global()->generate(), 16);
        UniqueFd fd(
            ::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return UniqueFd();
}

bool AtomicFileWriter::fillTemporary(UniqueFd file, const struct stat* old, const QByteArray& bytes,
                                     const QString& path)
{
    if (old != nullptr) {
        // Owner first: a change of owner may clear the set-id bits that
        // the mode then restores.
        if (::geteuid() == 0 || old->st_uid != ::geteuid())
            (void)::fchown(file.get(), old->st_uid, old->st_gid);
        if (::fchmod(file.get(), old->st_mode & 07777) != 0)
            return failWithErrno(QStringLiteral("Cannot keep the permissions of %1"), path);
    }
    if (!writeAll(file.get(), bytes))
        return failWithErrno(QStringLiteral("Cannot write %1"), path);
    if (::fsync(file.get()) != 0)
        return failWithErrno(QStringLiteral("Cannot flush %1"), path);
    if (!file.close())
        return failWithErrno(QStringLiteral("Cannot write %1"), path);
    return true;
}

bool AtomicFileWriter::replace(const QString& path, const QByteArray& bytes)
{
    m_errorText.clear();
    const QByteArray target = QFile::encodeName(path);
    QByteArray directory;
    QByteArray baseName;
    splitPath(target, directory, baseName);

    struct stat old {};
    const bool hadFile = ::stat(target.constData(), &old) == 0;

    QByteArray temporaryPath;
    UniqueFd file = createTemporary(directory, baseName, temporaryPath);
    if (!file) {
        const int error = errno;
        return fail(QStringLiteral("Cannot create a file in %1").arg(QFile::decodeName(directory)),
                    error);
    }
    if (!fillTemporary(std::move(file), hadFile ? &old : nullptr, bytes, path)) {
        ::unlink(temporaryPath.constData());
        return false;
    }
    if (::rename(temporaryPath.constData(), target.constData()) != 0) {
        failWithErrno(QStringLiteral("Cannot replace %1"), path);
        ::unlink(temporaryPath.constData());
        return false;
    }
    syncDirectory(directory);
    return true;
}

} // namespace nms
