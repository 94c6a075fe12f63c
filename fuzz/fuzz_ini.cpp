// The INI store against any file an editor can leave behind. The fuzz bytes
// are written as nms.ini; every read routine runs over them, then four writes
// follow: set a key, delete a key, rename a key, rename a section. Each write
// must read back as written and leave every section it was not aimed at as it
// was, line for line; the read routines must agree with each other.
//
// The writes aim at the file's first section and its first key. The new key,
// value, new key name and new section name come from the first four lines
// before the first section (which no call can address), a leading ";" dropped
// so that a name may start with "[".
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

std::unique_ptr<QTemporaryDir> g_directory;

// NUL reads as a blank too.
bool isBlank(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0;
}

QString trimmedAscii(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isBlank(text[end - 1].unicode()))
        --end;
    return text.mid(begin, end - begin);
}

QString neutralised(QString text)
{
    for (QChar& c : text) {
        if (c.unicode() == 0 || c.unicode() == '\r' || c.unicode() == '\n')
            c = QLatin1Char(' ');
    }
    return text;
}

// What a read returns after a write of this value: NUL, CR and LF are
// blanks, and only ASCII blanks are trimmed.
QString stored(const QString& value)
{
    return trimmedAscii(neutralised(value));
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
    if (name.isEmpty() || trimmedAscii(name) != name)
        return false;
    for (QChar c : name) {
        if (!c.isLetterOrNumber() && !QStringLiteral(" _-.").contains(c))
            return false;
    }
    return true;
}

QString keyOf(const QString& entry)
{
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    return equals < 0 ? entry : entry.left(equals);
}

// ---- The file as lines and blocks, read independently of the store ----

struct FileLines {
    bool byteOrderMark = false;
    QList<QByteArray> lines; // each with its line end, byte for byte
};

// The line end the store gives a line it writes: that of the first line.
QByteArray lineEndOf(const QByteArray& bytes)
{
    const qsizetype first = bytes.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
    const qsizetype newline = bytes.indexOf('\n', first);
    return newline > first && bytes[newline - 1] == '\r' ? QByteArray("\r\n") : QByteArray("\n");
}

// A last line without a line end gets `lineEnd`, as a changed file does.
FileLines linesOf(const QByteArray& bytes, const QByteArray& lineEnd)
{
    FileLines file;
    qsizetype pos = 0;
    if (bytes.startsWith(kByteOrderMark)) {
        file.byteOrderMark = true;
        pos = kByteOrderMark.size();
    }
    while (pos < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        if (newline < 0) {
            file.lines << bytes.mid(pos) + lineEnd;
            break;
        }
        file.lines << bytes.mid(pos, newline + 1 - pos);
        pos = newline + 1;
    }
    return file;
}

qsizetype firstNonBlank(const QByteArray& line)
{
    qsizetype start = 0;
    while (start < line.size() && isBlank(static_cast<unsigned char>(line[start])))
        ++start;
    return start;
}

bool isHeader(const QByteArray& line)
{
    const qsizetype start = firstNonBlank(line);
    return start < line.size() && line[start] == '[';
}

QString headerName(const QByteArray& line)
{
    const qsizetype start = firstNonBlank(line);
    qsizetype close = line.lastIndexOf(']');
    if (close <= start)
        close = line.size();
    return QString::fromLatin1(line.mid(start + 1, close - start - 1));
}

// Block 0 holds the lines before the first header; every other block starts
// with its header line.
std::vector<QList<QByteArray>> blocksOf(const FileLines& file)
{
    std::vector<QList<QByteArray>> blocks(1);
    for (const QByteArray& line : file.lines) {
        if (isHeader(line))
            blocks.emplace_back();
        blocks.back() << line;
    }
    return blocks;
}

// The blocks whose section name is not among the excluded ones.
std::vector<QList<QByteArray>> blocksOutside(const std::vector<QList<QByteArray>>& blocks,
                                             const QStringList& excludedFolded)
{
    std::vector<QList<QByteArray>> kept;
    for (size_t i = 1; i < blocks.size(); ++i) {
        if (!excludedFolded.contains(folded(headerName(blocks[i].front()))))
            kept.push_back(blocks[i]);
    }
    return kept;
}

QString describe(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.left(300).toHex(' '));
}

// ---- One input's run ----

class IniRun {
public:
    explicit IniRun(const QString& path)
        : m_path(path)
        , m_ini(m_store)
    {
    }

    void run(const QByteArray& bytes);

private:
    struct Snapshot {
        QByteArray bytes;
        QStringList names; // first of each folded name
        QList<QStringList> entries;
    };

    QByteArray fileBytes() const;
    std::optional<QString> fullRead(const QString& section, const QString& key);
    Snapshot snapshot();
    void requireOthersUntouched(const Snapshot& before, const QStringList& touched,
                                const char* operation);
    void requireNoTemporaryFiles();

    void checkReads();
    void checkSectionReads(const QString& section);
    void setKey(const QString& section, const QString& key, const QString& value);
    void deleteKey(const QString& section, const QString& key);
    void renameKey(const QString& section, const QString& key, const QString& newKey);
    void renameSection(const QString& section, const QString& newSection);

    QString m_path;
    qsizetype m_longestValue = 0;
    PrivateProfileStore m_store;
    IniRoutines m_ini;
};

QByteArray IniRun::fileBytes() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

std::optional<QString> IniRun::fullRead(const QString& section, const QString& key)
{
    // A buffer larger than the file holds any value whole; the writes add
    // no more than the input's length.
    QString buffer(m_longestValue, QChar(0));
    const int count = m_store.getString(section, key, kMissing, buffer, m_path);
    const QString value = buffer.left(count);
    if (value == kMissing)
        return std::nullopt;
    return value;
}

IniRun::Snapshot IniRun::snapshot()
{
    Snapshot s;
    s.bytes = fileBytes();
    QStringList seen;
    for (const QString& name : m_store.sectionNames(m_path)) {
        if (seen.contains(folded(name)))
            continue;
        seen << folded(name);
        s.names << name;
        s.entries << m_store.sectionEntries(name, m_path);
        if (s.names.size() == kSectionsCompared)
            break;
    }
    return s;
}

void IniRun::requireOthersUntouched(const Snapshot& before, const QStringList& touched,
                                    const char* operation)
{
    QStringList excluded;
    for (const QString& name : touched)
        excluded << folded(name);
    const QByteArray after = fileBytes();
    const QByteArray lineEnd = lineEndOf(before.bytes);
    const FileLines beforeLines = linesOf(before.bytes, lineEnd);
    const FileLines afterLines = linesOf(after, lineEnd);
    const auto beforeBlocks = blocksOf(beforeLines);
    const auto afterBlocks = blocksOf(afterLines);
    const QString detail =
        QStringLiteral("%1; touched %2; file after: %3")
            .arg(QLatin1String(operation), shown(touched.join(QLatin1Char('|'))), describe(after));
    require(beforeLines.byteOrderMark == afterLines.byteOrderMark, "a write changed the BOM",
            detail);
    require(beforeBlocks.front() == afterBlocks.front(),
            "a write changed the lines before the first section", detail);
    require(blocksOutside(beforeBlocks, excluded) == blocksOutside(afterBlocks, excluded),
            "a write changed, added or removed lines of a section it was not aimed at", detail);
    for (qsizetype i = 0; i < before.names.size(); ++i) {
        if (excluded.contains(folded(before.names[i])))
            continue;
        require(m_store.sectionEntries(before.names[i], m_path) == before.entries[i],
                "a write changed what a section it was not aimed at reads",
                detail + QStringLiteral("; section ") + shown(before.names[i]));
    }
    requireNoTemporaryFiles();
}

void IniRun::requireNoTemporaryFiles()
{
    const QStringList files =
        QDir(QFileInfo(m_path).absolutePath())
            .entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    require(files == QStringList{QStringLiteral("nms.ini")}, "a write left a file behind",
            files.join(QLatin1Char(' ')));
}

void IniRun::checkReads()
{
    const QStringList names = m_store.sectionNames(m_path);
    QStringList addressable;
    qsizetype listLength = 1;
    for (const QString& name : names) {
        listLength += name.size() + 1;
        if (!name.isEmpty())
            addressable << name;
    }
    QStringList listed;
    m_ini.LoadIniSectionsLB(listed, m_path);
    require(listed == addressable, "LoadIniSectionsLB does not list the sections");
    const QStringList array = m_ini.LoadIniSectionsArray(m_path);
    require(array == addressable.mid(0, array.size()),
            "LoadIniSectionsArray lists a name that is not a section",
            shown(array.join(QLatin1Char('|'))));
    if (listLength <= kNamesArrayBuffer)
        require(array == addressable, "LoadIniSectionsArray leaves out a section that fits");

    QStringList seen;
    for (const QString& name : names) {
        if (seen.contains(folded(name)))
            continue;
        seen << folded(name);
        checkSectionReads(name);
        if (seen.size() == kSectionsChecked)
            break;
    }
}

void IniRun::checkSectionReads(const QString& section)
{
    const QStringList entries = m_store.sectionEntries(section, m_path);
    const QString where = QStringLiteral("section ") + shown(section);
    require(m_ini.CheckIfIniSectionExists(section, m_path) == !entries.isEmpty(),
            "CheckIfIniSectionExists disagrees with the section's entries", where);
    qsizetype listLength = 1;
    bool nulInEntries = false;
    bool controlInKeys = false;
    for (const QString& entry : entries) {
        listLength += entry.size() + 1;
        nulInEntries = nulInEntries || entry.contains(QChar(0));
        controlInKeys = controlInKeys || neutralised(keyOf(entry)) != keyOf(entry);
    }
    const qint16 count = m_ini.GetSectionKeyCount(section, m_path);
    if (listLength <= kReadBuffer)
        require(count == entries.size(), "GetSectionKeyCount does not count the entries",
                where + QStringLiteral(": %1 for %2").arg(count).arg(entries.size()));
    else
        require(count <= entries.size(), "GetSectionKeyCount counts more keys than there are",
                where);
    QStringList keys;
    m_ini.LoadIniSectionKeysLB(section, keys, m_path);
    if (listLength <= kReadBuffer && !nulInEntries) {
        QStringList expected;
        for (const QString& entry : entries)
            expected << keyOf(entry);
        require(keys == expected, "LoadIniSectionKeysLB does not list the keys", where);
    }

    for (qsizetype i = 0; i < std::min<qsizetype>(entries.size(), kEntriesChecked); ++i) {
        const QString key = keyOf(entries[i]);
        const std::optional<QString> value = fullRead(section, key);
        const QString detail = where + QStringLiteral(" key ") + shown(key);
        require(m_ini.ReadFromINI(section, key, m_path, kMissing) ==
                    (value ? value->left(kReadBuffer - 1) : kMissing),
                "ReadFromINI is not the value cut to 749 characters", detail);
        require(m_ini.CheckIfIniKeyExists(section, key, m_path) == value.has_value(),
                "CheckIfIniKeyExists disagrees with a read", detail);
        m_ini.GetLongFromINI(section, key, m_path);
        if (controlInKeys)
            continue;
        // The first entry of the name decides; a bare one has no value.
        std::optional<QString> expected;
        for (const QString& entry : entries) {
            if (folded(keyOf(entry)) != folded(key))
                continue;
            if (entry.contains(QLatin1Char('=')))
                expected = entry.mid(entry.indexOf(QLatin1Char('=')) + 1);
            break;
        }
        require(value == expected, "a read does not return the key's first entry", detail);
    }
}

void IniRun::setKey(const QString& section, const QString& key, const QString& value)
{
    const Snapshot before = snapshot();
    const QStringList entriesBefore = m_store.sectionEntries(section, m_path);
    const QString detail =
        QStringLiteral("[%1] %2=%3").arg(shown(section), shown(key), shown(value));
    if (!m_ini.WriteToINI(section, key, value, m_path)) {
        require(fileBytes() == before.bytes, "a refused write changed the file", detail);
        require(!isPlainName(key) || !isPlainName(section), "a plain key was refused", detail);
        return;
    }
    const std::optional<QString> read = fullRead(section, key);
    require(read == stored(value), "a written key does not read back",
            detail + QStringLiteral(" read ") + shown(read.value_or(QStringLiteral("(missing)"))) +
                QStringLiteral("; file ") + describe(fileBytes()));
    const QStringList entriesAfter = m_store.sectionEntries(section, m_path);
    if (entriesAfter.size() == entriesBefore.size()) {
        int changed = 0;
        for (qsizetype i = 0; i < entriesAfter.size(); ++i)
            changed += entriesAfter[i] != entriesBefore[i];
        require(changed <= 1, "setting one key changed other keys of its section", detail);
    } else {
        require(entriesAfter.size() == entriesBefore.size() + 1 &&
                    entriesAfter.mid(0, entriesBefore.size()) == entriesBefore,
                "a new key changed the keys before it", detail);
    }
    requireOthersUntouched(before, {section}, "set key");
}

void IniRun::deleteKey(const QString& section, const QString& key)
{
    const Snapshot before = snapshot();
    const QStringList entriesBefore = m_store.sectionEntries(section, m_path);
    const QString detail = QStringLiteral("[%1] %2").arg(shown(section), shown(key));
    require(m_ini.DeleteIniKey(section, key, m_path), "deleting a key failed", detail);
    require(!fullRead(section, key).has_value(), "a deleted key still reads", detail);
    // What is left is the section less some copies of the key.
    const QStringList entriesAfter = m_store.sectionEntries(section, m_path);
    qsizetype next = 0;
    for (const QString& entry : entriesBefore) {
        if (next < entriesAfter.size() && entriesAfter[next] == entry)
            ++next;
        else
            require(folded(keyOf(entry)) == folded(key), "deleting a key removed another",
                    detail + QStringLiteral(": ") + shown(entry));
    }
    require(next == entriesAfter.size(), "deleting a key added an entry", detail);
    requireOthersUntouched(before, {section}, "delete key");
}

void IniRun::renameKey(const QString& section, const QString& key, const QString& newKey)
{
    const Snapshot before = snapshot();
    const std::optional<QString> value = fullRead(section, key);
    const QString detail =
        QStringLiteral("[%1] %2 -> %3").arg(shown(section), shown(key), shown(newKey));
    const bool renamed = m_ini.RenameIniKey(section, key, newKey, m_path);
    if (!value || folded(key) == folded(newKey)) {
        require(renamed && fileBytes() == before.bytes,
                "renaming an absent key, or to its own name, changed the file", detail);
        return;
    }
    if (renamed) {
        const std::optional<QString> moved = fullRead(section, newKey);
        require(moved == stored(*value), "a renamed key lost its value",
                detail + QStringLiteral(": ") + shown(moved.value_or(QStringLiteral("(missing)"))));
        require(!fullRead(section, key).has_value(), "the old key survived its rename", detail);
    } else {
        require(fullRead(section, key) == value, "a failed rename lost the old key", detail);
    }
    requireOthersUntouched(before, {section}, "rename key");
}

void IniRun::renameSection(const QString& section, const QString& newSection)
{
    const Snapshot before = snapshot();
    const QStringList entries = m_store.sectionEntries(section, m_path);
    QList<std::pair<QString, QString>> values;
    for (const QString& entry : entries) {
        const QString key = keyOf(entry);
        if (const std::optional<QString> value = fullRead(section, key))
            values.append({key, *value});
    }
    const QString detail = QStringLiteral("[%1] -> [%2]").arg(shown(section), shown(newSection));
    const bool renamed = m_ini.RenameIniSection(section, newSection, m_path);
    if (folded(section) == folded(newSection)) {
        require(renamed && fileBytes() == before.bytes,
                "renaming a section to its own name changed the file", detail);
        return;
    }
    if (renamed) {
        for (const auto& [key, value] : values) {
            const std::optional<QString> moved = fullRead(newSection, key);
            require(moved == stored(value), "a renamed section changed a value",
                    detail + QStringLiteral(" key ") + shown(key) + QStringLiteral(": ") +
                        shown(moved.value_or(QStringLiteral("(missing)"))) +
                        QStringLiteral(" for ") + shown(value));
        }
        require(m_store.sectionEntries(section, m_path).isEmpty(),
                "the old section survived its rename", detail);
    } else {
        require(m_store.sectionEntries(section, m_path) == entries,
                "a failed section rename changed the old section", detail);
    }
    requireOthersUntouched(before, {section, newSection}, "rename section");
}

// The lines before the first section, one leading ";" dropped from each.
QStringList parametersOf(const QByteArray& bytes)
{
    QStringList parameters;
    const auto blocks = blocksOf(linesOf(bytes, QByteArray()));
    for (QByteArray line : blocks.front()) {
        if (line.endsWith('\n'))
            line.chop(1);
        while (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith(';'))
            line.remove(0, 1);
        parameters << QString::fromLatin1(line);
    }
    return parameters;
}

void IniRun::run(const QByteArray& bytes)
{
    m_longestValue = 2 * bytes.size() + 16;
    require(IniDocument::parse(bytes).serialize() == bytes, "reading the file changes its bytes");
    {
        QFile file(m_path);
        require(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(bytes) == bytes.size(),
                "cannot write the input file");
    }
    checkReads();

    const QStringList parameters = parametersOf(bytes);
    const auto parameter = [&](int index, const char* fallback) {
        return index < parameters.size() ? parameters[index] : QString::fromLatin1(fallback);
    };
    const QStringList names = m_store.sectionNames(m_path);
    const QString section = names.isEmpty() ? QStringLiteral("S") : names.front();
    const auto firstKey = [&](const QString& fallback) {
        const QStringList entries = m_store.sectionEntries(section, m_path);
        return entries.isEmpty() ? fallback : keyOf(entries.front());
    };

    setKey(section, parameter(0, "KEY"), parameter(1, "value"));
    deleteKey(section, firstKey(parameter(0, "KEY")));
    renameKey(section, firstKey(parameter(0, "KEY")), parameter(2, "NEWKEY"));
    renameSection(section, parameter(3, "Renamed"));
    checkReads();
}

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
