#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

namespace nms {

class AutoDiscovery;
class Clock;
class ConfigurationConfirmer;
class ConfigurationSender;
class Dialogs;
class ElementList;
class ElementSelection;
class FeedbackProcessor;
class FrmMain;
struct FrmMainControls;
class LevelControls;
class PagingWindow;
class ToolbarMonitoringView;
class WidgetMeterView;
class WidgetPanelView;
class WidgetPingField;
class WidgetTreeView;
class IcmpSocket;
class IniRoutines;
class LevelMonitor;
class MacLookup;
class NetworkBoxes;
class NeighbourTable;
class PingController;
class PrivateProfileStore;
class PropertiesPanel;
class SingleInstanceLock;
class TimerFactory;
class UdpClient;
class UdpEndpoint;

// The main window object: owns the window, the endpoint, the behaviour
// objects and all state, and composes them in one place: each workflow gets
// the services, the window's views and the other workflows it uses. It runs
// the load and unload steps and dispatches the toolbar. The platform
// services come in from outside so that tests run the whole program against
// doubles.
class MainWindow : public QObject {
    Q_OBJECT
public:
    struct Services {
        Dialogs& dialogs;
        TimerFactory& timers;
        Clock& clock;
        UdpEndpoint& udpSocket;
        IcmpSocket& icmpSocket;
        NeighbourTable& neighbours;
        SingleInstanceLock& instanceLock;
        QString iniPath;
    };

    enum class LoadResult { Ready, AlreadyRunning, PortOccupied };

    explicit MainWindow(const Services& services, QObject* parent = nullptr);
    ~MainWindow() override;

    // The load step, before the window is first shown.
    LoadResult load();
    // The unload step, when the operator closes the window.
    void unload();

    // Toolbar click by the button's 1-based index.
    void toolbarClick(int index);

    // Called after the fatal endpoint box; ends the program (tests replace it).
    void setTerminate(std::function<void(int)> terminate) { m_terminate = std::move(terminate); }

    FrmMain& window() { return *m_window; }
    FrmMainControls& controls();
    UdpClient& udpClient() { return *m_udpClient; }
    IniRoutines& ini() { return *m_ini; }
    AutoDiscovery& discovery() { return *m_discovery; }
    PagingWindow& pagingWindow() { return *m_pagingWindow; }
    NetworkBoxes& networkBoxes() { return *m_networkBoxes; }

    static QString windowTitle();

private:
    Services m_services;
    std::unique_ptr<PrivateProfileStore> m_store;
    std::unique_ptr<IniRoutines> m_ini;
    std::unique_ptr<FrmMain> m_window;
    std::unique_ptr<UdpClient> m_udpClient;
    std::unique_ptr<NetworkBoxes> m_networkBoxes;
    std::unique_ptr<PropertiesPanel> m_panel;
    std::unique_ptr<WidgetPanelView> m_panelView;
    std::unique_ptr<WidgetTreeView> m_treeView;
    std::unique_ptr<WidgetMeterView> m_meterView;
    std::unique_ptr<WidgetPingField> m_pingField;
    std::unique_ptr<ToolbarMonitoringView> m_monitoringView;
    std::unique_ptr<PagingWindow> m_pagingWindow;
    std::unique_ptr<ElementList> m_elementList;
    std::unique_ptr<ElementSelection> m_selection;
    std::unique_ptr<LevelMonitor> m_levelMonitor;
    std::unique_ptr<LevelControls> m_levelControls;
    std::unique_ptr<ConfigurationSender> m_sender;
    std::unique_ptr<ConfigurationConfirmer> m_confirmer;
    std::unique_ptr<MacLookup> m_macLookup;
    std::unique_ptr<AutoDiscovery> m_discovery;
    std::unique_ptr<FeedbackProcessor> m_feedback;
    std::unique_ptr<PingController> m_ping;
    std::function<void(int)> m_terminate;
    bool m_unloaded = false;
    bool m_ending = false;
    bool m_sendRefusedShown = false;

    void composeViews();
    void composeWorkflows();
    void connectToolbar();
    void startLevelMonitoring();
    void stopLevelMonitoring();
    void reportEndpointFailure();
    void reportSendRefused(const QString& host, const QString& reason);
    bool eventFilter(QObject* watched, QEvent* event) override;
};

} // namespace nms
