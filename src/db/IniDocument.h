#pragma once

#include <optional>
#include <vector>

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

namespace nms {

// One INI file held in memory line by line, so that a rewrite reproduces
// every line it does not change byte for byte. Bytes are Latin-1, one byte
// per character.
//
// Reading rules: a line "[name]" opens a section (text after "]" is ignored);
// "key=value" is an entry, split at the first "="; a line without "=" is a
// bare entry (listed with its section, but it has no value); blank lines and
// lines starting with ";" are kept but never listed. Lines before the first
// section belong to no section and cannot be addressed. Names and values are
// read without surrounding blanks (space, tab, CR, LF, VT, FF; a non-breaking
// space is part of a name). Section and key names are matched without regard
// to letter case. When a name stands twice, reads and writes use its first
// occurrence; removing a section removes every section of that name.
//
// Writing rules: a new key goes after the last entry of its section (so the
// blank lines and comments that separate it from the next section stay where
// they are), a new section at the end of the file, a changed value replaces
// the value of the first matching line in place. CR, LF and NUL in names and
// values are written as blanks, so no text can add lines to the file.
//
// Line ends: every line is written with the line end of the file's first
// line (CRLF or LF; LF for a file without one), and the last line always
// gets one. A UTF-8 byte-order mark at the start is skipped and kept.
class IniDocument {
public:
    static IniDocument parse(const QByteArray& bytes);
    QByteArray serialize() const;

    // The value of the key, or nothing when the section, the key or its "="
    // is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // The entries of the section in file order: "key=value", or the bare key
    // of a line without "=". Empty for a missing section.
    QStringList sectionEntries(const QString& section) const;
    // Every section name in file order, duplicates included, as written.
    QStringList sectionNames() const;

    // Each returns true when the document changed.
    bool setValue(const QString& section, const QString& key, const QString& value);
    bool removeKey(const QString& section, const QString& key);
    bool removeSection(const QString& section);

    // CR, LF and NUL replaced by blanks.
    static QString neutralised(const QString& text);

private:
    enum class LineKind { Blank, Comment, Header, Entry, BareEntry };
    struct Line {
        LineKind kind = LineKind::Blank;
        QByteArray raw; // without its line end
        QString name;   // section name or key, without surrounding blanks
        QString folded; // name, case-folded for matching
        QString value;  // entry value, without surrounding blanks
    };
    struct Section {
        QString name;
        QString folded;
        // For a real section lines[0] is its header; the first section of
        // the document is the headerless preamble.
        std::vector<Line> lines;
    };

    static Line parseLine(const QByteArray& raw);
    static Line makeEntry(const QString& key, const QString& value);
    static Line makeHeader(const QString& name);
    Line makeCheckedEntry(const QString& key, const QString& value);
    void applyValue(const QString& section, const QString& key, const QString& value);
    static QString foldedName(const QString& name);
    void appendLine(Line line);
    void rebuildIndex();
    int findSection(const QString& section) const;
    static int findEntry(const Section& section, const QString& foldedKey);
    static int insertPositionForNewKey(const Section& section);

    std::vector<Section> m_sections;
    QHash<QString, int> m_firstSectionByName;
    QByteArray m_byteOrderMark;
    QByteArray m_lineEnd = "\n";
    // Scratch state of the running setValue.
    bool m_changed = false;
    bool m_consistent = true;
};

} // namespace nms
