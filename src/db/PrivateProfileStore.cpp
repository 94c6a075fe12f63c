#include "db/PrivateProfileStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>

#include "db/AtomicFileWriter.h"
#include "db/IniDocument.h"
#include "platform/UniqueFd.h"

namespace nms {
namespace {

// Larger files are refused rather than read into memory: a database of
// thousands of elements is well under a megabyte.
constexpr off_t kMaxFileMiB = 64;
constexpr off_t kMaxFileBytes = kMaxFileMiB * 1024 * 1024;
// Reads that saw the file change while they ran are repeated this often.
constexpr int kReadAttempts = 3;
// Time stamps with no fraction may come from a file system that keeps
// whole (or even two) seconds; such a file is trusted only this long after
// its last change.
constexpr time_t kCoarseTimestampMarginSeconds = 2;

timespec coarseNow()
{
    // The kernel stamps files from this clock, so a file whose times lie
    // before this instant cannot change again without new times.
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
    return now;
}

bool isSettled(const FileSignature& signature, timespec readStarted)
{
    if (signature.modified.tv_nsec == 0 || signature.changed.tv_nsec == 0)
        readStarted.tv_sec -= kCoarseTimestampMarginSeconds;
    return signature.settledBefore(readStarted);
}

QString tooLarge(const QString& path)
{
    return QStringLiteral("%1 is larger than %2 MiB, too large to be a database")
        .arg(path)
        .arg(kMaxFileMiB);
}

QString systemError(const QString& what, const QString& path, int error)
{
    return what.arg(path) + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(error));
}

// Reads the whole of an open file into bytes, with its status before and
// after the read; the reason when it is not a regular file of an
// acceptable size or cannot be read, else nothing.
QString readOpenFile(int fd, const QString& path, struct stat& before, QByteArray& bytes,
                     struct stat& after)
{
    bytes.clear();
    if (::fstat(fd, &before) != 0)
        return systemError(QStringLiteral("Cannot read %1"), path, errno);
    if (!S_ISREG(before.st_mode))
        return QStringLiteral("%1 is not a regular file").arg(path);
    if (before.st_size > kMaxFileBytes)
        return tooLarge(path);
    bytes.reserve(before.st_size);
    char chunk[65536];
    for (;;) {
        const ssize_t got = ::read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return systemError(QStringLiteral("Cannot read %1"), path, errno);
        if (got == 0)
            break;
        bytes.append(chunk, got);
        if (bytes.size() > kMaxFileBytes)
            return tooLarge(path);
    }
    if (::fstat(fd, &after) != 0)
        return systemError(QStringLiteral("Cannot read %1"), path, errno);
    return QString();
}

int fillValue(QString& buffer, const QString& text)
{
    const qsizetype size = buffer.size();
    if (size <= 0)
        return 0;
    const qsizetype count = std::min(text.size(), size - 1);
    std::copy_n(text.constData(), count, buffer.data());
    buffer[count] = QChar(0);
    return static_cast<int>(count);
}

// A zero-separated list with one more zero character after the last item;
// when it does not fit, its first size - 2 characters and two zero
// characters, so a name or entry may be cut short.
int fillList(QString& buffer, const QStringList& items, bool* truncated)
{
    QString content;
    for (const QString& item : items) {
        content += item;
        content += QChar(0);
    }
    const qsizetype size = buffer.size();
    const bool fits = content.size() + 1 <= size;
    if (truncated)
        *truncated = !fits;
    QChar* out = buffer.data();
    if (fits) {
        std::copy_n(content.constData(), content.size(), out);
        out[content.size()] = QChar(0);
        if (content.isEmpty() && size > 1)
            out[1] = QChar(0);
        return static_cast<int>(content.size());
    }
    if (size < 2) {
        if (size == 1)
            out[0] = QChar(0);
        return 0;
    }
    std::copy_n(content.constData(), size - 2, out);
    out[size - 2] = QChar(0);
    out[size - 1] = QChar(0);
    return static_cast<int>(size - 2);
}

int digitValue(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'z')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'Z')
        return u - 'A' + 10;
    return 99;
}

int radixPrefix(const QString& text, qsizetype& pos)
{
    if (pos + 1 < text.size() && text[pos] == QLatin1Char('0')) {
        const QChar marker = text[pos + 1].toLower();
        const int radix = marker == QLatin1Char('x')   ? 16
                          : marker == QLatin1Char('o') ? 8
                          : marker == QLatin1Char('b') ? 2
                                                       : 10;
        if (radix != 10)
            pos += 2;
        return radix;
    }
    return 10;
}

// The classic integer read: optional blanks and sign, an optional radix
// prefix, then digits up to the first other character, wrapping at 32 bits.
qint32 parseProfileInt(const QString& text)
{
    qsizetype pos = 0;
    while (pos < text.size() && text[pos].unicode() <= ' ')
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == QLatin1Char('-') || text[pos] == QLatin1Char('+'))) {
        negative = text[pos] == QLatin1Char('-');
        ++pos;
    }
    const int radix = radixPrefix(text, pos);
    quint32 magnitude = 0;
    for (; pos < text.size(); ++pos) {
        const int digit = digitValue(text[pos]);
        if (digit >= radix)
            break;
        magnitude = magnitude * static_cast<quint32>(radix) + static_cast<quint32>(digit);
    }
    return static_cast<qint32>(negative ? 0u - magnitude : magnitude);
}

} // namespace

struct PrivateProfileStore::CachedFile {
    FileSignature signature;
    // True when the file could not have changed since it was read without
    // changing its signature; otherwise the next call reads it again.
    bool settled = false;
    // Parsed from exactly the bytes on disk (it holds them), so a read
    // returns what the file holds, never what a write was asked to store.
    std::shared_ptr<const IniDocument> document;
};

PrivateProfileStore::PrivateProfileStore() = default;
PrivateProfileStore::~PrivateProfileStore() = default;

PrivateProfileStore::Snapshot PrivateProfileStore::load(const QString& path)
{
    m_lastError.clear();
    const QByteArray native = QFile::encodeName(path);
    struct stat status {};
    if (::stat(native.constData(), &status) != 0) {
        const int error = errno;
        m_cache.erase(path);
        if (error == ENOENT || error == ENOTDIR)
            return {FileState::Missing, nullptr};
        m_lastError = systemError(QStringLiteral("Cannot read %1"), path, error);
        return {FileState::Unreadable, nullptr};
    }
    const auto cached = m_cache.find(path);
    if (cached != m_cache.end() && cached->second->settled &&
        cached->second->signature == FileSignature::of(status))
        return {FileState::Present, cached->second->document};

    auto fresh = std::make_unique<CachedFile>();
    QByteArray bytes;
    const FileState state = readFile(path, *fresh, bytes);
    if (state != FileState::Present) {
        m_cache.erase(path);
        return {state, nullptr};
    }
    if (cached != m_cache.end() && cached->second->document->serialize() == bytes) {
        fresh->document = cached->second->document;
    } else {
        // The old document goes first, so that a large file is never held
        // twice.
        if (cached != m_cache.end())
            m_cache.erase(cached);
        fresh->document = std::make_shared<const IniDocument>(IniDocument::parse(bytes));
    }
    bytes.clear();
    std::shared_ptr<const IniDocument> document = fresh->document;
    m_cache[path] = std::move(fresh);
    return {FileState::Present, document};
}

PrivateProfileStore::FileState PrivateProfileStore::readFile(const QString& path, CachedFile& into,
                                                             QByteArray& bytes)
{
    const QByteArray native = QFile::encodeName(path);
    for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
        const timespec started = coarseNow();
        // Non-blocking, so that a fifo put in the file's place cannot hang us.
        const UniqueFd file(
            ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
        if (!file) {
            const int error = errno;
            if (error == ENOENT || error == ENOTDIR)
                return FileState::Missing;
            m_lastError = systemError(QStringLiteral("Cannot read %1"), path, error);
            return FileState::Unreadable;
        }
        struct stat before {};
        struct stat after {};
        const QString problem = readOpenFile(file.get(), path, before, bytes, after);
        if (!problem.isEmpty()) {
            m_lastError = problem;
            return FileState::Unreadable;
        }
        into.signature = FileSignature::of(after);
        const bool unchangedWhileRead = FileSignature::of(before) == into.signature &&
                                        bytes.size() == static_cast<qsizetype>(after.st_size);
        into.settled = unchangedWhileRead && isSettled(into.signature, started);
        if (unchangedWhileRead)
            break;
    }
    return FileState::Present;
}

int PrivateProfileStore::getString(const QString& section, const QString& key,
                                   const QString& defaultValue, QString& buffer,
                                   const QString& path)
{
    const Snapshot snapshot = load(path);
    std::optional<QString> value;
    if (snapshot.document)
        value = snapshot.document->value(section, key);
    return fillValue(buffer, value ? *value : defaultValue);
}

int PrivateProfileStore::getSection(const QString& section, QString& buffer, const QString& path)
{
    // Only what the buffer can show is listed, however long the section.
    const Snapshot snapshot = load(path);
    const QStringList entries = snapshot.document
                                    ? snapshot.document->sectionEntries(section, buffer.size())
                                    : QStringList();
    return fillList(buffer, entries, nullptr);
}

int PrivateProfileStore::getSectionNames(QString& buffer, const QString& path, bool* truncated)
{
    const Snapshot snapshot = load(path);
    const QStringList names =
        snapshot.document ? snapshot.document->sectionNames(buffer.size()) : QStringList();
    return fillList(buffer, names, truncated);
}

qint32 PrivateProfileStore::getInt(const QString& section, const QString& key, qint32 defaultValue,
                                   const QString& path)
{
    const Snapshot snapshot = load(path);
    if (!snapshot.document)
        return defaultValue;
    const std::optional<QString> value = snapshot.document->value(section, key);
    if (!value || value->isEmpty())
        return defaultValue;
    return parseProfileInt(*value);
}

QStringList PrivateProfileStore::sectionNames(const QString& path, qsizetype characterLimit)
{
    const Snapshot snapshot = load(path);
    if (!snapshot.document)
        return QStringList();
    return snapshot.document->sectionNames(characterLimit < 0 ? IniDocument::kNoLimit
                                                              : characterLimit);
}

QStringList PrivateProfileStore::addressableSectionNames(const QString& path)
{
    const Snapshot snapshot = load(path);
    return snapshot.document
               ? snapshot.document->sectionNames(IniDocument::kNoLimit, /*skipEmpty=*/true)
               : QStringList();
}

std::optional<QString> PrivateProfileStore::value(const QString& section, const QString& key,
                                                  const QString& path)
{
    const Snapshot snapshot = load(path);
    return snapshot.document ? snapshot.document->value(section, key) : std::nullopt;
}

bool PrivateProfileStore::sameName(const QString& a, const QString& b)
{
    return IniDocument::foldedName(a) == IniDocument::foldedName(b);
}

QString PrivateProfileStore::foldedName(const QString& name)
{
    return IniDocument::foldedName(name);
}

QStringList PrivateProfileStore::sectionEntries(const QString& section, const QString& path)
{
    const Snapshot snapshot = load(path);
    return snapshot.document ? snapshot.document->sectionEntries(section) : QStringList();
}

QString PrivateProfileStore::writeTarget(const QString& path)
{
    // Replacing a symbolic link would cut it off from its file; the file
    // it points to is replaced instead.
    const QFileInfo info(path);
    return info.isSymLink() ? info.symLinkTarget() : path;
}

template <typename Mutation> bool PrivateProfileStore::modify(const QString& path, Mutation mutate)
{
    const QString target = writeTarget(path);
    const Snapshot snapshot = load(target);
    if (snapshot.state == FileState::Unreadable)
        return false; // never replace a file we could not read
    IniDocument document =
        snapshot.document ? *snapshot.document : IniDocument::parse(QByteArray());
    if (!mutate(document))
        return true; // already as asked; the file is not touched
    const QByteArray bytes = document.serialize();
    if (bytes.size() > kMaxFileBytes) {
        m_lastError = QStringLiteral("%1 would grow beyond %2 MiB").arg(target).arg(kMaxFileMiB);
        return false;
    }
    AtomicFileWriter writer;
    if (!writer.replace(target, bytes)) {
        m_lastError = writer.errorText();
        m_cache.erase(target);
        return false;
    }
    // Keep what was written, unsettled: the next call compares the bytes
    // on disk once more instead of parsing them again.
    struct stat status {};
    if (::stat(QFile::encodeName(target).constData(), &status) == 0) {
        auto written = std::make_unique<CachedFile>();
        written->signature = FileSignature::of(status);
        written->document = std::make_shared<const IniDocument>(std::move(document));
        m_cache[target] = std::move(written);
    } else {
        m_cache.erase(target);
    }
    return true;
}

bool PrivateProfileStore::refuses(const QString& section, const QString& key, const QString& value,
                                  const QString& path)
{
    QString refusal = IniDocument::refusalOf(section, key);
    if (refusal.isEmpty() && section.size() + key.size() + value.size() > kMaxFileBytes)
        refusal = QStringLiteral("The value of %1 is too long").arg(key);
    if (refusal.isEmpty())
        return false;
    m_lastError = refusal + QStringLiteral("; %1 is left as it is").arg(path);
    return true;
}

bool PrivateProfileStore::writeString(const QString& section, const QString& key,
                                      const QString& value, const QString& path)
{
    if (refuses(section, key, value, path))
        return false;
    return modify(path,
                  [&](IniDocument& document) { return document.setValue(section, key, value); });
}

bool PrivateProfileStore::writeStrings(const QString& section,
                                       const QList<std::pair<QString, QString>>& keyValues,
                                       const QString& path)
{
    for (const auto& [key, value] : keyValues) {
        if (refuses(section, key, value, path))
            return false;
    }
    return modify(path, [&](IniDocument& document) {
        bool changed = false;
        for (const auto& [key, value] : keyValues)
            changed = document.setValue(section, key, value) || changed;
        return changed;
    });
}

bool PrivateProfileStore::deleteKey(const QString& section, const QString& key, const QString& path)
{
    return modify(path, [&](IniDocument& document) { return document.removeKey(section, key); });
}

bool PrivateProfileStore::deleteSection(const QString& section, const QString& path)
{
    return modify(path, [&](IniDocument& document) { return document.removeSection(section); });
}

} // namespace nms
