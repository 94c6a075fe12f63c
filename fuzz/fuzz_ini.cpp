// The INI store against any file an editor can leave behind. The fuzz bytes
// are written as nms.ini, whose sections must all be listed. Then four writes
// follow: set a key, delete a key, rename a key, rename a section. Each must
// read back as written and leave every line it was not aimed at as it was,
// with no file left beside nms.ini; a refused write or one that has nothing
// to do must leave the file as it was.
//
// The writes aim at the file's first section and its first key. The new key,
// value, new key name and new section name come from the first four lines
// before the first section (which no call can address), a leading ";" dropped
// so that a name may start with "[".
#include <algorithm>
#include <optional>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "db/IniDocument.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"

using namespace nms;
using namespace nms::fuzz;

namespace {

const QByteArray kByteOrderMark("\xEF\xBB\xBF");
const QString kNoSection(QChar(0xFFFF)); // no section's name folds to it

struct IniRun {
    QString path;
    PrivateProfileStore store;
    IniRoutines ini{store};
    QByteArray before;
    QStringList sectionBefore;

    // The store's rules, modelled here rather than reused: NUL, CR and LF
    // are written as blanks, ASCII blanks (NUL among them) around a value or
    // name are dropped, letter case does not count in names.
    static QString stored(QString value)
    {
        static const QRegularExpression control(QStringLiteral("[\\x{0}\\r\\n]"));
        static const QRegularExpression ends(QStringLiteral("^[\\t-\\r ]+|[\\t-\\r ]+$"));
        return value.replace(control, QStringLiteral(" ")).remove(ends);
    }
    static QString folded(const QString& name) { return stored(name).toCaseFolded(); }
    static QString keyOf(const QString& entry) { return entry.section(u'=', 0, 0); }
    QStringList entries(const QString& section) { return store.sectionEntries(section, path); }
    std::optional<QString> read(const QString& s, const QString& key)
    {
        return store.value(s, key, path);
    }
    QByteArray fileBytes() const
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // The file's bytes, read independently of the store, less the lines for
    // which skip(section, line) holds. A section runs from its header (a line
    // whose first non-blank is "[") to the next; the byte order mark and the
    // lines before the first header belong to kNoSection. A last line without
    // a line end gets `lineEnd`, as a changed file does.
    template <typename Skip>
    static QByteArray linesOf(const QByteArray& bytes, const QByteArray& lineEnd, Skip skip)
    {
        const qsizetype bom = bytes.startsWith(kByteOrderMark) ? kByteOrderMark.size() : 0;
        QByteArray kept = bytes.left(bom);
        QString section = kNoSection;
        for (qsizetype pos = bom, end = 0; pos < bytes.size(); pos = end) {
            const qsizetype newline = bytes.indexOf('\n', pos);
            end = newline < 0 ? bytes.size() : newline + 1;
            const QByteArray line = bytes.mid(pos, end - pos) + (newline < 0 ? lineEnd : "");
            const QString text = QString::fromLatin1(line);
            const qsizetype open = text.indexOf(u'['), close = text.lastIndexOf(u']');
            const qsizetype length = (close > open ? close : text.size()) - open - 1;
            if (open >= 0 && stored(text.left(open)).isEmpty())
                section = folded(text.mid(open + 1, length));
            if (!skip(section, text))
                kept += line;
        }
        return kept;
    }

    void checkReads()
    {
        const QStringList names = store.sectionNames(path);
        QStringList listed, addressable = names;
        addressable.removeAll(QString());
        ini.LoadIniSectionsLB(listed, path);
        require(listed == addressable, "LoadIniSectionsLB does not list the sections");
    }

    void startWrite(const QString& section)
    {
        before = fileBytes();
        sectionBefore = entries(section);
    }

    // After a write aimed at these keys of the sections (and their headers),
    // or at the whole sections when no key is given: every other line is as
    // it was.
    void requireOthersUntouched(QStringList sections, QStringList keys = {})
    {
        std::transform(keys.begin(), keys.end(), keys.begin(), folded);
        std::transform(sections.begin(), sections.end(), sections.begin(), folded);
        // A written line gets the line end of the file's first line.
        const qsizetype newline = before.indexOf('\n');
        const QByteArray lineEnd = newline > 0 && before[newline - 1] == '\r' ? "\r\n" : "\n";
        const auto untouched = [&](const QByteArray& bytes) {
            return linesOf(bytes, lineEnd, [&](const QString& section, const QString& line) {
                return sections.contains(section) &&
                       (keys.isEmpty() || stored(line).startsWith(u'[') ||
                        keys.contains(folded(keyOf(line))));
            });
        };
        const QByteArray after = fileBytes();
        require(untouched(before) == untouched(after), "a write changed a line not aimed at",
                QString::fromLatin1(after.left(300).toHex(' ')));
        const QStringList files = QFileInfo(path).dir().entryList(
            QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        require(files == QStringList{QStringLiteral("nms.ini")}, "a write left a file behind",
                files.join(u' '));
    }

    void setKey(const QString& section, const QString& key, const QString& value)
    {
        // Letters, digits, "_", "-", "." and blanks between them: no store may refuse it.
        static const QRegularExpression plain(QStringLiteral("^[\\w.-]([\\w .-]*[\\w.-])?$"));
        startWrite(section);
        if (!ini.WriteToINI(section, key, value, path)) {
            return require(fileBytes() == before &&
                               !(plain.match(key).hasMatch() && plain.match(section).hasMatch()),
                           "a refused write changed the file, or a plain key refused", key);
        }
        require(read(section, key) == stored(value), "a written key does not read back", key);
        requireOthersUntouched({section}, {key});
    }

    void deleteKey(const QString& section, const QString& key)
    {
        startWrite(section);
        require(ini.DeleteIniKey(section, key, path) && !read(section, key), "not deleted", key);
        requireOthersUntouched({section}, {key});
    }

    void renameKey(const QString& section, const QString& key, const QString& newKey)
    {
        startWrite(section);
        const auto value = read(section, key);
        const bool renamed = ini.RenameIniKey(section, key, newKey, path);
        if (!value || folded(key) == folded(newKey))
            return require(fileBytes() == before && renamed, "a no-op changed the file", key);
        require(renamed ? read(section, newKey) == stored(*value) && !read(section, key)
                        : read(section, key) == value,
                "a key renamed wrongly", key);
        requireOthersUntouched({section}, {key, newKey});
    }

    void renameSection(const QString& section, const QString& newSection)
    {
        startWrite(section);
        QList<std::optional<QString>> values;
        for (const QString& entry : sectionBefore)
            values << read(section, keyOf(entry));
        const bool renamed = ini.RenameIniSection(section, newSection, path);
        if (folded(section) == folded(newSection))
            return require(fileBytes() == before && renamed, "a no-op changed the file", section);
        for (qsizetype i = 0; i < values.size(); ++i)
            require(!renamed || !values[i] ||
                        read(newSection, keyOf(sectionBefore[i])) == stored(*values[i]),
                    "a section renamed wrongly", sectionBefore[i]);
        require(entries(section) == (renamed ? QStringList() : sectionBefore),
                "a section renamed wrongly", section);
        requireOthersUntouched({section, newSection});
    }

    void run(const QByteArray& bytes)
    {
        require(IniDocument::parse(bytes).serialize() == bytes, "parsing changes the bytes");
        QFile file(path);
        require(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size(),
                "cannot write the input file");
        file.close();
        checkReads();

        const QByteArray head =
            linesOf(bytes, "", [](const QString& section, auto&) { return section != kNoSection; });
        QStringList parameters =
            QString::fromLatin1(head.mid(bytes.startsWith(kByteOrderMark) ? 3 : 0)).split(u'\n');
        if (parameters.back().isEmpty())
            parameters.removeLast();
        parameters.replaceInStrings(QRegularExpression(QStringLiteral("^;|\\r+$")), QString());
        const QString section = store.sectionNames(path).value(0, QStringLiteral("S"));
        const QString newKey = parameters.value(0, QStringLiteral("KEY"));
        const auto firstKey = [&] { return keyOf(entries(section).value(0, newKey)); };
        setKey(section, newKey, parameters.value(1, QStringLiteral("value")));
        deleteKey(section, firstKey());
        renameKey(section, firstKey(), parameters.value(2, QStringLiteral("NEWKEY")));
        renameSection(section, parameters.value(3, QStringLiteral("Renamed")));
        checkReads();
    }
};

} // namespace

NMS_FUZZ_TARGET(input)
{
    static QTemporaryDir directory;
    require(directory.isValid(), "cannot make a temporary folder");
    IniRun run;
    run.path = directory.filePath(QStringLiteral("nms.ini"));
    run.run(input);
}
