#include "app/MainWindow.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QPushButton>

#include "Version.h"
#include "app/SingleInstanceLock.h"
#include "db/AtomicFileWriter.h"
#include "db/ElementList.h"
#include "db/ElementSelection.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "diag/MacLookup.h"
#include "diag/PingController.h"
#include "platform/Dialogs.h"
#include "protocol/AutoDiscovery.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/ConfigurationSender.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/LevelMonitor.h"
#include "protocol/NetworkBoxes.h"
#include "protocol/UdpClient.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"

namespace nms {

namespace {
const QString kAlreadyRunningTitle = QStringLiteral("Orbelund Veltrino NMS");
const QString kAlreadyRunningText =
    QStringLiteral("Orbelund Veltrino NMS is already running (check the icon in system tray)!");
const QString kPortOccupiedText = UdpClient::kPortOccupiedText;
constexpr int kFirstPingRetryCountdown = 3;
} // namespace

MainWindow::MainWindow(const Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_store(std::make_unique<PrivateProfileStore>())
    , m_ini(std::make_unique<IniRoutines>(*m_store))
    , m_window(std::make_unique<FrmMain>(services.timers))
    , m_context{m_window->controls(), services.dialogs, *m_ini,
                services.timers,      services.clock,   services.iniPath}
    , m_terminate([](int code) { QCoreApplication::exit(code); })
{
    m_udpClient = std::make_unique<UdpClient>(services.udpSocket, services.dialogs);
    m_context.udpClient = m_udpClient.get();
    m_networkBoxes = std::make_unique<NetworkBoxes>(services.dialogs, m_udpClient.get());
    m_context.networkBoxes = m_networkBoxes.get();

    m_panel = std::make_unique<PropertiesPanel>(m_context);
    m_context.panel = m_panel.get();
    m_elementList = std::make_unique<ElementList>(m_context);
    m_context.elementList = m_elementList.get();
    m_selection = std::make_unique<ElementSelection>(m_context);
    m_context.selection = m_selection.get();
    m_levelMonitor = std::make_unique<LevelMonitor>(m_context);
    m_context.levelMonitor = m_levelMonitor.get();
    m_sender = std::make_unique<ConfigurationSender>(m_context);
    m_context.sender = m_sender.get();
    m_confirmer = std::make_unique<ConfigurationConfirmer>(m_context);
    m_context.confirmer = m_confirmer.get();
    m_macLookup = std::make_unique<MacLookup>(m_context, services.neighbours);
    m_context.macLookup = m_macLookup.get();
    m_feedback = std::make_unique<FeedbackProcessor>(m_context);
    m_context.feedback = m_feedback.get();
    m_discovery = std::make_unique<AutoDiscovery>(m_context);
    m_context.discovery = m_discovery.get();
    m_ping = std::make_unique<PingController>(m_context, services.icmpSocket);
    m_context.ping = m_ping.get();

    connect(m_udpClient.get(), &UdpClient::endpointFailed, this,
            &MainWindow::reportEndpointFailure);
    // Queued, so that the sender has stopped whatever would send again (the
    // level polling) before the box opens; one box stands for a burst.
    connect(m_udpClient.get(), &UdpClient::sendRefused, this, &MainWindow::reportSendRefused,
            Qt::QueuedConnection);
    connect(m_udpClient.get(), &UdpClient::levelPacketArrived, m_levelMonitor.get(),
            &LevelMonitor::ShowAudioLevel);
    connectToolbar();
    m_window->installEventFilter(this);
}

MainWindow::~MainWindow() = default;

QString MainWindow::windowTitle()
{
    return QStringLiteral("Veltrino NMS v.%1.%2.%3 - Orbelund Broadcast")
        .arg(kVersionMajor)
        .arg(kVersionMinor)
        .arg(kVersionRevision);
}

MainWindow::LoadResult MainWindow::load()
{
    FrmMainControls& ui = m_context.ui;
    if (!m_services.instanceLock.acquire()) {
        m_services.dialogs.information(kAlreadyRunningTitle, {kAlreadyRunningText});
        return LoadResult::AlreadyRunning;
    }
    ui.Toolbar1Buttons[6]->setEnabled(false);
    ui.Toolbar1Buttons[7]->setEnabled(false);
    // Only the one running instance tidies up after a run killed mid-write.
    AtomicFileWriter::removeAbandonedTemporaries(m_services.iniPath);
    m_elementList->Load_Config();
    if (!m_udpClient->bindLocal()) {
        m_services.dialogs.critical(kApplicationTitle, {kPortOccupiedText});
        return LoadResult::PortOccupied;
    }
    m_ping->setPingRetryCountdown(kFirstPingRetryCountdown);
    m_window->setWindowTitle(windowTitle());
    return LoadResult::Ready;
}

void MainWindow::unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_udpClient->close();
}

void MainWindow::connectToolbar()
{
    for (int index = 1; index <= 7; ++index) {
        QAction* button = m_context.ui.Toolbar1Buttons[index];
        if (button == nullptr || button->isSeparator())
            continue;
        connect(button, &QAction::triggered, this, [this, index] { toolbarClick(index); });
    }
}

void MainWindow::toolbarClick(int index)
{
    QAction* button = m_context.ui.Toolbar1Buttons[index];
    if (button == nullptr || !button->isEnabled())
        return;
    switch (index) {
    case 1: m_discovery->AutoDiscover(); break;
    case 2: m_elementList->RefreshElementList(); break;
    case 4: m_sender->SaveConfiguration(); break;
    case 6: startLevelMonitoring(); break;
    case 7: stopLevelMonitoring(); break;
    default: break; // separators carry no command
    }
}

// The check box changes first, so its own click rule (starting or stopping
// the level polling) has run before the buttons swap.
void MainWindow::startLevelMonitoring()
{
    m_context.ui.chkGetVolume->setChecked(true);
    m_context.ui.Toolbar1Buttons[6]->setEnabled(false);
    m_context.ui.Toolbar1Buttons[7]->setEnabled(true);
}

void MainWindow::stopLevelMonitoring()
{
    m_context.ui.chkGetVolume->setChecked(false);
    m_context.ui.Toolbar1Buttons[6]->setEnabled(true);
    m_context.ui.Toolbar1Buttons[7]->setEnabled(false);
}

void MainWindow::reportEndpointFailure()
{
    if (m_ending)
        return;
    m_ending = true;
    m_services.dialogs.critical(kApplicationTitle, {kPortOccupiedText});
    // The program ends at once: the unload step does not run.
    m_unloaded = true;
    m_window->hide();
    m_terminate(1);
}

void MainWindow::reportSendRefused(const QString& host, const QString& reason)
{
    if (m_sendRefusedShown || m_ending)
        return;
    m_sendRefusedShown = true;
    m_services.dialogs.critical(
        kApplicationTitle,
        {QStringLiteral("The Network Element at %1 cannot be reached from this computer (%2).")
             .arg(host, reason),
         QStringLiteral("Nothing was sent.")});
    m_sendRefusedShown = false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window.get() && event->type() == QEvent::Close)
        unload();
    return QObject::eventFilter(watched, event);
}

} // namespace nms
