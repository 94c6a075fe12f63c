#include <cstdio>

#include <QApplication>

#include <linux/capability.h>

#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "db/DatabaseLocation.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpHelpers.h"
#include "platform/IcmpRoute.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/ProcessCapabilities.h"
#include "platform/QtTimer.h"
#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "ui/FrmMain.h"
#include "ui/ImageResources.h"
#include "ui/QtDialogs.h"

int main(int argc, char* argv[])
{
    // First of all, while this is the only thread: an ICMP helper that only
    // the rights this process starts with can start (a sandboxed start) is
    // started now; then no capability is held while plugins load or network
    // input is read. Started as root, the program keeps only CAP_NET_RAW in
    // its bounding set, which a later helper needs.
    nms::IcmpHelpers helpers(nms::IcmpHelpers::locate());
    helpers.startAhead(1);
    if (!nms::process_capabilities::dropAll(CAP_NET_RAW)) {
        // Never run on with rights it was to give up.
        std::fputs("veltrino-nms: cannot give up the capabilities it was started with\n", stderr);
        return 1;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltrino-nms"));
    QApplication::setOrganizationName(QStringLiteral("Orbelund"));
    QApplication::setWindowIcon(nms::ImageResources::programIcon());

    nms::QtDialogs dialogs;
    nms::QtTimerFactory timers;
    nms::SteadyClock clock;
    nms::QtUdpEndpoint udpSocket;
    nms::LinuxIcmpSocket datagramSocket(timers);
    nms::HelperIcmpSocket helperSocket(timers, helpers);
    nms::IcmpRoute icmpSocket(datagramSocket, helperSocket);
    nms::LinuxNeighbourTable neighbours;
    nms::SingleInstanceLock instanceLock;

    nms::MainWindow mainWindow({dialogs, timers, clock, udpSocket, icmpSocket, neighbours,
                                instanceLock, nms::DatabaseLocation::forThisProgram()});
    if (mainWindow.load() != nms::MainWindow::LoadResult::Ready)
        return 1;
    dialogs.setParentWidget(&mainWindow.window());
    mainWindow.window().show();
    return QApplication::exec();
}
