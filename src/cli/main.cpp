#include <cstdio>
#include <cstring>

#include <QCoreApplication>
#include <QStandardPaths>

#include <linux/capability.h>

#include "cli/InterruptSignals.h"
#include "cli/NmsCtl.h"
#include "cli/StderrDialogs.h"
#include "db/DatabaseLocation.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpHelpers.h"
#include "platform/IcmpRoute.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/ProcessCapabilities.h"
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

// The helpers to start ahead: serve pings on many at once, every other
// command on one. Read before the arguments are parsed, so it only looks
// for the word.
int helpersWanted(int argc, char* argv[])
{
    for (int index = 1; index < argc; ++index)
        if (std::strcmp(argv[index], "serve") == 0)
            return nms::IcmpHelpers::kMaxRunning;
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    // As the window does, while this is the only thread: helpers that only
    // the rights this process starts with can start are started now, and
    // then no capability is held while network input is read; only the
    // ICMP helper may get CAP_NET_RAW again.
    nms::IcmpHelpers helpers(nms::IcmpHelpers::locate());
    helpers.startAhead(helpersWanted(argc, argv));
    if (!nms::process_capabilities::dropAll(CAP_NET_RAW)) {
        // Never run on with rights it was to give up.
        std::fputs("veltrino-nmsctl: cannot give up the capabilities it was started with\n",
                   stderr);
        return 1;
    }

    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrino-nmsctl"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orbelund"));

    nms::QtTimerFactory timers;
    nms::SteadyClock clock;
    nms::LinuxIcmpSocket datagramSocket(timers);
    nms::HelperIcmpSocket helperSocket(timers, helpers);
    nms::IcmpRoute icmpSocket(datagramSocket, helperSocket);
    nms::cli::StderrDialogs dialogs;
    nms::cli::InterruptSignals interrupts;

    nms::cli::NmsCtl program(windowDatabase(), dialogs, icmpSocket, clock, interrupts);
    return program.run(QCoreApplication::arguments());
}
