#include <QApplication>

#include "app/DatabaseLocation.h"
#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/QtDialogs.h"
#include "platform/QtTimer.h"
#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "ui/FrmMain.h"
#include "ui/ImageResources.h"

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("veltrino-nms"));
    QApplication::setOrganizationName(QStringLiteral("Orbelund"));
    QApplication::setWindowIcon(nms::ImageResources::programIcon());

    nms::QtDialogs dialogs;
    nms::QtTimerFactory timers;
    nms::SteadyClock clock;
    nms::QtUdpEndpoint udpSocket;
    nms::LinuxIcmpSocket icmpSocket(timers, clock);
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
