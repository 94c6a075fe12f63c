#include "cli/CommandLine.h"

#include <cmath>

#include <QLocale>

#include "cli/CliError.h"
#include "protocol/LevelRule.h"

namespace nms::cli {

namespace {
const QString kDatabaseOption = QStringLiteral("db");
const QString kFormatOption = QStringLiteral("format");
const QString kSilenceOption = QStringLiteral("silence-dbfs");
// Below what any peak can report: a threshold there never fires.
constexpr double kQuietestDbfs = -140.0;
} // namespace

CommandLine::CommandLine(const QString& command, const QString& description,
                         const QString& defaultDatabase, int usageStatus)
    : m_command(command)
    , m_defaultDatabase(defaultDatabase)
    , m_usageStatus(usageStatus)
{
    m_parser.setApplicationDescription(description);
    m_parser.addHelpOption();
    m_parser.addOption(QCommandLineOption(
        kDatabaseOption,
        QStringLiteral("The element database (default: the window's nms.ini, beside "
                       "the program when its folder is writable, else in the user's data folder)."),
        QStringLiteral("path")));
    m_parser.addPositionalArgument(command, QStringLiteral("The command."));
}

void CommandLine::addOption(const QCommandLineOption& option)
{
    m_parser.addOption(option);
}

void CommandLine::addFormatOption()
{
    m_parser.addOption(QCommandLineOption(
        kFormatOption, QStringLiteral("Output as an aligned table (default), CSV or JSON."),
        QStringLiteral("table|csv|json"), QStringLiteral("table")));
}

void CommandLine::addPositional(const QString& name, const QString& description,
                                const QString& syntax)
{
    m_parser.addPositionalArgument(name, description, syntax);
}

void CommandLine::addElementsPositional()
{
    m_parser.addPositionalArgument(
        QStringLiteral("element"),
        QStringLiteral("MAC (with or without colons), stored name or IP address."),
        QStringLiteral("[ELEMENT...]"));
}

void CommandLine::addSilenceOption(const QString& consequence)
{
    const QString threshold = QString::number(LevelRule::kDefaultSilenceDbfs);
    m_parser.addOption(QCommandLineOption(
        kSilenceOption, QStringLiteral("%1 (default %2).").arg(consequence, threshold),
        QStringLiteral("dBFS"), threshold));
}

void CommandLine::parse(const QStringList& arguments)
{
    // The program's name stands first for the parser; the command's own name
    // is the first positional argument and is dropped after parsing.
    QStringList withProgram = arguments;
    withProgram.prepend(QStringLiteral("veltrino-nmsctl"));
    if (!m_parser.parse(withProgram))
        refuse(m_parser.errorText());
    if (m_parser.isSet(QStringLiteral("help")))
        throw CliError{kExitOk, m_parser.helpText()};
}

QStringList CommandLine::positional(qsizetype count) const
{
    const QStringList all = m_parser.positionalArguments().mid(1);
    if (all.size() < count)
        refuse(QStringLiteral("missing argument (see %1 --help)").arg(m_command));
    if (all.size() > count)
        refuse(QStringLiteral("unexpected argument '%1'").arg(all.at(count)));
    return all;
}

int CommandLine::intValue(const QString& option, int minimum, int maximum) const
{
    bool ok = false;
    const int value = m_parser.value(option).toInt(&ok);
    if (!ok || value < minimum || value > maximum)
        refuse(QStringLiteral("--%1 needs a whole number from %2 to %3")
                   .arg(option)
                   .arg(minimum)
                   .arg(maximum));
    return value;
}

double CommandLine::numberValue(const QString& option, double minimum, double maximum) const
{
    bool ok = false;
    const double value = QLocale::c().toDouble(m_parser.value(option), &ok);
    if (!ok || !std::isfinite(value) || value < minimum || value > maximum)
        refuse(QStringLiteral("--%1 needs a number from %2 to %3")
                   .arg(option)
                   .arg(minimum)
                   .arg(maximum));
    return value;
}

double CommandLine::silenceDbfs() const
{
    return numberValue(kSilenceOption, kQuietestDbfs, 0.0);
}

OutputTable::Format CommandLine::format() const
{
    const auto format = OutputTable::formatFromName(m_parser.value(kFormatOption));
    if (!format)
        refuse(QStringLiteral("--format is table, csv or json"));
    return *format;
}

QString CommandLine::databasePath() const
{
    return m_parser.isSet(kDatabaseOption) ? m_parser.value(kDatabaseOption) : m_defaultDatabase;
}

void CommandLine::refuse(const QString& message) const
{
    throw CliError{m_usageStatus, QStringLiteral("%1: %2").arg(m_command, message)};
}

} // namespace nms::cli
