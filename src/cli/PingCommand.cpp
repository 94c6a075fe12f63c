#include "cli/PingCommand.h"

#include "cli/BoundedWait.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/EchoRunner.h"
#include "cli/ElementDatabase.h"
#include "cli/InterruptSignals.h"

namespace nms::cli {

namespace {
const QString kCount = QStringLiteral("count");
const QString kInterval = QStringLiteral("interval");
const QString kTiming = QStringLiteral("timing");
constexpr int kMaxCount = 1000;
constexpr int kMaxIntervalMs = 60000;
} // namespace

PingCommand::PingCommand(QString defaultDatabase, IcmpSocket& socket, Clock& clock,
                         InterruptSignals& interrupts)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_socket(socket)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
}

int PingCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("ping"),
                     QStringLiteral("Sends ICMP echoes to the element's stored address and "
                                    "prints one line per echo with the window's texts (\"1 ms\", "
                                    "\"Request Timed Out\", ...); each echo waits at most one "
                                    "second. Exit status 0 when any reply came, 1 otherwise."),
                     m_defaultDatabase, kExitUsage);
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.addOption(QCommandLineOption(kCount,
                                      QStringLiteral("Echoes to send, 1 to 1000 (default 1)."),
                                      QStringLiteral("n"), QStringLiteral("1")));
    line.addOption(QCommandLineOption(
        kInterval, QStringLiteral("Pause between echoes in ms, 0 to 60000 (default 1000)."),
        QStringLiteral("ms"), QStringLiteral("1000")));
    QCommandLineOption timing(kTiming,
                              QStringLiteral("Also print each echo's time in microseconds."));
    timing.setFlags(QCommandLineOption::HiddenFromHelp);
    line.addOption(timing);
    line.parse(arguments);
    const QString element = line.positional(1).constFirst();
    const int count = line.intValue(kCount, 1, kMaxCount);
    const int intervalMs = line.intValue(kInterval, 0, kMaxIntervalMs);
    const ElementDatabase database = ElementDatabase::load(line.databasePath(), kExitUsage);
    const QString address =
        database.selectOrRefuse(database.resolve(element, kExitUsage), kExitUsage)
            .text(ElementPanelView::Text::IP);

    EchoRunner echoes(m_socket, m_clock, m_interrupts);
    echoes.open(kExitFailure);
    int replies = 0;
    for (int i = 0; i < count; ++i) {
        if (!BoundedWait::pauseBeforeRound(m_interrupts, i, intervalMs))
            return kExitInterrupted;
        const EchoRunner::Outcome outcome = echoes.echo(address);
        if (outcome.interrupted)
            return kExitInterrupted;
        QString text = QStringLiteral("%1: %2").arg(address, outcome.text());
        if (line.isSet(kTiming))
            text += QStringLiteral(" (%1 us)").arg(outcome.elapsedUs);
        Console::outLine(text);
        if (outcome.replied())
            ++replies;
    }
    return replies > 0 ? kExitOk : kExitFailure;
}

} // namespace nms::cli
