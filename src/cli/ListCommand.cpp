#include "cli/ListCommand.h"

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/HeadlessPanel.h"

namespace nms::cli {

ListCommand::ListCommand(QString defaultDatabase)
    : m_defaultDatabase(std::move(defaultDatabase))
{
}

int ListCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("list"),
                     QStringLiteral("Lists the elements of the database as the window lists "
                                    "them, each with what the window's panel shows for it. "
                                    "A record the window refuses to load (\"is corrupted "
                                    "(1)\") keeps only its MAC and name; the refusal goes to "
                                    "stderr. bound is the position of the encoder the element "
                                    "is bound to in the list of encoders (0 none)."),
                     m_defaultDatabase, kExitUsage);
    line.addFormatOption();
    line.parse(arguments);
    line.positional(0);
    const OutputTable::Format format = line.format();
    Console::out(render(ElementDatabase::load(line.databasePath(), kExitUsage), format));
    return kExitOk;
}

QString ListCommand::render(const ElementDatabase& database, OutputTable::Format format)
{
    QStringList columns;
    for (const QString& name : HeadlessPanel::shownNames())
        columns.append(name.toUpper());
    OutputTable table(columns);
    for (const ElementDatabase::Element& element : database.elements()) {
        QString refusal;
        QStringList cells;
        for (const auto& field : database.listedFields(element, &refusal))
            cells.append(field.second);
        if (!refusal.isEmpty())
            Console::errLine(refusal);
        table.addRow(cells);
    }
    return table.render(format);
}

} // namespace nms::cli
