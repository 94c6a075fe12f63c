#include "db/AtomicFileWriter.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QRandomGenerator>

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
    const int fd = ::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
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

} // namespace

bool AtomicFileWriter::fail(const QString& what, int error)
{
    m_errorText = what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
    return false;
}

int AtomicFileWriter::createTemporary(const QByteArray& directory, const QByteArray& baseName,
                                      QByteArray& temporaryPath)
{
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporaryPath = directory + "/." + baseName + ".tmp-" + QByteArray::number(::getpid()) +
                        '-' + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        const int fd =
            ::open(temporaryPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
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
    const int fd = createTemporary(directory, baseName, temporaryPath);
    if (fd < 0)
        return fail(QStringLiteral("Cannot create a file in %1").arg(QFile::decodeName(directory)),
                    errno);

    int error = 0;
    QString step;
    if (hadFile) {
        // Owner first: a change of owner may clear the set-id bits that
        // the mode then restores.
        if (::geteuid() == 0 || old.st_uid != ::geteuid())
            (void)::fchown(fd, old.st_uid, old.st_gid);
        if (::fchmod(fd, old.st_mode & 07777) != 0) {
            error = errno;
            step = QStringLiteral("Cannot keep the permissions of %1");
        }
    }
    if (error == 0 && !writeAll(fd, bytes)) {
        error = errno;
        step = QStringLiteral("Cannot write %1");
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
        step = QStringLiteral("Cannot flush %1");
    }
    if (::close(fd) != 0 && error == 0) {
        error = errno;
        step = QStringLiteral("Cannot write %1");
    }
    if (error == 0 && ::rename(temporaryPath.constData(), target.constData()) != 0) {
        error = errno;
        step = QStringLiteral("Cannot replace %1");
    }
    if (error != 0) {
        ::unlink(temporaryPath.constData());
        return fail(step.arg(path), error);
    }
    syncDirectory(directory);
    return true;
}

} // namespace nms
