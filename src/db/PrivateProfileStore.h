#pragma once

#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "db/FileSignature.h"

namespace nms {

class IniDocument;

// The program's INI store, standing in for the classic private-profile
// calls with their observable contract: case-insensitive section and key
// names, values without surrounding blanks, new sections at the end of the
// file and new keys at the end of their section, replacement in place, and
// the caller's buffer sizes. The file is never held open; each call checks
// it on disk (inode, size, change times) and re-reads it when it changed,
// so a write by another program is seen by the next call. Every write
// replaces the file atomically and keeps every line it does not change.
//
// Buffers: a call that fills a buffer takes a QString whose size() is the
// buffer's length in characters, filled as the caller wants beforehand
// (zero characters or blanks), and writes into it as the platform would.
//
// A missing file reads as missing section and key, and so does a file that
// exists but cannot be read (no permission, I/O error, not a regular file,
// over 64 MiB; lastError() says which); reading never creates the file. A
// write to a file that cannot be read fails and leaves it untouched, and so
// does a write that would make the file larger than 64 MiB. Holding a file
// costs its bytes and a few bytes per section and entry line, however many
// blank lines it has.
class PrivateProfileStore {
public:
    PrivateProfileStore();
    ~PrivateProfileStore();
    PrivateProfileStore(const PrivateProfileStore&) = delete;
    PrivateProfileStore& operator=(const PrivateProfileStore&) = delete;

    // GetPrivateProfileString: the key's value (or the default when the
    // section or key is missing), cut to buffer.size() - 1 characters and
    // followed by a zero character. Returns the count of characters copied.
    int getString(const QString& section, const QString& key, const QString& defaultValue,
                  QString& buffer, const QString& path);
    // GetPrivateProfileSection: every line of the section as key=value, each
    // followed by a zero character, one more after the last. When it does
    // not fit, the list is cut at buffer.size() - 2 characters and ended by
    // two zero characters. Returns the count (0 for a missing or empty
    // section; buffer.size() - 2 when cut).
    int getSection(const QString& section, QString& buffer, const QString& path);
    // GetPrivateProfileSectionNames: the names in file order, cut like a
    // section. `truncated` (optional) tells whether the list was cut.
    int getSectionNames(QString& buffer, const QString& path, bool* truncated = nullptr);
    // GetPrivateProfileInt: the value read as a whole number (optional sign,
    // decimal or a 0x/0o/0b prefix, up to the first other character, 32-bit
    // wrap-around; no digits gives 0), the default when the key is missing
    // or its value empty.
    qint32 getInt(const QString& section, const QString& key, qint32 defaultValue,
                  const QString& path);

    // Every section name in file order, with no buffer limit; or, given a
    // limit, the first names up to the one that reaches it with a zero
    // character after each.
    QStringList sectionNames(const QString& path, qsizetype characterLimit = -1);
    // The same without the empty names of bare "[]" headers, which no one
    // can address; a file of millions of them lists nothing.
    QStringList addressableSectionNames(const QString& path);
    // The entries of a section (key=value or a bare key), with no limit.
    QStringList sectionEntries(const QString& section, const QString& path);
    // The key's whole value, with no buffer limit; nothing when the key or
    // its "=" is missing.
    std::optional<QString> value(const QString& section, const QString& key, const QString& path);
    // True when the store treats both as the same section or key name:
    // NUL, CR and LF count as blanks, ASCII blanks around the name and
    // letter case do not count.
    static bool sameName(const QString& a, const QString& b);
    // The form in which names are compared: equal for the same name.
    static QString foldedName(const QString& name);

    // WritePrivateProfileString with a key and a value. Creates the file,
    // the section and the key as needed. True when the file holds the value.
    // A name that would not read back as given (empty, blanks around the
    // key, a key that reads as a header, a comment or a shorter key, a
    // character outside Latin-1) is refused: nothing is written, false.
    bool writeString(const QString& section, const QString& key, const QString& value,
                     const QString& path);
    // Several keys of one section in one replacement of the file, with the
    // same result as writing them one by one in this order.
    bool writeStrings(const QString& section, const QList<std::pair<QString, QString>>& keyValues,
                      const QString& path);
    // ... with no value: removes the key's line. True also when it was absent.
    bool deleteKey(const QString& section, const QString& key, const QString& path);
    // ... with no key: removes the section with all its lines (every section
    // of that name). True also when it was absent.
    bool deleteSection(const QString& section, const QString& path);

    // Why the last failed read or write of any file failed; empty when the
    // last call succeeded.
    QString lastError() const { return m_lastError; }

private:
    enum class FileState { Present, Missing, Unreadable };
    struct CachedFile;
    struct Snapshot {
        FileState state = FileState::Missing;
        std::shared_ptr<const IniDocument> document;
    };

    Snapshot load(const QString& path);
    FileState readFile(const QString& path, CachedFile& into, QByteArray& bytes);
    bool refuses(const QString& section, const QString& key, const QString& value,
                 const QString& path);
    template <typename Mutation> bool modify(const QString& path, Mutation mutate);
    static QString writeTarget(const QString& path);

    std::unordered_map<QString, std::unique_ptr<CachedFile>> m_cache;
    QString m_lastError;
};

} // namespace nms
