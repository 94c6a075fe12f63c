#include "cli/ShowCommand.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"

namespace nms::cli {

ShowCommand::ShowCommand(QString defaultDatabase)
    : m_defaultDatabase(std::move(defaultDatabase))
{
}

int ShowCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("show"),
                     QStringLiteral("Shows one element's record: every key, in file order."),
                     m_defaultDatabase, kExitUsage);
    line.addFormatOption();
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.parse(arguments);
    const QString element = line.positional(1).constFirst();
    const OutputTable::Format format = line.format();
    const ElementDatabase database = ElementDatabase::load(line.databasePath(), kExitUsage);
    const StoredElement& stored = database.resolve(element, kExitUsage);
    if (format == OutputTable::Format::Json) {
        // One object: the record's keys with their values.
        QJsonObject record{{QStringLiteral("mac"), stored.mac()}};
        for (const auto& [key, value] : stored.keys())
            record.insert(key, value);
        Console::out(QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Indented)));
        return kExitOk;
    }
    OutputTable table({QStringLiteral("KEY"), QStringLiteral("VALUE")});
    table.addRow({QStringLiteral("mac"), stored.mac()});
    for (const auto& [key, value] : stored.keys())
        table.addRow({key, value});
    Console::out(table.render(format));
    return kExitOk;
}

} // namespace nms::cli
