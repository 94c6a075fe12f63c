#include "db/IniDocument.h"

#include <array>
#include <cstring>

#include "db/TextHelpers.h"

namespace nms {
namespace {

const QByteArray kUtf8ByteOrderMark("\xEF\xBB\xBF");

// The blanks that surround names and values: ASCII only, so that a
// non-breaking space (0xA0) or NEL (0x85) sent as part of an element name is
// kept; NUL counts because it reads as a blank.
bool isBlank(char16_t c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f' || c == 0;
}

bool isBlankByte(char c)
{
    return isBlank(static_cast<unsigned char>(c));
}

// What a character is matched as: NUL, CR and LF as a blank, letters by
// their case-folded form.
using FoldTable = std::array<char16_t, 256>;

FoldTable makeFoldTable()
{
    FoldTable table{};
    for (int c = 0; c < 256; ++c)
        table[c] = QChar(static_cast<char16_t>(c)).toCaseFolded().unicode();
    table[0] = table['\r'] = table['\n'] = ' ';
    return table;
}

const FoldTable& foldTable()
{
    static const FoldTable table = makeFoldTable();
    return table;
}

char16_t foldUnit(char16_t c)
{
    return c < 256 ? foldTable()[c] : QChar(c).toCaseFolded().unicode();
}

constexpr std::uint32_t kHashSeed = 2166136261u;
constexpr std::uint32_t kHashPrime = 16777619u;

std::uint32_t hashStep(std::uint32_t hash, char16_t unit)
{
    hash = (hash ^ (unit & 0xFF)) * kHashPrime;
    return (hash ^ (unit >> 8)) * kHashPrime;
}

QString trimmedText(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin].unicode()))
        ++begin;
    while (end > begin && isBlank(text[end - 1].unicode()))
        --end;
    return text.mid(begin, end - begin);
}

std::uint32_t hashOf(const QString& folded)
{
    std::uint32_t hash = kHashSeed;
    for (QChar c : folded)
        hash = hashStep(hash, c.unicode());
    return hash;
}

} // namespace

QString IniDocument::neutralised(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c.unicode() == 0)
            c = QLatin1Char(' ');
    }
    return result;
}

QString IniDocument::foldedName(const QString& name)
{
    QString folded = trimmedText(name);
    for (QChar& c : folded)
        c = QChar(foldUnit(c.unicode()));
    return folded;
}

QString IniDocument::refusalOf(const QString& section, const QString& key)
{
    const QString sectionName = trimmedText(neutralised(section));
    if (sectionName.isEmpty())
        return QStringLiteral("An empty section name cannot be written");
    if (!text::IsLatin1(sectionName))
        return QStringLiteral("The section name \"%1\" holds characters the file cannot store")
            .arg(sectionName);
    const QString keyText = neutralised(key);
    const QString keyName = trimmedText(keyText);
    if (keyName.isEmpty())
        return QStringLiteral("An empty key cannot be written");
    if (keyName.size() != keyText.size())
        return QStringLiteral("The key \"%1\" has blanks around it").arg(keyText);
    if (!text::IsLatin1(keyName))
        return QStringLiteral("The key \"%1\" holds characters the file cannot store").arg(keyName);
    // The line must read back as an entry of this very key.
    const QByteArray line = keyName.toLatin1() + '=';
    const LineView view = viewOf(line.constData(), line.size(), 0);
    if (view.kind != LineKind::Entry ||
        view.nameEnd - view.nameBegin != static_cast<qsizetype>(keyName.size()))
        return QStringLiteral("The key \"%1\" would not read back as a key").arg(keyName);
    return QString();
}

IniDocument::LineView IniDocument::viewOf(const char* data, qsizetype size, qsizetype begin)
{
    LineView line;
    line.begin = begin;
    const void* newline = std::memchr(data + begin, '\n', static_cast<size_t>(size - begin));
    const qsizetype lineFeed = newline ? static_cast<const char*>(newline) - data : size;
    line.next = newline ? lineFeed + 1 : size;
    qsizetype end = lineFeed;
    if (newline) {
        while (end > begin && data[end - 1] == '\r')
            --end;
    }
    line.contentEnd = end;
    qsizetype start = begin;
    while (start < end && isBlankByte(data[start]))
        ++start;
    if (start == end)
        return line; // blank
    auto trim = [data](qsizetype& from, qsizetype& to) {
        while (from < to && isBlankByte(data[from]))
            ++from;
        while (to > from && isBlankByte(data[to - 1]))
            --to;
    };
    if (data[start] == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (data[start] == '[') {
        // The last "]" closes the name, so a name holding "]" reads back
        // whole; a header without one takes the rest of the line.
        qsizetype close = end;
        for (qsizetype i = end - 1; i > start; --i) {
            if (data[i] == ']') {
                close = i;
                break;
            }
        }
        line.kind = LineKind::Header;
        line.nameBegin = start + 1;
        line.nameEnd = close;
        trim(line.nameBegin, line.nameEnd);
        return line;
    }
    const void* equals = std::memchr(data + start, '=', static_cast<size_t>(end - start));
    line.nameBegin = start;
    if (!equals) {
        line.kind = LineKind::BareEntry;
        line.nameEnd = end;
    } else {
        line.kind = LineKind::Entry;
        line.nameEnd = static_cast<const char*>(equals) - data;
        line.valueBegin = line.nameEnd + 1;
        line.valueEnd = end;
        trim(line.valueBegin, line.valueEnd);
    }
    trim(line.nameBegin, line.nameEnd);
    return line;
}

IniDocument IniDocument::parse(const QByteArray& bytes)
{
    IniDocument document;
    document.m_bytes = bytes;
    const char* data = bytes.constData();
    const qsizetype size = bytes.size();
    qsizetype pos = 0;
    if (bytes.startsWith(kUtf8ByteOrderMark))
        pos = kUtf8ByteOrderMark.size();
    document.m_firstLine = pos;
    const qsizetype firstNewline = bytes.indexOf('\n', pos);
    if (firstNewline > pos && data[firstNewline - 1] == '\r')
        document.m_lineEnd = "\r\n";

    while (pos < size) {
        // Most lines of a large file are blank or comments: they are
        // skipped without a view of their own.
        qsizetype start = pos;
        while (start < size && data[start] != '\n' && isBlankByte(data[start]))
            ++start;
        if (start == size || data[start] == '\n' || data[start] == ';') {
            const void* newline =
                std::memchr(data + start, '\n', static_cast<size_t>(size - start));
            pos = newline ? static_cast<const char*>(newline) - data + 1 : size;
            continue;
        }
        const LineView line = viewOf(data, size, pos);
        document.m_lines.push_back(static_cast<Offset>(pos));
        if (line.kind == LineKind::Header) {
            document.m_headers.push_back(static_cast<Offset>(document.m_lines.size() - 1));
            document.indexSection(document.sectionCount() - 1);
        }
        pos = line.next;
    }
    return document;
}

IniDocument::LineView IniDocument::lineAt(qsizetype lineIndex) const
{
    return viewOf(m_bytes.constData(), m_bytes.size(), m_lines[lineIndex]);
}

IniDocument::LineView IniDocument::headerOf(qsizetype section) const
{
    return lineAt(m_headers[section]);
}

qsizetype IniDocument::firstLineOf(qsizetype section) const
{
    return m_headers[section] + 1;
}

qsizetype IniDocument::endLineOf(qsizetype section) const
{
    return section + 1 < sectionCount() ? m_headers[section + 1]
                                        : static_cast<qsizetype>(m_lines.size());
}

// Where the section's last line ends: at the next header, or at the end of
// the file, so blank lines and comments before the next section go with it.
qsizetype IniDocument::sectionEndOffset(qsizetype section) const
{
    return section + 1 < sectionCount() ? m_lines[m_headers[section + 1]] : m_bytes.size();
}

QString IniDocument::textAt(qsizetype begin, qsizetype end) const
{
    QString text = QString::fromLatin1(m_bytes.constData() + begin, end - begin);
    for (QChar& c : text) {
        if (c.unicode() == 0 || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    }
    return text;
}

bool IniDocument::sameAsFolded(qsizetype begin, qsizetype end, const QString& folded) const
{
    if (end - begin != folded.size())
        return false;
    const FoldTable& table = foldTable();
    const char* data = m_bytes.constData();
    for (qsizetype i = 0; i < folded.size(); ++i) {
        if (table[static_cast<unsigned char>(data[begin + i])] != folded[i].unicode())
            return false;
    }
    return true;
}

bool IniDocument::sameRanges(qsizetype a, qsizetype aEnd, qsizetype b, qsizetype bEnd) const
{
    if (aEnd - a != bEnd - b)
        return false;
    const FoldTable& table = foldTable();
    const auto* data = reinterpret_cast<const unsigned char*>(m_bytes.constData());
    for (qsizetype i = 0; i < aEnd - a; ++i) {
        if (table[data[a + i]] != table[data[b + i]])
            return false;
    }
    return true;
}

std::uint32_t IniDocument::hashOfRange(qsizetype begin, qsizetype end) const
{
    const FoldTable& table = foldTable();
    const auto* data = reinterpret_cast<const unsigned char*>(m_bytes.constData());
    std::uint32_t hash = kHashSeed;
    for (qsizetype i = begin; i < end; ++i)
        hash = hashStep(hash, table[data[i]]);
    return hash;
}

void IniDocument::growIndex()
{
    std::vector<IndexSlot> old;
    old.swap(m_index);
    m_index.assign(old.empty() ? 16 : old.size() * 2, IndexSlot{});
    const size_t mask = m_index.size() - 1;
    for (const IndexSlot& slot : old) {
        if (slot.section == kNoSection)
            continue;
        size_t i = slot.hash & mask;
        while (m_index[i].section != kNoSection)
            i = (i + 1) & mask;
        m_index[i] = slot;
    }
}

void IniDocument::indexSection(qsizetype section)
{
    if (static_cast<size_t>(m_indexed + 1) * 2 > m_index.size())
        growIndex();
    const LineView header = headerOf(section);
    const std::uint32_t hash = hashOfRange(header.nameBegin, header.nameEnd);
    const size_t mask = m_index.size() - 1;
    size_t i = hash & mask;
    for (; m_index[i].section != kNoSection; i = (i + 1) & mask) {
        if (m_index[i].hash != hash)
            continue;
        const LineView first = headerOf(m_index[i].section);
        if (sameRanges(first.nameBegin, first.nameEnd, header.nameBegin, header.nameEnd))
            return; // a later section of a name already listed
    }
    m_index[i] = IndexSlot{hash, static_cast<Offset>(section)};
    ++m_indexed;
}

qsizetype IniDocument::findSection(const QString& section) const
{
    if (m_index.empty())
        return -1;
    const QString folded = foldedName(section);
    const std::uint32_t hash = hashOf(folded);
    const size_t mask = m_index.size() - 1;
    for (size_t i = hash & mask; m_index[i].section != kNoSection; i = (i + 1) & mask) {
        if (m_index[i].hash != hash)
            continue;
        const LineView header = headerOf(m_index[i].section);
        if (sameAsFolded(header.nameBegin, header.nameEnd, folded))
            return m_index[i].section;
    }
    return -1;
}

qsizetype IniDocument::findEntry(qsizetype section, const QString& foldedKey) const
{
    for (qsizetype i = firstLineOf(section); i < endLineOf(section); ++i) {
        const LineView line = lineAt(i);
        if (sameAsFolded(line.nameBegin, line.nameEnd, foldedKey))
            return i;
    }
    return -1;
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    const qsizetype s = findSection(section);
    if (s < 0)
        return std::nullopt;
    const qsizetype e = findEntry(s, foldedName(key));
    if (e < 0)
        return std::nullopt;
    const LineView line = lineAt(e);
    if (line.kind != LineKind::Entry)
        return std::nullopt;
    return textAt(line.valueBegin, line.valueEnd);
}

QStringList IniDocument::sectionEntries(const QString& section, qsizetype characterLimit) const
{
    QStringList entries;
    const qsizetype s = findSection(section);
    if (s < 0)
        return entries;
    qsizetype characters = 0;
    for (qsizetype i = firstLineOf(s); i < endLineOf(s) && characters < characterLimit; ++i) {
        const LineView line = lineAt(i);
        QString entry = textAt(line.nameBegin, line.nameEnd);
        if (line.kind == LineKind::Entry)
            entry += QLatin1Char('=') + textAt(line.valueBegin, line.valueEnd);
        characters += entry.size() + 1;
        entries << entry;
    }
    return entries;
}

QStringList IniDocument::sectionNames(qsizetype characterLimit, bool skipEmpty) const
{
    QStringList names;
    qsizetype characters = 0;
    for (qsizetype s = 0; s < sectionCount() && characters < characterLimit; ++s) {
        const LineView header = headerOf(s);
        if (skipEmpty && header.nameBegin == header.nameEnd)
            continue;
        names << textAt(header.nameBegin, header.nameEnd);
        characters += header.nameEnd - header.nameBegin + 1;
    }
    return names;
}

QByteArray IniDocument::lineFor(const QByteArray& key, const QByteArray& value) const
{
    return key + '=' + value + m_lineEnd;
}

void IniDocument::adopt(QByteArray bytes)
{
    // A changed file ends with a line end, so the next line added to it
    // can never run on from the last one.
    const bool hasLines = bytes.size() > m_firstLine;
    if (hasLines && !bytes.endsWith('\n'))
        bytes += m_lineEnd;
    const QByteArray lineEnd = m_lineEnd;
    *this = parse(bytes);
    if (!hasLines)
        m_lineEnd = lineEnd;
}

bool IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    const QByteArray keyBytes = trimmedText(neutralised(key)).toLatin1();
    const QByteArray valueBytes = neutralised(value).toLatin1();
    const qsizetype s = findSection(section);
    if (s < 0) {
        QByteArray bytes = m_bytes;
        if (bytes.size() > m_firstLine && !bytes.endsWith('\n'))
            bytes += m_lineEnd;
        bytes += '[' + trimmedText(neutralised(section)).toLatin1() + ']' + m_lineEnd;
        bytes += lineFor(keyBytes, valueBytes);
        adopt(std::move(bytes));
        return true;
    }
    const qsizetype e = findEntry(s, foldedName(key));
    if (e < 0) {
        const LineView last = lineAt(endLineOf(s) - 1);
        QByteArray added = lineFor(keyBytes, valueBytes);
        if (last.next == m_bytes.size() && !m_bytes.endsWith('\n'))
            added.prepend(m_lineEnd);
        QByteArray bytes = m_bytes;
        bytes.insert(last.next, added);
        adopt(std::move(bytes));
        return true;
    }
    // Replaced in place; the key keeps the spelling it has in the file.
    const LineView line = lineAt(e);
    const QByteArray replacement =
        m_bytes.mid(line.nameBegin, line.nameEnd - line.nameBegin) + '=' + valueBytes;
    if (m_bytes.mid(line.begin, line.contentEnd - line.begin) == replacement)
        return false;
    QByteArray bytes = m_bytes;
    bytes.replace(line.begin, line.next - line.begin, QByteArray(replacement + m_lineEnd));
    adopt(std::move(bytes));
    return true;
}

QByteArray
IniDocument::withoutRanges(const std::vector<std::pair<qsizetype, qsizetype>>& ranges) const
{
    QByteArray bytes;
    bytes.reserve(m_bytes.size());
    qsizetype kept = 0;
    for (const auto& [begin, end] : ranges) {
        bytes.append(m_bytes.constData() + kept, begin - kept);
        kept = end;
    }
    bytes.append(m_bytes.constData() + kept, m_bytes.size() - kept);
    return bytes;
}

bool IniDocument::removeKey(const QString& section, const QString& key)
{
    const qsizetype s = findSection(section);
    if (s < 0)
        return false;
    // Every copy goes, so that a removed key can never come back from a
    // duplicate further down its section.
    const QString folded = foldedName(key);
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype i = firstLineOf(s); i < endLineOf(s); ++i) {
        const LineView line = lineAt(i);
        if (sameAsFolded(line.nameBegin, line.nameEnd, folded))
            ranges.emplace_back(line.begin, line.next);
    }
    if (ranges.empty())
        return false;
    adopt(withoutRanges(ranges));
    return true;
}

bool IniDocument::removeSection(const QString& section)
{
    const QString folded = foldedName(section);
    // Every section of the name goes, so that a removed section can never
    // reappear from a duplicate further down the file.
    std::vector<std::pair<qsizetype, qsizetype>> ranges;
    for (qsizetype s = 0; s < sectionCount(); ++s) {
        const LineView header = headerOf(s);
        if (sameAsFolded(header.nameBegin, header.nameEnd, folded))
            ranges.emplace_back(header.begin, sectionEndOffset(s));
    }
    if (ranges.empty())
        return false;
    adopt(withoutRanges(ranges));
    return true;
}

} // namespace nms
