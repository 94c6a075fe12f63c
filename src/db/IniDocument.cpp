#include "db/IniDocument.h"

namespace nms {
namespace {

const QByteArray kUtf8ByteOrderMark("\xEF\xBB\xBF");

// The blanks that surround names and values. Only ASCII: a non-breaking
// space (0xA0) or NEL (0x85) sent as part of an element name is kept.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool isBlank(QChar c)
{
    return c.unicode() < 0x80 && isBlank(static_cast<char>(c.unicode()));
}

// [begin, end) of raw without the surrounding blanks.
QString trimmedLatin1(const QByteArray& raw, qsizetype begin, qsizetype end)
{
    while (begin < end && isBlank(raw[begin]))
        ++begin;
    while (end > begin && isBlank(raw[end - 1]))
        --end;
    return QString::fromLatin1(raw.constData() + begin, end - begin);
}

QString trimmedText(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
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
    return trimmedText(neutralised(name)).toCaseFolded();
}

IniDocument IniDocument::parse(const QByteArray& bytes)
{
    IniDocument document;
    document.m_sections.emplace_back(); // the preamble
    qsizetype pos = 0;
    if (bytes.startsWith(kUtf8ByteOrderMark)) {
        document.m_byteOrderMark = kUtf8ByteOrderMark;
        pos = kUtf8ByteOrderMark.size();
    }
    const qsizetype firstNewline = bytes.indexOf('\n', pos);
    if (firstNewline > pos && bytes[firstNewline - 1] == '\r')
        document.m_lineEnd = "\r\n";

    while (pos < bytes.size()) {
        const qsizetype newline = bytes.indexOf('\n', pos);
        const qsizetype next = newline < 0 ? bytes.size() : newline + 1;
        qsizetype end = newline < 0 ? bytes.size() : newline;
        if (end > pos && bytes[end - 1] == '\r')
            --end;
        document.appendLine(parseLine(bytes.mid(pos, end - pos)));
        pos = next;
    }
    document.rebuildIndex();
    return document;
}

IniDocument::Line IniDocument::parseLine(const QByteArray& raw)
{
    Line line;
    line.raw = raw;
    qsizetype start = 0;
    while (start < raw.size() && isBlank(raw[start]))
        ++start;
    if (start == raw.size())
        return line; // blank
    const char first = raw[start];
    if (first == ';') {
        line.kind = LineKind::Comment;
        return line;
    }
    if (first == '[') {
        // The last "]" closes the name, so a name holding "]" reads back
        // whole; a header without one takes the rest of the line.
        qsizetype close = raw.lastIndexOf(']');
        if (close <= start)
            close = raw.size();
        line.kind = LineKind::Header;
        line.name = trimmedLatin1(raw, start + 1, close);
        line.folded = line.name.toCaseFolded();
        return line;
    }
    const qsizetype equals = raw.indexOf('=', start);
    if (equals < 0) {
        line.kind = LineKind::BareEntry;
        line.name = trimmedLatin1(raw, start, raw.size());
    } else {
        line.kind = LineKind::Entry;
        line.name = trimmedLatin1(raw, start, equals);
        line.value = trimmedLatin1(raw, equals + 1, raw.size());
    }
    line.folded = line.name.toCaseFolded();
    return line;
}

void IniDocument::appendLine(Line line)
{
    if (line.kind == LineKind::Header) {
        Section section;
        section.name = line.name;
        section.folded = line.folded;
        section.lines.push_back(std::move(line));
        m_sections.push_back(std::move(section));
        return;
    }
    m_sections.back().lines.push_back(std::move(line));
}

void IniDocument::rebuildIndex()
{
    m_firstSectionByName.clear();
    for (int i = 1; i < static_cast<int>(m_sections.size()); ++i) {
        if (!m_firstSectionByName.contains(m_sections[i].folded))
            m_firstSectionByName.insert(m_sections[i].folded, i);
    }
}

QByteArray IniDocument::serialize() const
{
    QByteArray bytes = m_byteOrderMark;
    for (const Section& section : m_sections) {
        for (const Line& line : section.lines) {
            bytes += line.raw;
            bytes += m_lineEnd;
        }
    }
    return bytes;
}

int IniDocument::findSection(const QString& section) const
{
    return m_firstSectionByName.value(foldedName(section), -1);
}

int IniDocument::findEntry(const Section& section, const QString& foldedKey)
{
    for (int i = 0; i < static_cast<int>(section.lines.size()); ++i) {
        const Line& line = section.lines[i];
        if ((line.kind == LineKind::Entry || line.kind == LineKind::BareEntry) &&
            line.folded == foldedKey)
            return i;
    }
    return -1;
}

int IniDocument::insertPositionForNewKey(const Section& section)
{
    for (int i = static_cast<int>(section.lines.size()) - 1; i > 0; --i) {
        const LineKind kind = section.lines[i].kind;
        if (kind == LineKind::Entry || kind == LineKind::BareEntry)
            return i + 1;
    }
    return 1; // right after the header
}

std::optional<QString> IniDocument::value(const QString& section, const QString& key) const
{
    const int s = findSection(section);
    if (s < 0)
        return std::nullopt;
    const int e = findEntry(m_sections[s], foldedName(key));
    if (e < 0 || m_sections[s].lines[e].kind != LineKind::Entry)
        return std::nullopt;
    return m_sections[s].lines[e].value;
}

QStringList IniDocument::sectionEntries(const QString& section) const
{
    QStringList entries;
    const int s = findSection(section);
    if (s < 0)
        return entries;
    for (const Line& line : m_sections[s].lines) {
        if (line.kind == LineKind::Entry)
            entries << line.name + QLatin1Char('=') + line.value;
        else if (line.kind == LineKind::BareEntry)
            entries << line.name;
    }
    return entries;
}

QStringList IniDocument::sectionNames() const
{
    QStringList names;
    names.reserve(static_cast<qsizetype>(m_sections.size()));
    for (size_t i = 1; i < m_sections.size(); ++i)
        names << m_sections[i].name;
    return names;
}

IniDocument::Line IniDocument::makeEntry(const QString& key, const QString& value)
{
    Line line;
    line.kind = LineKind::Entry;
    line.name = trimmedText(neutralised(key));
    line.folded = line.name.toCaseFolded();
    const QString storedValue = neutralised(value);
    line.value = trimmedText(storedValue);
    line.raw = line.name.toLatin1() + '=' + storedValue.toLatin1();
    return line;
}

IniDocument::Line IniDocument::makeHeader(const QString& name)
{
    Line line;
    line.kind = LineKind::Header;
    line.name = trimmedText(neutralised(name));
    line.folded = line.name.toCaseFolded();
    line.raw = '[' + line.name.toLatin1() + ']';
    return line;
}

bool IniDocument::setValue(const QString& section, const QString& key, const QString& value)
{
    applyValue(section, key, value);
    const bool changed = m_changed;
    if (!m_consistent) {
        // A key such as "[x" or "a=b" does not read back as written: take
        // the document as the file will read.
        *this = parse(serialize());
    }
    return changed;
}

void IniDocument::applyValue(const QString& section, const QString& key, const QString& value)
{
    m_changed = true;
    m_consistent = true;
    const int s = findSection(section);
    if (s < 0) {
        Section added;
        Line header = makeHeader(section);
        added.name = header.name;
        added.folded = header.folded;
        added.lines.push_back(std::move(header));
        added.lines.push_back(makeCheckedEntry(key, value));
        m_sections.push_back(std::move(added));
        rebuildIndex();
        return;
    }
    Section& target = m_sections[s];
    const int e = findEntry(target, foldedName(key));
    if (e < 0) {
        target.lines.insert(target.lines.begin() + insertPositionForNewKey(target),
                            makeCheckedEntry(key, value));
        return;
    }
    // Replaced in place; the key keeps the spelling it has in the file.
    Line replacement = makeCheckedEntry(target.lines[e].name, value);
    if (replacement.raw == target.lines[e].raw) {
        m_changed = false;
        return;
    }
    target.lines[e] = std::move(replacement);
}

IniDocument::Line IniDocument::makeCheckedEntry(const QString& key, const QString& value)
{
    Line line = makeEntry(key, value);
    const Line reread = parseLine(line.raw);
    if (reread.kind != LineKind::Entry || reread.folded != line.folded)
        m_consistent = false;
    return line;
}

bool IniDocument::removeKey(const QString& section, const QString& key)
{
    const int s = findSection(section);
    if (s < 0)
        return false;
    Section& target = m_sections[s];
    const int e = findEntry(target, foldedName(key));
    if (e < 0)
        return false;
    target.lines.erase(target.lines.begin() + e);
    return true;
}

bool IniDocument::removeSection(const QString& section)
{
    const QString folded = foldedName(section);
    const auto before = m_sections.size();
    // Every section of the name goes, so that a removed section can never
    // reappear from a duplicate further down the file.
    std::erase_if(m_sections, [&](const Section& candidate) {
        // The preamble never starts with a header, so it never matches.
        return !candidate.lines.empty() && candidate.lines.front().kind == LineKind::Header &&
               candidate.folded == folded;
    });
    if (m_sections.size() == before)
        return false;
    rebuildIndex();
    return true;
}

} // namespace nms
