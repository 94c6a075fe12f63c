#pragma once

#include <utility>

#include <QList>
#include <QString>
#include <QStringList>

namespace nms {

class PrivateProfileStore;

// The thirteen routines through which the program reads and writes its INI
// database. They keep the observable contract of the classic private-profile
// calls (750-character buffers, case-insensitive names, upper-cased keys on
// write, in the Latin-1-safe upper case so that every key reads back), over
// the project's own store. Writes return whether the file was
// replaced, so callers that must not lose data can tell.
class IniRoutines {
public:
    explicit IniRoutines(PrivateProfileStore& store);

    QString ReadFromINI(const QString& section, const QString& key, const QString& path,
                        const QString& defaultValue = QString()) const;
    bool WriteToINI(const QString& section, const QString& key, const QString& value,
                    const QString& path);
    // A whole record in one replacement of the file: the same file as
    // WriteToINI for each pair in order, with one flush to disk instead of
    // one per key.
    bool WriteKeysToINI(const QString& section,
                        const QList<std::pair<QString, QString>>& keysAndValues,
                        const QString& path);
    bool DeleteIniSection(const QString& section, const QString& path);
    bool DeleteIniKey(const QString& section, const QString& key, const QString& path);
    bool CheckIfIniKeyExists(const QString& section, const QString& key, const QString& path) const;
    bool CheckIfIniSectionExists(const QString& section, const QString& path) const;
    qint32 GetLongFromINI(const QString& section, const QString& key, const QString& path,
                          qint32 defaultValue = 0) const;
    // Both leave the old name in place unless everything was copied, and
    // do nothing when the store takes the new name for the old one (letter
    // case, blanks around it, NUL, CR or LF for a blank). A renamed key or
    // section is copied whole, long values and values holding "=" included;
    // a key that stands twice is copied as a read returns it (its first copy).
    bool RenameIniKey(const QString& section, const QString& key, const QString& newKey,
                      const QString& path);
    bool RenameIniSection(const QString& section, const QString& newSection, const QString& path);
    // Appends every section name to the list, however many; the caller
    // clears it first.
    void LoadIniSectionsLB(QStringList& list, const QString& path) const;
    // The names that fit whole in a 1024-character list (78 of 12
    // characters); a name cut short by it is left out.
    QStringList LoadIniSectionsArray(const QString& path) const;
    // Both see the section through a 750-character list, as the classic
    // calls do: a section longer than that is counted or listed in part.
    void LoadIniSectionKeysLB(const QString& section, QStringList& list, const QString& path) const;
    qint16 GetSectionKeyCount(const QString& section, const QString& path) const;

    // Why the last failed read or write failed (empty after a success). The
    // element list shows it in the box for a database it cannot read.
    QString lastError() const;

private:
    PrivateProfileStore& m_store;
};

} // namespace nms
