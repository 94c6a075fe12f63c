#include "cli/NmsCtl.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include "Version.h"
#include "cli/AttenuateCommand.h"
#include "cli/CheckCommand.h"
#include "cli/CliError.h"
#include "cli/Console.h"
#include "cli/DiscoverCommand.h"
#include "cli/LevelCommand.h"
#include "cli/ListCommand.h"
#include "cli/PingCommand.h"
#include "cli/ResolveCommand.h"
#include "cli/ServeCommand.h"
#include "cli/SetCommand.h"
#include "cli/ShowCommand.h"
#include "cli/StderrDialogs.h"

namespace nms::cli {

namespace {

const QString kDescription = QStringLiteral(
    "Discovers, inspects and configures the encoders and decoders of the link from the "
    "command line, with the window's database, rules and texts.\n"
    "\n"
    "Commands (each has --help):\n"
    "  discover   broadcast the paging request and list the answers; --save replaces the "
    "database\n"
    "  list       the elements of the database\n"
    "  show       what the window's panel shows of one element\n"
    "  ping       ICMP echoes to an element\n"
    "  level      an element's audio level in dBFS\n"
    "  attenuate  set a decoder's attenuation\n"
    "  set        change an element's configuration (KEY=VALUE...), or clone another's to a "
    "spare (--from)\n"
    "  check      monitoring plugin: reachability and audio\n"
    "  serve      Prometheus exporter: polls the elements, serves /metrics\n"
    "\n"
    "ELEMENT is a MAC (with or without colons), a stored name or an IP address.\n"
    "\n"
    "Exit status: 0 success; 1 failure (no reply, time-out, mismatch, UDP port 2976 held by "
    "the window); 2 bad input (unknown command, option or key, value out of range, unknown "
    "or ambiguous element, missing or unreadable database); 130 interrupted before anything "
    "was written. check follows the monitoring-plugin convention instead: 0 OK, 1 WARNING, "
    "2 CRITICAL, 3 UNKNOWN, and bad input there is 3 UNKNOWN.");

QString versionText()
{
    return QStringLiteral("veltrino-nmsctl %1.%2.%3")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision);
}

} // namespace

NmsCtl::NmsCtl(QString defaultDatabase, StderrDialogs& dialogs, IcmpSocket& icmpSocket,
               Clock& clock, InterruptSignals& interrupts)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_dialogs(dialogs)
    , m_icmpSocket(icmpSocket)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
}

int NmsCtl::run(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    const QCommandLineOption version(QStringLiteral("version"),
                                     QStringLiteral("Displays version information."));
    parser.addOption(version);
    const QCommandLineOption database(
        QStringLiteral("db"),
        QStringLiteral("The element database (default: the window's nms.ini, beside "
                       "the program when its folder is writable, else in the user's data folder)."),
        QStringLiteral("path"));
    parser.addOption(database);
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("The command to run."),
                                 QStringLiteral("<command> [<args>]"));
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    try {
        if (!parser.parse(arguments))
            throw CliError{kExitUsage, parser.errorText()};
        const QStringList rest = parser.positionalArguments();
        if (parser.isSet(version)) {
            Console::outLine(versionText());
            return kExitOk;
        }
        if (rest.isEmpty()) {
            if (parser.isSet(QStringLiteral("help"))) {
                Console::out(parser.helpText());
                return kExitOk;
            }
            throw CliError{kExitUsage, QStringLiteral("no command given (see --help)")};
        }
        QStringList commandArguments = rest;
        // A --db before the command counts as one after it.
        if (parser.isSet(database))
            commandArguments << QStringLiteral("--db") << parser.value(database);
        if (parser.isSet(QStringLiteral("help")))
            commandArguments << QStringLiteral("--help");
        return dispatch(rest.constFirst(), commandArguments);
    } catch (const CliError& error) {
        if (error.status == kExitOk) {
            Console::out(error.message);
            return kExitOk;
        }
        Console::errLine(QStringLiteral("veltrino-nmsctl: ") + error.message);
        return error.status;
    }
}

int NmsCtl::dispatch(const QString& command, const QStringList& arguments)
{
    if (command == QLatin1String("list"))
        return ListCommand(m_defaultDatabase).run(arguments);
    if (command == QLatin1String("show"))
        return ShowCommand(m_defaultDatabase).run(arguments);
    if (command == QLatin1String("discover"))
        return DiscoverCommand(m_defaultDatabase, m_dialogs, m_clock, m_interrupts).run(arguments);
    if (command == QLatin1String("ping"))
        return PingCommand(m_defaultDatabase, m_icmpSocket, m_clock, m_interrupts).run(arguments);
    if (command == QLatin1String("level"))
        return LevelCommand(m_defaultDatabase, m_dialogs, m_interrupts).run(arguments);
    if (command == QLatin1String("attenuate"))
        return AttenuateCommand(m_defaultDatabase, m_dialogs).run(arguments);
    if (command == QLatin1String("set"))
        return SetCommand(m_defaultDatabase, m_dialogs, m_clock, m_interrupts).run(arguments);
    if (command == QLatin1String("check"))
        return CheckCommand(m_defaultDatabase, m_dialogs, m_icmpSocket, m_clock, m_interrupts)
            .run(arguments);
    if (command == QLatin1String("serve"))
        return ServeCommand(m_defaultDatabase, m_dialogs, m_icmpSocket, m_clock, m_interrupts)
            .run(arguments);
    if (command == QLatin1String("resolve"))
        return ResolveCommand(m_dialogs, m_clock, m_interrupts).run(arguments);
    throw CliError{kExitUsage, QStringLiteral("unknown command '%1' (see --help)").arg(command)};
}

} // namespace nms::cli
