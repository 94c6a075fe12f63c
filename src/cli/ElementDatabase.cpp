#include "cli/ElementDatabase.h"

#include <QFileInfo>
#include <QRegularExpression>

#include "cli/BoxTally.h"
#include "cli/CliError.h"
#include "cli/SilentViews.h"
#include "db/ElementList.h"
#include "db/ElementSelection.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/TextHelpers.h"

namespace nms::cli {

namespace {

QString describe(const ElementDatabase::Element& element)
{
    return QStringLiteral("%1 [%2]").arg(element.name, element.key);
}

// "001a2b3c4d5e" or "00:1A:2B:3C:4D:5E" as a node key; empty when the text
// is no MAC.
QString nodeKeyFromMac(const QString& text)
{
    static const QRegularExpression bare(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    static const QRegularExpression colons(QStringLiteral("^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$"));
    if (bare.match(text).hasMatch())
        return text::FormatMAC(text);
    if (colons.match(text).hasMatch())
        return text.toUpper();
    return QString();
}

// A name as typed: the blanks a shell may leave around it go, as the
// database's own blanks go on reading; any other character counts.
QString typedName(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

ElementDatabase ElementDatabase::load(const QString& path, int refusalStatus)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw CliError{refusalStatus, QStringLiteral("no database at %1").arg(path)};
    if (!info.isFile() || !info.isReadable())
        throw CliError{refusalStatus, QStringLiteral("cannot read the database %1").arg(path)};
    ElementDatabase database;
    database.m_path = path;
    database.m_store = std::make_shared<PrivateProfileStore>();
    IniRoutines ini(*database.m_store);
    BoxTally boxes;
    SilentViews views;
    HeadlessPanel unused;
    ElementList(boxes, ini, path, database.m_tree, views, unused).Load_Config();
    // The empty database's information box is an empty list here.
    if (boxes.showedCritical())
        throw CliError{refusalStatus, boxes.criticalText()};
    return database;
}

std::optional<HeadlessPanel> ElementDatabase::select(const Element& element, QString* refusal) const
{
    IniRoutines ini(*m_store);
    BoxTally boxes;
    SilentViews views;
    HeadlessPanel panel(m_tree.encoderCount());
    ElementSelection(boxes, ini, m_path, panel, views, views).SelectElement(element.key);
    if (boxes.showedCritical()) {
        if (refusal != nullptr)
            *refusal = boxes.criticalText();
        return std::nullopt;
    }
    return panel;
}

HeadlessPanel ElementDatabase::selectOrRefuse(const Element& element, int refusalStatus) const
{
    QString refusal;
    const std::optional<HeadlessPanel> panel = select(element, &refusal);
    if (!panel)
        throw CliError{refusalStatus, describe(element) + QStringLiteral(": ") + refusal};
    return *panel;
}

QList<std::pair<QString, QString>> ElementDatabase::listedFields(const Element& element,
                                                                 QString* refusal) const
{
    QString refused;
    if (const std::optional<HeadlessPanel> panel = select(element, &refused))
        return panel->shownFields();
    if (refusal != nullptr)
        *refusal = describe(element) + QStringLiteral(": ") + refused;
    QList<std::pair<QString, QString>> fields;
    for (const QString& name : HeadlessPanel::shownNames()) {
        const QString value = name == QLatin1String("mac")    ? element.key
                              : name == QLatin1String("name") ? element.name
                                                              : QString();
        fields.append({name, value});
    }
    return fields;
}

// By MAC first, then by address, then by name. A record the selection
// refuses shows no address, so it is found by its MAC or its listed name.
QList<const ElementDatabase::Element*> ElementDatabase::matchesOf(const QString& text) const
{
    QList<const Element*> matches;
    const QString key = nodeKeyFromMac(text);
    const QString address = text::CanonicalIP(text);
    for (const Element& element : elements()) {
        if (!key.isEmpty() && element.key == key)
            matches.append(&element);
    }
    if (matches.isEmpty() && !address.isEmpty()) {
        for (const Element& element : elements()) {
            const auto panel = select(element);
            if (panel && text::CanonicalIP(panel->text(ElementPanelView::Text::IP)) == address)
                matches.append(&element);
        }
    }
    const QString name = typedName(text);
    if (matches.isEmpty() && !name.isEmpty()) {
        for (const Element& element : elements()) {
            if (element.name.compare(name, Qt::CaseInsensitive) == 0)
                matches.append(&element);
        }
    }
    return matches;
}

const ElementDatabase::Element& ElementDatabase::resolve(const QString& text,
                                                         int refusalStatus) const
{
    const QList<const Element*> matches = matchesOf(text);
    if (matches.isEmpty())
        throw CliError{refusalStatus, QStringLiteral("no element '%1' in the database").arg(text)};
    if (matches.size() > 1) {
        QStringList names;
        for (const Element* match : matches)
            names.append(describe(*match));
        throw CliError{refusalStatus, QStringLiteral("'%1' is ambiguous: it names %2")
                                          .arg(text, names.join(QStringLiteral(", ")))};
    }
    return *matches.constFirst();
}

} // namespace nms::cli
