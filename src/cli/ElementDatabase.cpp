#include "cli/ElementDatabase.h"

#include <algorithm>

#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>

#include "cli/CliError.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "db/TextHelpers.h"

namespace nms::cli {

namespace {

QString describe(const StoredElement& element)
{
    return QStringLiteral("%1 [%2]").arg(element.name(), element.mac());
}

// Dotted text compared as addresses: "198.18.0.011" names 198.18.0.11.
QString canonicalAddress(const QString& text)
{
    const std::optional<quint32> address = text::ReadIP(text);
    return address ? QHostAddress(*address).toString() : QString();
}

} // namespace

ElementDatabase::ElementDatabase(QList<StoredElement> elements)
    : m_elements(std::move(elements))
{
}

ElementDatabase ElementDatabase::load(const QString& path, int refusalStatus)
{
    const QFileInfo info(path);
    if (!info.exists())
        throw CliError{refusalStatus, QStringLiteral("no database at %1").arg(path)};
    if (!info.isFile() || !info.isReadable())
        throw CliError{refusalStatus, QStringLiteral("cannot read the database %1").arg(path)};
    PrivateProfileStore store;
    IniRoutines ini(store);
    QStringList sections;
    ini.LoadIniSectionsLB(sections, path);
    if (!store.lastError().isEmpty())
        throw CliError{
            refusalStatus,
            QStringLiteral("cannot read the database %1: %2").arg(path, store.lastError())};
    QList<StoredElement> elements;
    for (const QString& section : std::as_const(sections)) {
        QList<std::pair<QString, QString>> keys;
        for (const QString& entry : store.sectionEntries(section, path)) {
            const QString key = entry.section(QLatin1Char('='), 0, 0).trimmed().toLower();
            if (!key.isEmpty())
                keys.append({key, ini.ReadFromINI(section, key, path)});
        }
        elements.append(StoredElement(section, keys));
    }
    return ElementDatabase(elements);
}

int ElementDatabase::encoderCount() const
{
    return int(std::count_if(m_elements.begin(), m_elements.end(),
                             [](const StoredElement& e) { return e.role() == 1; }));
}

QString ElementDatabase::sectionFromMac(const QString& text)
{
    static const QRegularExpression bare(QStringLiteral("^[0-9A-Fa-f]{12}$"));
    static const QRegularExpression colons(QStringLiteral("^([0-9A-Fa-f]{2}:){5}[0-9A-Fa-f]{2}$"));
    if (bare.match(text).hasMatch())
        return text.toUpper();
    if (colons.match(text).hasMatch())
        return text::NormalizeMAC(text);
    return QString();
}

QList<const StoredElement*> ElementDatabase::matchesOf(const QString& element) const
{
    QList<const StoredElement*> matches;
    const QString section = sectionFromMac(element);
    const QString address = canonicalAddress(element);
    for (const StoredElement& stored : m_elements) {
        if (!section.isEmpty() && stored.section().compare(section, Qt::CaseInsensitive) == 0)
            matches.append(&stored);
    }
    if (!matches.isEmpty())
        return matches;
    for (const StoredElement& stored : m_elements) {
        if (!address.isEmpty() && canonicalAddress(stored.value(QStringLiteral("ip"))) == address)
            matches.append(&stored);
    }
    if (!matches.isEmpty())
        return matches;
    const QString name = element.trimmed();
    for (const StoredElement& stored : m_elements) {
        if (!name.isEmpty() && stored.name().compare(name, Qt::CaseInsensitive) == 0)
            matches.append(&stored);
    }
    return matches;
}

const StoredElement& ElementDatabase::resolve(const QString& element, int refusalStatus) const
{
    const QList<const StoredElement*> matches = matchesOf(element);
    if (matches.isEmpty())
        throw CliError{refusalStatus,
                       QStringLiteral("no element '%1' in the database").arg(element)};
    if (matches.size() > 1) {
        QStringList names;
        for (const StoredElement* match : matches)
            names.append(describe(*match));
        throw CliError{refusalStatus, QStringLiteral("'%1' is ambiguous: it names %2")
                                          .arg(element, names.join(QStringLiteral(", ")))};
    }
    return *matches.constFirst();
}

} // namespace nms::cli
