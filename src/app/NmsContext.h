#pragma once

#include <QString>

namespace nms {

struct FrmMainControls;
class Dialogs;
class IniRoutines;
class TimerFactory;
class Clock;
class UdpClient;
class ElementList;
class PropertiesPanel;
class ElementSelection;
class AutoDiscovery;
class FeedbackProcessor;
class ConfigurationSender;
class ConfigurationConfirmer;
class LevelMonitor;
class PingController;
class MacLookup;
class NetworkBoxes;

// What the main window owns and its behaviour classes share: the controls,
// the services, the database path, the discovery flag, and the behaviour
// objects themselves so that one can call another (the main window wires
// them after construction; any may be null in a test that does not need it).
struct NmsContext {
    FrmMainControls& ui;
    Dialogs& dialogs;
    IniRoutines& ini;
    TimerFactory& timers;
    Clock& clock;
    // Full path of nms.ini.
    QString iniPath;

    bool AutoDiscoverAwaiting = false;

    // The selected element's record: the section named by the MAC the panel
    // shows, and the address the database holds for it (not the edited
    // text box), which every datagram to the element goes to.
    QString selectedSection() const;
    QString selectedStoredAddress() const;
    // The one box for a write to nms.ini that did not reach the file: the
    // operator must not believe an element's values were kept when they
    // were not.
    void reportDatabaseWriteFailure() const;

    UdpClient* udpClient = nullptr;
    ElementList* elementList = nullptr;
    PropertiesPanel* panel = nullptr;
    ElementSelection* selection = nullptr;
    AutoDiscovery* discovery = nullptr;
    FeedbackProcessor* feedback = nullptr;
    ConfigurationSender* sender = nullptr;
    ConfigurationConfirmer* confirmer = nullptr;
    LevelMonitor* levelMonitor = nullptr;
    PingController* ping = nullptr;
    MacLookup* macLookup = nullptr;
    // Boxes raised by datagrams; without it they go straight to dialogs.
    NetworkBoxes* networkBoxes = nullptr;
};

} // namespace nms
