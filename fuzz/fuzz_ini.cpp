// The INI store against any file an editor can leave behind. The fuzz bytes
// are written as nms.ini; every read routine runs over them, then four writes
// follow: set a key, delete a key, rename a key, rename a section. Each write
// must read back as written and leave every section it was not aimed at as it
// was, line for line, with no file left beside nms.ini; a refused write must
// leave the file as it was; the read routines must agree with each other.
//
// The writes aim at the file's first section and its first key. The new key,
// value, new key name and new section name come from the first four lines
// before the first section (which no call can address), a leading ";" dropped
// so that a name may start with "[".
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "db/IniDocument.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"

using namespace nms;
using nms::fuzz::require;
using nms::fuzz::shown;

namespace {

constexpr int kReadBuffer = 750;
constexpr int kNamesArrayBuffer = 1024;
// Every call reads the file again, so the checks that go through the store
// look at a few sections and keys; the line-by-line comparison covers all.
constexpr int kSectionsChecked = 4;
constexpr int kEntriesChecked = 4;
constexpr int kSectionsCompared = 16;
// No Latin-1 file can hold it, so it tells a missing key from any value.
const QString kMissing = QString(QChar(0xFFFF));
const QByteArray kByteOrderMark("\xEF\xBB\xBF");
using Value = std::optional<QString>;
using Block = QList<QByteArray>;

std::unique_ptr<QTemporaryDir> g_directory;

// The store's own blank trimming is modelled here, not reused: NUL reads as
// a blank too.
bool isBlank(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0;
}

// NUL, CR and LF as blanks, as a written value has them.
QString neutralised(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() == 0 || c.unicode() == '\r' || c.unicode() == '\n')
            c = QLatin1Char(' ');
    }
    return text;
}

// What a read returns after a write of this value: only ASCII blanks are
// trimmed.
QString stored(const QString& value)
{
    const QString text = neutralised(value);
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isBlank(text[end - 1].unicode()))
        --end;
    return text.mid(begin, end - begin);
}

// The store's name folding: as stored, and letter case does not count.
QString folded(const QString& name)
{
    return stored(name).toCaseFolded();
}

// Letters, digits, "_", "-", "." and blanks between them: a name no store
// may refuse.
bool isPlainName(const QString& name)
{
    if (name.isEmpty() || stored(name) != name)
        return false;
    for (QChar c : name) {
        if (!c.isLetterOrNumber() && !QStringLiteral(" _-.").contains(c))
            return false;
    }
    return true;
}

QString keyOf(const QString& entry)
{
    return entry.section(QLatin1Char('='), 0, 0);
}

// The file as blocks of lines, read independently of the store, each line
// with its line end byte for byte. Block 0 holds the byte order mark, if any,
// and the lines before the first header (a line whose first non-blank is
// "["); every other block starts with its header. A last line without a line
// end gets `lineEnd`, as a changed file does.
std::vector<Block> blocksOf(const QByteArray& bytes, const QByteArray& lineEnd)
{
    std::vector<Block> blocks(1);
    const bool byteOrderMark = bytes.startsWith(kByteOrderMark);
    if (byteOrderMark)
        blocks[0] << kByteOrderMark;
    for (qsizetype pos = byteOrderMark ? kByteOrderMark.size() : 0; pos < bytes.size();) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        const qsizetype end = newline < 0 ? bytes.size() : newline + 1;
        const QByteArray line = bytes.mid(pos, end - pos) + (newline < 0 ? lineEnd : QByteArray());
        pos = end;
        qsizetype start = 0;
        while (start < line.size() && isBlank(static_cast<unsigned char>(line[start])))
            ++start;
        if (start < line.size() && line[start] == '[')
            blocks.emplace_back();
        blocks.back() << line;
    }
    return blocks;
}

QString headerName(const QByteArray& line)
{
    qsizetype start = 0;
    while (start < line.size() && isBlank(static_cast<unsigned char>(line[start])))
        ++start;
    qsizetype close = line.lastIndexOf(']');
    if (close <= start)
        close = line.size();
    return QString::fromLatin1(line.mid(start + 1, close - start - 1));
}

// The blocks whose section name is not among the touched ones.
std::vector<Block> blocksOutside(const std::vector<Block>& blocks, const QStringList& touchedFolded)
{
    std::vector<Block> kept;
    for (size_t i = 1; i < blocks.size(); ++i) {
        if (!touchedFolded.contains(folded(headerName(blocks[i].front()))))
            kept.push_back(blocks[i]);
    }
    return kept;
}

// The line end the store gives a line it writes: that of the first line.
QByteArray lineEndOf(const QByteArray& bytes)
{
    const qsizetype first = bytes.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
    const qsizetype newline = bytes.indexOf('\n', first);
    return newline > first && bytes[newline - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
}

// ---- One input's run ----

class IniRun {
public:
    explicit IniRun(const QString& path)
        : m_path(path)
        , m_ini(m_store)
    {
    }

private:
    QString m_path;
    qsizetype m_longestValue = 0;
    PrivateProfileStore m_store;
    IniRoutines m_ini;
    // The call under test, for every finding's message.
    QString m_call;
    // The file before the write under way, and what the first of each
    // section name read then.
    QByteArray m_before;
    QStringList m_names;
    QList<QStringList> m_entries;

    void check(bool condition, const char* what, const QString& more = QString()) const
    {
        require(condition, what, more.isEmpty() ? m_call : m_call + QStringLiteral("; ") + more);
    }
    QByteArray fileBytes() const
    {
        QFile file(m_path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList entries(const QString& section) { return m_store.sectionEntries(section, m_path); }

    // A buffer larger than the file holds any value whole; the writes add no
    // more than the input's length.
    Value read(const QString& section, const QString& key)
    {
        QString buffer(m_longestValue, QChar(0));
        const QString value =
            buffer.left(m_store.getString(section, key, kMissing, buffer, m_path));
        return value == kMissing ? Value() : Value(value);
    }

    // The first of each folded section name, in file order.
    QStringList distinctSections(int most)
    {
        QStringList names;
        QStringList seen;
        for (const QString& name : m_store.sectionNames(m_path)) {
            if (!seen.contains(folded(name)) && names.size() < most) {
                seen << folded(name);
                names << name;
            }
        }
        return names;
    }

    void startWrite(const QString& call)
    {
        m_call = call;
        m_before = fileBytes();
        m_names = distinctSections(kSectionsCompared);
        m_entries.clear();
        for (const QString& name : std::as_const(m_names))
            m_entries << entries(name);
    }

    void requireOthersUntouched(const QStringList& touched)
    {
        QStringList excluded;
        for (const QString& name : touched)
            excluded << folded(name);
        const QByteArray after = fileBytes();
        const QString file =
            QStringLiteral("file after: ") + QString::fromLatin1(after.left(300).toHex(' '));
        const std::vector<Block> beforeFile = blocksOf(m_before, lineEndOf(m_before));
        const std::vector<Block> afterFile = blocksOf(after, lineEndOf(m_before));
        check(beforeFile.front() == afterFile.front(),
              "a write changed the BOM or the lines before the first section", file);
        check(blocksOutside(beforeFile, excluded) == blocksOutside(afterFile, excluded),
              "a write changed, added or removed lines of a section it was not aimed at", file);
        for (qsizetype i = 0; i < m_names.size(); ++i) {
            check(excluded.contains(folded(m_names[i])) || entries(m_names[i]) == m_entries[i],
                  "a write changed what a section it was not aimed at reads", shown(m_names[i]));
        }
        const QStringList files =
            QDir(QFileInfo(m_path).absolutePath())
                .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        check(files == QStringList{QStringLiteral("nms.ini")}, "a write left a file behind",
              files.join(QLatin1Char(' ')));
    }

    void checkReads()
    {
        m_call = QStringLiteral("reading");
        QStringList addressable;
        qsizetype listLength = 1;
        for (const QString& name : m_store.sectionNames(m_path)) {
            listLength += name.size() + 1;
            if (!name.isEmpty())
                addressable << name;
        }
        QStringList listed;
        m_ini.LoadIniSectionsLB(listed, m_path);
        check(listed == addressable, "LoadIniSectionsLB does not list the sections");
        const QStringList array = m_ini.LoadIniSectionsArray(m_path);
        check(array == addressable.mid(0, array.size()),
              "LoadIniSectionsArray lists a name that is not a section");
        check(listLength > kNamesArrayBuffer || array == addressable,
              "LoadIniSectionsArray leaves out a section that fits");
        for (const QString& name : distinctSections(kSectionsChecked))
            checkSectionReads(name);
    }

    void checkSectionReads(const QString& section)
    {
        m_call = QStringLiteral("reading section ") + shown(section);
        const QStringList all = entries(section);
        check(m_ini.CheckIfIniSectionExists(section, m_path) == !all.isEmpty(),
              "CheckIfIniSectionExists disagrees with the section's entries");
        qsizetype listLength = 1;
        bool nulInEntries = false;
        bool controlInKeys = false;
        QStringList keys;
        for (const QString& entry : all) {
            listLength += entry.size() + 1;
            nulInEntries = nulInEntries || entry.contains(QChar(0));
            controlInKeys = controlInKeys || neutralised(keyOf(entry)) != keyOf(entry);
            keys << keyOf(entry);
        }
        const bool fits = listLength <= kReadBuffer;
        const qint16 count = m_ini.GetSectionKeyCount(section, m_path);
        check(fits ? count == all.size() : count <= all.size(),
              "GetSectionKeyCount does not count the entries, or counts more keys than there are");
        QStringList listed;
        m_ini.LoadIniSectionKeysLB(section, listed, m_path);
        check(!fits || nulInEntries || listed == keys,
              "LoadIniSectionKeysLB does not list the keys");

        for (const QString& key : keys.mid(0, kEntriesChecked)) {
            const Value value = read(section, key);
            const QString where = QStringLiteral("key ") + shown(key);
            check(m_ini.ReadFromINI(section, key, m_path, kMissing) ==
                      (value ? value->left(kReadBuffer - 1) : kMissing),
                  "ReadFromINI is not the value cut to 749 characters", where);
            check(m_ini.CheckIfIniKeyExists(section, key, m_path) == value.has_value(),
                  "CheckIfIniKeyExists disagrees with a read", where);
            m_ini.GetLongFromINI(section, key, m_path);
            // The first entry of the name decides; a bare one has no value.
            const auto first = std::find_if(all.begin(), all.end(), [&](const QString& entry) {
                return folded(keyOf(entry)) == folded(key);
            });
            const Value expected = first->contains(QLatin1Char('='))
                                       ? Value(first->section(QLatin1Char('='), 1))
                                       : Value();
            check(controlInKeys || value == expected,
                  "a read does not return the key's first entry", where);
        }
    }

    void setKey(const QString& section, const QString& key, const QString& value)
    {
        startWrite(QStringLiteral("set [%1] %2=%3").arg(shown(section), shown(key), shown(value)));
        const QStringList before = entries(section);
        if (!m_ini.WriteToINI(section, key, value, m_path)) {
            check(fileBytes() == m_before, "a refused write changed the file");
            return check(!isPlainName(key) || !isPlainName(section), "a plain key was refused");
        }
        check(read(section, key) == stored(value), "a written key does not read back");
        const QStringList after = entries(section);
        int changed = 0;
        for (qsizetype i = 0; i < std::min(after.size(), before.size()); ++i)
            changed += after[i] != before[i];
        check(after.size() == before.size() ? changed <= 1
                                            : after.size() == before.size() + 1 && changed == 0,
              "setting one key changed other keys of its section");
        requireOthersUntouched({section});
    }

    void deleteKey(const QString& section, const QString& key)
    {
        startWrite(QStringLiteral("delete [%1] %2").arg(shown(section), shown(key)));
        const QStringList before = entries(section);
        check(m_ini.DeleteIniKey(section, key, m_path), "deleting a key failed");
        check(!read(section, key).has_value(), "a deleted key still reads");
        // What is left is the section less some copies of the key.
        const QStringList after = entries(section);
        qsizetype next = 0;
        for (const QString& entry : before) {
            if (next < after.size() && after[next] == entry)
                ++next;
            else
                check(folded(keyOf(entry)) == folded(key), "deleting a key removed another",
                      shown(entry));
        }
        check(next == after.size(), "deleting a key added an entry");
        requireOthersUntouched({section});
    }

    void renameKey(const QString& section, const QString& key, const QString& newKey)
    {
        startWrite(
            QStringLiteral("rename [%1] %2 -> %3").arg(shown(section), shown(key), shown(newKey)));
        const Value value = read(section, key);
        const bool renamed = m_ini.RenameIniKey(section, key, newKey, m_path);
        if (!value || folded(key) == folded(newKey)) {
            return check(renamed && fileBytes() == m_before,
                         "renaming an absent key, or to its own name, changed the file");
        }
        if (renamed) {
            check(read(section, newKey) == stored(*value), "a renamed key lost its value");
            check(!read(section, key).has_value(), "the old key survived its rename");
        } else {
            check(read(section, key) == value, "a failed rename lost the old key");
        }
        requireOthersUntouched({section});
    }

    void renameSection(const QString& section, const QString& newSection)
    {
        startWrite(QStringLiteral("rename [%1] -> [%2]").arg(shown(section), shown(newSection)));
        const QStringList before = entries(section);
        QList<std::pair<QString, Value>> values;
        for (const QString& entry : before)
            values.append({keyOf(entry), read(section, keyOf(entry))});
        const bool renamed = m_ini.RenameIniSection(section, newSection, m_path);
        if (folded(section) == folded(newSection)) {
            return check(renamed && fileBytes() == m_before,
                         "renaming a section to its own name changed the file");
        }
        if (renamed) {
            for (const auto& [key, value] : values) {
                check(!value || read(newSection, key) == stored(*value),
                      "a renamed section changed a value", shown(key));
            }
            check(entries(section).isEmpty(), "the old section survived its rename");
        } else {
            check(entries(section) == before, "a failed section rename changed the old section");
        }
        requireOthersUntouched({section, newSection});
    }

public:
    void run(const QByteArray& bytes)
    {
        m_longestValue = 2 * bytes.size() + 16;
        require(IniDocument::parse(bytes).serialize() == bytes,
                "reading the file changes its bytes");
        QFile file(m_path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(bytes) == bytes.size(),
                "cannot write the input file");
        file.close();
        checkReads();

        // The lines before the first section, one leading ";" dropped from each.
        QStringList parameters;
        std::vector<Block> head = blocksOf(bytes, QByteArray());
        if (bytes.startsWith(kByteOrderMark))
            head[0].removeFirst();
        for (QByteArray line : head[0]) {
            while (line.endsWith('\n') || line.endsWith('\r'))
                line.chop(1);
            parameters << QString::fromLatin1(line.startsWith(';') ? line.mid(1) : line);
        }
        const char* const fallbacks[] = {"KEY", "value", "NEWKEY", "Renamed"};
        for (qsizetype i = parameters.size(); i < 4; ++i)
            parameters << QString::fromLatin1(fallbacks[i]);
        const QStringList names = m_store.sectionNames(m_path);
        const QString section = names.isEmpty() ? QStringLiteral("S") : names.front();
        const auto firstKey = [&] {
            const QStringList all = entries(section);
            return all.isEmpty() ? parameters[0] : keyOf(all.front());
        };
        setKey(section, parameters[0], parameters[1]);
        deleteKey(section, firstKey());
        renameKey(section, firstKey(), parameters[2]);
        renameSection(section, parameters[3]);
        checkReads();
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_directory = std::make_unique<QTemporaryDir>();
    require(g_directory->isValid(), "cannot make a temporary folder");
    return 0;
}

NMS_FUZZ_TARGET(input)
{
    IniRun(g_directory->filePath(QStringLiteral("nms.ini"))).run(input);
}
