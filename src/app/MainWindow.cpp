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
#include "ui/LevelControls.h"
#include "ui/PagingWindow.h"
#include "ui/PropertiesPanel.h"
#include "ui/ToolbarMonitoringView.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"
#include "ui/WidgetPingField.h"
#include "ui/WidgetTreeView.h"

namespace nms {

namespace {
const QString kAlreadyRunningTitle = QStringLiteral("Orbelund Veltrino NMS");
const QString kAlreadyRunningText =
    QStringLiteral("Orbelund Veltrino NMS is already running (check the icon in system tray)!");
constexpr int kFirstPingRetryCountdown = 3;
} // namespace

MainWindow::MainWindow(const Services& services, QObject* parent)
    : QObject(parent)
    , m_services(services)
    , m_store(std::make_unique<PrivateProfileStore>())
    , m_ini(std::make_unique<IniRoutines>(*m_store))
    , m_window(std::make_unique<FrmMain>(services.timers))
    , m_terminate([](int code) { QCoreApplication::exit(code); })
{
    m_udpClient = std::make_unique<UdpClient>(services.udpSocket, services.dialogs, services.clock);
    m_networkBoxes = std::make_unique<NetworkBoxes>(services.dialogs, m_udpClient.get());
    composeViews();
    composeWorkflows();

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

void MainWindow::composeViews()
{
    FrmMainControls& ui = controls();
    m_panel = std::make_unique<PropertiesPanel>(ui);
    m_panelView = std::make_unique<WidgetPanelView>(ui, m_panel.get());
    m_treeView = std::make_unique<WidgetTreeView>(ui);
    m_meterView = std::make_unique<WidgetMeterView>(ui);
    m_pingField = std::make_unique<WidgetPingField>(ui);
    m_monitoringView = std::make_unique<ToolbarMonitoringView>(ui);
    m_pagingWindow = std::make_unique<PagingWindow>(m_window.get());
}

// In the order the behaviour classes connect to the controls, so that a
// control's change runs their rules in the same order.
void MainWindow::composeWorkflows()
{
    FrmMainControls& ui = controls();
    Dialogs& dialogs = m_services.dialogs;
    const QString& iniPath = m_services.iniPath;
    UdpClient& udp = *m_udpClient;

    m_elementList = std::make_unique<ElementList>(dialogs, *m_ini, iniPath, *m_treeView,
                                                  *m_meterView, *m_panelView);
    m_selection = std::make_unique<ElementSelection>(dialogs, *m_ini, iniPath, *m_panelView,
                                                     *m_pingField, *m_monitoringView);
    connect(m_treeView.get(), &WidgetTreeView::nodePicked, m_selection.get(),
            &ElementSelection::SelectElement);
    m_levelMonitor = std::make_unique<LevelMonitor>(dialogs, *m_ini, iniPath, udp, *m_panelView,
                                                    *m_meterView, *m_monitoringView, *ui.tmrVolume);
    m_levelControls = std::make_unique<LevelControls>(ui, *m_levelMonitor);
    m_sender = std::make_unique<ConfigurationSender>(dialogs, *m_ini, iniPath, udp, *m_panelView,
                                                     *ui.timerRemoteSent);
    m_confirmer = std::make_unique<ConfigurationConfirmer>(dialogs, *m_ini, iniPath, *m_panelView);
    m_macLookup = std::make_unique<MacLookup>(dialogs, m_services.clock, m_services.timers,
                                              m_services.neighbours, *ui.timerGetMAC);
    m_discovery = std::make_unique<AutoDiscovery>(dialogs, m_services.timers, iniPath, udp,
                                                  *m_elementList, *m_panelView, *m_treeView,
                                                  *m_monitoringView, *m_pagingWindow);
    m_feedback = std::make_unique<FeedbackProcessor>(
        dialogs, *m_ini, iniPath, udp, *ui.timerRemoteSent, *m_discovery, *m_elementList,
        m_macLookup.get(), m_networkBoxes.get(),
        [this](const FeedbackRecord& record) { m_confirmer->ConfirmConfiguration(record); });
    m_ping = std::make_unique<PingController>(dialogs, m_services.icmpSocket, *m_panelView,
                                              *m_pingField, *ui.tmrRetryPing);
    m_pingField->connectTo(*m_ping);
}

FrmMainControls& MainWindow::controls()
{
    return m_window->controls();
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
    if (!m_services.instanceLock.acquire()) {
        m_services.dialogs.information(kAlreadyRunningTitle, {kAlreadyRunningText});
        return LoadResult::AlreadyRunning;
    }
    m_monitoringView->enableMonitoringButtons(false, false);
    // Only the one running instance tidies up after a run killed mid-write.
    AtomicFileWriter::removeAbandonedTemporaries(m_services.iniPath);
    m_elementList->Load_Config();
    if (!m_udpClient->bindLocal()) {
        m_services.dialogs.critical(kApplicationTitle, {UdpClient::kPortOccupiedText});
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
    for (int index = kAutoDiscoverButton; index <= kStopMonitoringButton; ++index) {
        QAction* button = controls().Toolbar1Buttons[index];
        if (button == nullptr || button->isSeparator())
            continue;
        connect(button, &QAction::triggered, this, [this, index] { toolbarClick(index); });
    }
}

void MainWindow::toolbarClick(int index)
{
    QAction* button = controls().Toolbar1Buttons[index];
    if (button == nullptr || !button->isEnabled())
        return;
    switch (index) {
    case kAutoDiscoverButton: m_discovery->AutoDiscover(); break;
    case kRefreshButton: m_elementList->RefreshElementList(); break;
    case kSaveButton: m_sender->SaveConfiguration(); break;
    case kStartMonitoringButton: startLevelMonitoring(); break;
    case kStopMonitoringButton: stopLevelMonitoring(); break;
    default: break; // separators carry no command
    }
}

// The check box changes first, so its own click rule (starting or stopping
// the level polling) has run before the buttons swap.
void MainWindow::startLevelMonitoring()
{
    controls().chkGetVolume->setChecked(true);
    m_monitoringView->enableMonitoringButtons(false, true);
}

void MainWindow::stopLevelMonitoring()
{
    controls().chkGetVolume->setChecked(false);
    m_monitoringView->enableMonitoringButtons(true, false);
}

void MainWindow::reportEndpointFailure()
{
    if (m_ending)
        return;
    m_ending = true;
    m_services.dialogs.critical(kApplicationTitle, {UdpClient::kPortOccupiedText});
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
