#include <QCoreApplication>
#include <QStandardPaths>

#include "cli/InterruptSignals.h"
#include "cli/NmsCtl.h"
#include "cli/StderrDialogs.h"
#include "db/DatabaseLocation.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNetRawCapability.h"
#include "platform/QtTimer.h"
#include "platform/SteadyClock.h"

namespace {

// The window's database: the same rule, under the window's names, so that
// an installed copy finds the same per-user file.
QString windowDatabase()
{
    const QString ownName = QCoreApplication::applicationName();
    const QString ownOrganisation = QCoreApplication::organizationName();
    QCoreApplication::setApplicationName(QStringLiteral("veltrino-nms"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orbelund"));
    const QString path = nms::DatabaseLocation::resolve(
        QCoreApplication::applicationDirPath(),
        QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    QCoreApplication::setApplicationName(ownName);
    QCoreApplication::setOrganizationName(ownOrganisation);
    return path;
}

} // namespace

int main(int argc, char* argv[])
{
    // As the window does, while this is the only thread: the ICMP socket is
    // opened and CAP_NET_RAW given up before any network input exists.
    nms::LinuxNetRawCapability netRaw;
    const int keptRawSocket = nms::LinuxIcmpSocket::settleRoute(netRaw);

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrino-nmsctl"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orbelund"));

    nms::QtTimerFactory timers;
    nms::SteadyClock clock;
    nms::LinuxIcmpSocket icmpSocket(timers);
    icmpSocket.keepRawSocket(keptRawSocket);
    nms::cli::StderrDialogs dialogs;
    nms::cli::InterruptSignals interrupts;

    nms::cli::NmsCtl program(windowDatabase(), dialogs, icmpSocket, clock, interrupts);
    return program.run(QCoreApplication::arguments());
}
