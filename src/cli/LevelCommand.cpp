#include "cli/LevelCommand.h"

#include "cli/BoundedWait.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/InterruptSignals.h"
#include "cli/LevelPoller.h"
#include "protocol/LevelPacket.h"

namespace nms::cli {

namespace {
const QString kCount = QStringLiteral("count");
const QString kInterval = QStringLiteral("interval");
constexpr int kMaxCount = 1000;
constexpr int kMaxIntervalMs = 60000;
} // namespace

LevelCommand::LevelCommand(QString defaultDatabase, Dialogs& dialogs, InterruptSignals& interrupts)
    : m_defaultDatabase(std::move(defaultDatabase))
    , m_dialogs(dialogs)
    , m_interrupts(interrupts)
{
}

int LevelCommand::run(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("level"),
        QStringLiteral("Polls the element's audio level (\"VOL\" to port 2977) and prints the "
                       "level of each answer in dBFS as the window's meter shows it, or "
                       "\"no answer\" after a second. Needs UDP port 2976, so it cannot run "
                       "while the window does. Exit status 0 when any answer came, 1 otherwise."),
        m_defaultDatabase, kExitUsage);
    line.addPositional(QStringLiteral("element"),
                       QStringLiteral("MAC (with or without colons), stored name or IP address."));
    line.addOption(QCommandLineOption(kCount, QStringLiteral("Polls, 1 to 1000 (default 1)."),
                                      QStringLiteral("n"), QStringLiteral("1")));
    line.addOption(QCommandLineOption(
        kInterval,
        QStringLiteral("Pause between polls in ms, 0 to 60000 (default 50, the meter's)."),
        QStringLiteral("ms"), QStringLiteral("50")));
    line.parse(arguments);
    const QString element = line.positional(1).constFirst();
    const int count = line.intValue(kCount, 1, kMaxCount);
    const int intervalMs = line.intValue(kInterval, 0, kMaxIntervalMs);
    const ElementDatabase database = ElementDatabase::load(line.databasePath(), kExitUsage);
    const QString address =
        database.selectOrRefuse(database.resolve(element, kExitUsage), kExitUsage)
            .text(ElementPanelView::Text::IP);

    ElementLink link(m_dialogs);
    link.open(kExitFailure);
    LevelPoller poller(link, m_interrupts);
    int answers = 0;
    for (int i = 0; i < count; ++i) {
        if (!BoundedWait::pauseBeforeRound(m_interrupts, i, intervalMs))
            return kExitInterrupted;
        const std::optional<qint32> peak = poller.poll(address);
        if (m_interrupts.raised())
            return kExitInterrupted;
        Console::outLine(QStringLiteral("%1: %2").arg(
            address, peak ? LevelPacket::levelCaption(*peak) : QStringLiteral("no answer")));
        if (peak)
            ++answers;
    }
    return answers > 0 ? kExitOk : kExitFailure;
}

} // namespace nms::cli
