#include <QApplication>

#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "db/DatabaseLocation.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/LinuxNetRawCapability.h"
#include "platform/QtTimer.h"
#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "ui/FrmMain.h"
#include "ui/ImageResources.h"
#include "ui/QtDialogs.h"

int main(int argc, char* argv[])
{
    // First of all, while this is the only thread: the ICMP socket is opened
    // and CAP_NET_RAW given up before any thread or network input exists.
    nms::LinuxNetRawCapability netRaw;
    const int keptRawSocket = nms::LinuxIcmpSocket::settleRoute(netRaw);

    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltrino-nms"));
    QApplication::setOrganizationName(QStringLiteral("Orbelund"));
    QApplication::setWindowIcon(nms::ImageResources::programIcon());

    nms::QtDialogs dialogs;
    nms::QtTimerFactory timers;
    nms::SteadyClock clock;
    nms::QtUdpEndpoint udpSocket;
    nms::LinuxIcmpSocket icmpSocket(timers);
    icmpSocket.keepRawSocket(keptRawSocket);
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
