#include "cli/ElementCatalog.h"

#include <sys/stat.h>

#include <QFile>
#include <QHash>
#include <QSet>

#include "cli/CliError.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"

namespace nms::cli {

namespace {

std::optional<FileSignature> signatureOf(const QString& path)
{
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileSignature::of(status);
}

// The labels are what list prints of the element, field for field.
ListedElement listedElement(const QList<std::pair<QString, QString>>& fields)
{
    QHash<QString, QString> value;
    for (const auto& [name, text] : fields)
        value.insert(name, text);
    return {value.value(QStringLiteral("mac")),     value.value(QStringLiteral("name")),
            value.value(QStringLiteral("role")),    value.value(QStringLiteral("ip")),
            value.value(QStringLiteral("version")), value.value(QStringLiteral("serial"))};
}

} // namespace

ElementCatalog::ElementCatalog(QString path, QStringList wanted)
    : m_path(std::move(path))
    , m_wanted(std::move(wanted))
{
}

void ElementCatalog::refresh()
{
    const std::optional<FileSignature> now = signatureOf(m_path);
    if (now && m_readSignature && *now == *m_readSignature)
        return;
    std::optional<QList<ListedElement>> listed = now ? read() : std::nullopt;
    if (!listed) {
        // Counted once per state of the file, not once per round.
        if (!m_readSignature || now != m_readSignature)
            ++m_readErrors;
        m_readSignature = now;
        return;
    }
    m_readSignature = now;
    m_elements = std::move(*listed);
}

void ElementCatalog::refuseUnknown(int refusalStatus) const
{
    if (m_wanted.isEmpty())
        return;
    std::optional<ElementDatabase> database;
    try {
        database.emplace(ElementDatabase::load(m_path, refusalStatus));
    } catch (const CliError&) {
        return; // counted as a read error while serving
    }
    for (const QString& wanted : m_wanted)
        database->resolve(wanted, refusalStatus);
}

// Each read tells stderr what it could not list, as list does: a refused
// record, a named element the file no longer holds. The file changes
// seldom, so the log is not flooded.
std::optional<QList<ListedElement>> ElementCatalog::read() const
{
    std::optional<ElementDatabase> database;
    try {
        database.emplace(ElementDatabase::load(m_path, kExitFailure));
    } catch (const CliError& error) {
        Console::errLine(error.message);
        return std::nullopt;
    }
    const QSet<QString> wanted = wantedKeys(*database);
    QList<ListedElement> elements;
    for (const ElementDatabase::Element& element : database->elements()) {
        if (!m_wanted.isEmpty() && !wanted.contains(element.key))
            continue;
        QString refusal;
        elements.append(listedElement(database->listedFields(element, &refusal)));
        if (!refusal.isEmpty())
            Console::errLine(refusal);
    }
    return elements;
}

QSet<QString> ElementCatalog::wantedKeys(const ElementDatabase& database) const
{
    QSet<QString> keys;
    for (const QString& wanted : m_wanted) {
        try {
            keys.insert(database.resolve(wanted, kExitFailure).key);
        } catch (const CliError& error) {
            Console::errLine(error.message);
        }
    }
    return keys;
}

} // namespace nms::cli
