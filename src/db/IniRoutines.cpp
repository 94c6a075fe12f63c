#include "db/IniRoutines.h"

#include <QSet>

#include "db/PrivateProfileStore.h"
#include "db/TextHelpers.h"

namespace nms {
namespace {

constexpr int kBufferSize = 750;
constexpr int kNamesArrayBufferSize = 1024;

QString zeroBuffer(int size)
{
    return QString(size, QChar(0));
}

// The entries of a zero-separated buffer up to the first empty one.
QStringList entriesUpToFirstEmpty(const QString& buffer)
{
    QStringList entries;
    for (const QString& entry : buffer.split(QChar(0))) {
        if (entry.isEmpty())
            break;
        entries << entry;
    }
    return entries;
}

} // namespace

IniRoutines::IniRoutines(PrivateProfileStore& store)
    : m_store(store)
{
}

QString IniRoutines::ReadFromINI(const QString& section, const QString& key, const QString& path,
                                 const QString& defaultValue) const
{
    QString buffer = zeroBuffer(kBufferSize);
    const int count = m_store.getString(section, key.toLower(), defaultValue, buffer, path);
    return buffer.left(count);
}

bool IniRoutines::WriteToINI(const QString& section, const QString& key, const QString& value,
                             const QString& path)
{
    return m_store.writeString(section, text::UpperCaseLatin1(key), value, path);
}

bool IniRoutines::WriteKeysToINI(const QString& section,
                                 const QList<std::pair<QString, QString>>& keysAndValues,
                                 const QString& path)
{
    QList<std::pair<QString, QString>> upperCased;
    upperCased.reserve(keysAndValues.size());
    for (const auto& [key, value] : keysAndValues)
        upperCased.append({text::UpperCaseLatin1(key), value});
    return m_store.writeStrings(section, upperCased, path);
}

QString IniRoutines::lastError() const
{
    return m_store.lastError();
}

bool IniRoutines::DeleteIniSection(const QString& section, const QString& path)
{
    return m_store.deleteSection(section, path);
}

bool IniRoutines::DeleteIniKey(const QString& section, const QString& key, const QString& path)
{
    return m_store.deleteKey(section, key, path);
}

bool IniRoutines::CheckIfIniKeyExists(const QString& section, const QString& key,
                                      const QString& path) const
{
    // A present key gives its value both times; an absent one gives each
    // default in turn.
    return ReadFromINI(section, key, path, QStringLiteral("A")) ==
           ReadFromINI(section, key, path, QStringLiteral("B"));
}

bool IniRoutines::CheckIfIniSectionExists(const QString& section, const QString& path) const
{
    QString buffer = zeroBuffer(kBufferSize);
    return m_store.getSection(section, buffer, path) > 0;
}

qint32 IniRoutines::GetLongFromINI(const QString& section, const QString& key, const QString& path,
                                   qint32 defaultValue) const
{
    return m_store.getInt(section, key, defaultValue, path);
}

bool IniRoutines::RenameIniKey(const QString& section, const QString& key, const QString& newKey,
                               const QString& path)
{
    if (!CheckIfIniKeyExists(section, key, path))
        return true;
    // Renaming to a name the store takes for the same one would delete the
    // line just written.
    if (PrivateProfileStore::sameName(key, text::UpperCaseLatin1(newKey)))
        return true;
    // The whole value: a 750-character read would cut a longer one.
    const QString value = m_store.value(section, key, path).value_or(QString());
    // The old key goes only once its value is safe under the new name.
    return WriteToINI(section, newKey, value, path) && DeleteIniKey(section, key, path);
}

bool IniRoutines::RenameIniSection(const QString& section, const QString& newSection,
                                   const QString& path)
{
    if (PrivateProfileStore::sameName(section, newSection))
        return true;
    // The whole section is copied, however long: a 750-character read would
    // lose the keys beyond it when the old section is deleted.
    QList<std::pair<QString, QString>> copied;
    QSet<QString> seen;
    for (const QString& entry : m_store.sectionEntries(section, path)) {
        // The value is everything after the first "=", so a value holding
        // "=" is copied whole; a line without "=" gets an empty value.
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        const QString key = equals < 0 ? entry : entry.left(equals);
        // A key that stands twice reads as its first copy, and so it is
        // copied.
        if (!seen.contains(PrivateProfileStore::foldedName(key))) {
            seen.insert(PrivateProfileStore::foldedName(key));
            copied.append({key, equals < 0 ? QString() : entry.mid(equals + 1)});
        }
    }
    if (!copied.isEmpty() && !WriteKeysToINI(newSection, copied, path))
        return false; // the old section stays whole
    return DeleteIniSection(section, path);
}

void IniRoutines::LoadIniSectionsLB(QStringList& list, const QString& path) const
{
    // Every name, without the buffer limit, so that a database of hundreds
    // of elements lists them all. A name left empty by a bare "[]" is not
    // a section anyone can address and does not end the list.
    list << m_store.addressableSectionNames(path);
}

QStringList IniRoutines::LoadIniSectionsArray(const QString& path) const
{
    QString buffer(kNamesArrayBufferSize, QLatin1Char(' '));
    bool truncated = false;
    const int count = m_store.getSectionNames(buffer, path, &truncated);
    if (!truncated)
        return buffer.left(count).split(QChar(0), Qt::SkipEmptyParts);
    // The buffer cut the list: keep the names that fit whole. The one cut
    // short names no section.
    QStringList names;
    qsizetype offset = 0;
    for (const QString& name : m_store.sectionNames(path, kNamesArrayBufferSize)) {
        if (offset + name.size() > count)
            break;
        if (!name.isEmpty())
            names << name;
        offset += name.size() + 1;
    }
    return names;
}

void IniRoutines::LoadIniSectionKeysLB(const QString& section, QStringList& list,
                                       const QString& path) const
{
    QString buffer = zeroBuffer(kBufferSize);
    const int count = m_store.getSection(section, buffer, path);
    for (const QString& entry : entriesUpToFirstEmpty(buffer.left(count)))
        list << entry.section(QLatin1Char('='), 0, 0);
}

qint16 IniRoutines::GetSectionKeyCount(const QString& section, const QString& path) const
{
    QString buffer = zeroBuffer(kBufferSize);
    const int count = m_store.getSection(section, buffer, path);
    return static_cast<qint16>(entriesUpToFirstEmpty(buffer.left(count)).size());
}

} // namespace nms
