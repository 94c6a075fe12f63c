#include <QApplication>

#include <linux/capability.h>

#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "db/DatabaseLocation.h"
#include "platform/HelperIcmpSocket.h"
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
    // First of all, while this is the only thread: no capability is held
    // while plugins load or network input is read. Started as root, the
    // program keeps only CAP_NET_RAW in its bounding set, which the ICMP
    // helper it may start needs.
    nms::process_capabilities::dropAll(CAP_NET_RAW);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltrino-nms"));
    QApplication::setOrganizationName(QStringLiteral("Orbelund"));
    QApplication::setWindowIcon(nms::ImageResources::programIcon());

    nms::QtDialogs dialogs;
    nms::QtTimerFactory timers;
    nms::SteadyClock clock;
    nms::QtUdpEndpoint udpSocket;
    nms::LinuxIcmpSocket datagramSocket(timers);
    nms::HelperIcmpSocket helperSocket(
        timers, nms::HelperIcmpSocket::locate(QCoreApplication::applicationDirPath()));
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
