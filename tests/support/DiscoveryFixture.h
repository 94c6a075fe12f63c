#pragma once

#include <memory>

#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "FakeNeighbourTable.h"
#include "FakeUdpEndpoint.h"
#include "FileBytes.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "db/ElementList.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "diag/MacLookup.h"
#include "protocol/AutoDiscovery.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/NetworkBoxes.h"
#include "protocol/UdpClient.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/PagingWindow.h"
#include "ui/PropertiesPanel.h"
#include "ui/ToolbarMonitoringView.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"
#include "ui/WidgetTreeView.h"

namespace nms::test {

// The main window's controls over a real INI store in a temporary
// directory, a UDP client on a fake socket and a fake neighbour table, with
// the element list, the panel, the MAC lookup, the feedback processing and
// the discovery wired as the program wires them. Answers outside a discovery
// go to `confirmer` and network boxes to `networkBoxes` when a test sets
// them.
class DiscoveryFixture {
public:
    QTemporaryDir dir;
    PrivateProfileStore store;
    IniRoutines ini{store};
    RecordingDialogs dialogs;
    ManualTimerFactory timers;
    FakeClock clock;
    FakeUdpEndpoint socket;
    FakeNeighbourTable neighbours;
    UdpClient udp{socket, dialogs, clock};
    FrmMain window{timers};
    FrmMainControls& ui = window.controls();
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    PropertiesPanel panel{ui};
    WidgetPanelView panelView{ui, &panel};
    WidgetTreeView treeView{ui};
    WidgetMeterView meterView{ui};
    ToolbarMonitoringView monitoringView{ui};
    PagingWindow pagingWindow{&window};
    ElementList elementList{dialogs, ini, path, treeView, meterView, panelView};
    MacLookup macLookup{dialogs, clock, timers, neighbours, *ui.timerGetMAC};
    AutoDiscovery discovery{dialogs,   timers,   path,           udp,         elementList,
                            panelView, treeView, monitoringView, pagingWindow};
    ConfigurationConfirmer* confirmer = nullptr;
    NetworkBoxes* networkBoxes = nullptr;
    std::unique_ptr<FeedbackProcessor> feedback;

    DiscoveryFixture()
    {
        udp.bindLocal();
        feedback = makeFeedback(&macLookup);
    }

    // A feedback processing as the fixture's, with or without a MAC lookup;
    // it reports to `networkBoxes` as that is when it is made.
    std::unique_ptr<FeedbackProcessor> makeFeedback(MacLookup* lookup)
    {
        return std::make_unique<FeedbackProcessor>(dialogs, ini, path, udp, *ui.timerRemoteSent,
                                                   discovery, elementList, lookup, networkBoxes,
                                                   [this](const FeedbackRecord& record) {
                                                       if (confirmer != nullptr)
                                                           confirmer->ConfirmConfiguration(record);
                                                   });
    }

    ManualTimer* timer(const QString& name) const { return timers.timer(name); }
    QString iniPath() const { return path; }
    void writeIni(const QByteArray& bytes) const { writeBytes(path, bytes); }
    // Empty also when the file does not exist.
    QByteArray iniBytes() const
    {
        const QByteArray bytes = readBytes(path);
        return bytes == kNoFile ? QByteArray() : bytes;
    }
};

} // namespace nms::test
