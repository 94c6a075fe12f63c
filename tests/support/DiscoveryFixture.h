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
#include "app/NmsContext.h"
#include "db/ElementList.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "diag/MacLookup.h"
#include "protocol/AutoDiscovery.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/UdpClient.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"

namespace nms::test {

// The main window's controls over a real INI store in a temporary
// directory, a UDP client on a fake socket and a fake neighbour table, with
// the element list, the panel, the MAC lookup, the feedback processing and
// the discovery wired as the program wires them.
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
    UdpClient udp{socket, dialogs};
    FrmMain window{timers};
    FrmMainControls& ui = window.controls();
    NmsContext ctx{ui, dialogs, ini, timers, clock, dir.filePath(QStringLiteral("nms.ini"))};
    std::unique_ptr<PropertiesPanel> panel;
    std::unique_ptr<ElementList> elementList;
    std::unique_ptr<MacLookup> macLookup;
    std::unique_ptr<FeedbackProcessor> feedback;
    std::unique_ptr<AutoDiscovery> discovery;

    DiscoveryFixture()
    {
        ctx.udpClient = &udp;
        udp.bindLocal();
        panel = std::make_unique<PropertiesPanel>(ctx);
        ctx.panel = panel.get();
        elementList = std::make_unique<ElementList>(ctx);
        ctx.elementList = elementList.get();
        macLookup = std::make_unique<MacLookup>(ctx, neighbours);
        ctx.macLookup = macLookup.get();
        feedback = std::make_unique<FeedbackProcessor>(ctx);
        ctx.feedback = feedback.get();
        discovery = std::make_unique<AutoDiscovery>(ctx);
        ctx.discovery = discovery.get();
    }

    ManualTimer* timer(const QString& name) const { return timers.timer(name); }
    QString iniPath() const { return ctx.iniPath; }
    void writeIni(const QByteArray& bytes) const { writeBytes(ctx.iniPath, bytes); }
    // Empty also when the file does not exist.
    QByteArray iniBytes() const
    {
        const QByteArray bytes = readBytes(ctx.iniPath);
        return bytes == kNoFile ? QByteArray() : bytes;
    }
};

} // namespace nms::test
