#include "cli/ListCommand.h"

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementRows.h"

namespace nms::cli {

ListCommand::ListCommand(QString defaultDatabase)
    : m_defaultDatabase(std::move(defaultDatabase))
{
}

int ListCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("list"),
                     QStringLiteral("Lists the elements of the database: MAC, name, role, "
                                    "addresses, serial, version and the decoder's fields."),
                     m_defaultDatabase, kExitUsage);
    line.addFormatOption();
    line.parse(arguments);
    line.positional(0);
    const OutputTable::Format format = line.format();
    const ElementDatabase database = ElementDatabase::load(line.databasePath(), kExitUsage);
    OutputTable table(ElementRows::columns());
    for (const StoredElement& element : database.elements())
        table.addRow(ElementRows::row(element));
    Console::out(table.render(format));
    return kExitOk;
}

} // namespace nms::cli
