#include "cli/ResolveCommand.h"

#include "cli/BoundedWait.h"
#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/MacResolver.h"
#include "db/TextHelpers.h"
#include "diag/MacLookup.h"
#include "platform/Clock.h"

namespace nms::cli {

ResolveCommand::ResolveCommand(Dialogs& dialogs, Clock& clock, InterruptSignals& interrupts)
    : m_dialogs(dialogs)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
}

int ResolveCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("resolve"),
                     QStringLiteral("Finds the MAC of an address on an attached network as "
                                    "discovery does, and prints it with the time it took."),
                     QString(), kExitUsage);
    line.addPositional(QStringLiteral("address"), QStringLiteral("A dotted IPv4 address."));
    line.parse(arguments);
    const QString address = line.positional(1).constFirst();
    if (!text::IsValidIP(address))
        line.refuse(QStringLiteral("'%1' is no IPv4 address").arg(address));
    MacResolver resolver(m_dialogs, m_clock);
    BoundedWait wait(m_interrupts);
    QString found;
    const qint64 startUs = m_clock.nowUs();
    qint64 elapsedUs = 0;
    resolver.lookup(address, [&](const QString& mac) {
        elapsedUs = m_clock.nowUs() - startUs;
        found = mac;
        wait.finish();
    });
    if (wait.run(MacLookup::kBoundMs + 1000) == BoundedWait::End::Interrupted)
        return kExitInterrupted;
    if (found.isEmpty()) {
        Console::errLine(QStringLiteral("%1: no MAC found").arg(address));
        return kExitFailure;
    }
    Console::outLine(QStringLiteral("%1 %2 (%3 us)").arg(address, found).arg(elapsedUs));
    return kExitOk;
}

} // namespace nms::cli
