#include "cli/ShowCommand.h"

#include <QJsonDocument>
#include <QJsonObject>

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/HeadlessPanel.h"

namespace nms::cli {

ShowCommand::ShowCommand(QString defaultDatabase)
    : m_defaultDatabase(std::move(defaultDatabase))
{
}

int ShowCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("show"),
                     QStringLiteral("Shows what the window's panel shows when the element is "
                                    "selected, or refuses, as the window does, a record it "
                                    "cannot load. A decoder's value that the record cannot "
                                    "give its control is empty. bound is the position of the "
                                    "encoder the element is bound to in the list of encoders "
                                    "(0 none)."),
                     m_defaultDatabase, kExitUsage);
    line.addFormatOption();
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.parse(arguments);
    const QString element = line.positional(1).constFirst();
    const OutputTable::Format format = line.format();
    const ElementDatabase database = ElementDatabase::load(line.databasePath(), kExitUsage);
    const HeadlessPanel panel =
        database.selectOrRefuse(database.resolve(element, kExitUsage), kExitUsage);
    if (format == OutputTable::Format::Json) {
        QJsonObject record;
        for (const auto& [name, value] : panel.shownFields())
            record.insert(name, value);
        Console::out(QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Indented)));
        return kExitOk;
    }
    OutputTable table({QStringLiteral("KEY"), QStringLiteral("VALUE")});
    for (const auto& [name, value] : panel.shownFields())
        table.addRow({name, value});
    Console::out(table.render(format));
    return kExitOk;
}

} // namespace nms::cli
