#pragma once

#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace nms {

// One INI file held in memory as its bytes, with the offsets of the lines
// that matter (section headers and entries), so that a rewrite reproduces
// every line it does not change byte for byte, and a file of millions of
// blank lines costs no more than its bytes. Bytes are Latin-1, one byte per
// character.
//
// Reading rules: a line "[name]" opens a section (the last "]" closes the
// name; a header without one takes the rest of the line); "key=value" is an
// entry, split at the first "="; a line without "=" is a bare entry (listed
// with its section, but it has no value); blank lines and lines starting
// with ";" are kept but never listed. Lines before the first section belong
// to no section and cannot be addressed. Lines end at LF; the CRs before it
// belong to the line end. NUL, CR and LF in names and values read as blanks,
// and names and values are read without surrounding ASCII blanks (space,
// tab, CR, LF, VT, FF, NUL; a non-breaking space is part of a name). Section
// and key names are matched without regard to letter case. When a name
// stands twice, reads and writes use its first occurrence; removing a
// section or a key removes every occurrence of its name.
//
// Writing rules: a new key goes after the last entry of its section (so the
// blank lines and comments that separate it from the next section stay where
// they are), a new section at the end of the file, a changed value replaces
// the first matching line in place. CR, LF and NUL in values are written as
// blanks, so no text can add lines to the file; a character outside Latin-1
// is written as "?", and reads return the "?" as well. Names that would not
// read back as given are refused by the caller (refusalOf) before a write.
//
// Line ends: a written line gets the line end of the file's first line
// (CRLF or LF; LF for a file without one), and a changed file always ends
// with a line end. A UTF-8 byte-order mark at the start is skipped and kept.
class IniDocument {
public:
    static constexpr qsizetype kNoLimit = std::numeric_limits<qsizetype>::max();

    static IniDocument parse(const QByteArray& bytes);
    // The file's bytes; after a change, with a line end after the last line.
    QByteArray serialize() const { return m_bytes; }

    // The value of the key, or nothing when the section, the key or its "="
    // is missing.
    std::optional<QString> value(const QString& section, const QString& key) const;
    // The entries of the section in file order: "key=value", or the bare key
    // of a line without "=". Empty for a missing section. Listing stops once
    // the entries and a separator after each reach characterLimit.
    QStringList sectionEntries(const QString& section, qsizetype characterLimit = kNoLimit) const;
    // Every section name in file order, duplicates included, as written;
    // with skipEmpty, names that are empty (a bare "[]") are left out.
    // Listing stops like sectionEntries.
    QStringList sectionNames(qsizetype characterLimit = kNoLimit, bool skipEmpty = false) const;

    // Each returns true when the document changed. setValue expects names
    // that refusalOf accepts.
    bool setValue(const QString& section, const QString& key, const QString& value);
    bool removeKey(const QString& section, const QString& key);
    bool removeSection(const QString& section);

    // Why a value written under this section and key could not be read back
    // under the same names (empty, blanks around the key, a key that would
    // read as a header, a comment or a shorter key, a character outside
    // Latin-1); empty when it can.
    static QString refusalOf(const QString& section, const QString& key);
    // The form in which names are matched: NUL, CR and LF read as blanks,
    // ASCII blanks around the name dropped, letters case-folded. Two names
    // are the same exactly when their folded forms are equal.
    static QString foldedName(const QString& name);
    // CR, LF and NUL replaced by blanks.
    static QString neutralised(const QString& text);

private:
    using Offset = std::uint32_t;
    enum class LineKind { Blank, Comment, Header, Entry, BareEntry };
    struct LineView {
        LineKind kind = LineKind::Blank;
        qsizetype begin = 0;
        qsizetype contentEnd = 0; // before the line end (LF and the CRs before it)
        qsizetype next = 0;       // start of the next line
        qsizetype nameBegin = 0;  // name without surrounding blanks
        qsizetype nameEnd = 0;
        qsizetype valueBegin = 0; // value without surrounding blanks
        qsizetype valueEnd = 0;
    };
    struct IndexSlot {
        std::uint32_t hash = 0;
        Offset section = kNoSection;
    };
    static constexpr Offset kNoSection = std::numeric_limits<Offset>::max();

    static LineView viewOf(const char* data, qsizetype size, qsizetype begin);
    LineView lineAt(qsizetype lineIndex) const;
    LineView headerOf(qsizetype section) const;
    qsizetype sectionCount() const { return static_cast<qsizetype>(m_headers.size()); }
    qsizetype firstLineOf(qsizetype section) const;
    qsizetype endLineOf(qsizetype section) const;
    qsizetype sectionEndOffset(qsizetype section) const;
    QString textAt(qsizetype begin, qsizetype end) const;
    bool sameAsFolded(qsizetype begin, qsizetype end, const QString& folded) const;
    bool sameRanges(qsizetype a, qsizetype aEnd, qsizetype b, qsizetype bEnd) const;
    std::uint32_t hashOfRange(qsizetype begin, qsizetype end) const;

    qsizetype findSection(const QString& section) const;
    qsizetype findEntry(qsizetype section, const QString& foldedKey) const;
    void indexSection(qsizetype section);
    void growIndex();
    void adopt(QByteArray bytes);
    QByteArray lineFor(const QByteArray& key, const QByteArray& value) const;
    QByteArray withoutRanges(const std::vector<std::pair<qsizetype, qsizetype>>& ranges) const;

    QByteArray m_bytes;
    qsizetype m_firstLine = 0; // after the byte-order mark
    QByteArray m_lineEnd = "\n";
    // Start of every header and entry line, in file order.
    std::vector<Offset> m_lines;
    // For each section, the index in m_lines of its header.
    std::vector<Offset> m_headers;
    // Open addressing from the folded name to the first section of that
    // name; one slot per distinct name at most half full.
    std::vector<IndexSlot> m_index;
    qsizetype m_indexed = 0;
};

} // namespace nms
