#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>

#include "FakeClock.h"
#include "FakeIcmpSocket.h"
#include "FakeNeighbourTable.h"
#include "FakeUdpEndpoint.h"
#include "FileBytes.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "db/DatabaseLocation.h"
#include "protocol/UdpClient.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kManagerTitle = QStringLiteral("Orbelund Veltrino Manager");
const QString kPortOccupied = QStringLiteral("Unable to use UDP port 2976: occupied.");
using StartupColumns = TableColumns<int, QString, QString, QString>;
const QByteArray kEncoder =
    "[001A2B3C4D5E]\nNAME=STUDIO\nIP=198.18.9.9\nINPUT=0\nTYPE=0\nTX=0\nROLE=1\n";

// The whole program over test doubles, with its own database directory and
// lock file.
struct Program {
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    ManualTimerFactory timers;
    FakeClock clock;
    FakeUdpEndpoint udp;
    FakeIcmpSocket icmp;
    FakeNeighbourTable neighbours;
    SingleInstanceLock lock{dir.filePath(QStringLiteral("nms.lock"))};
    std::unique_ptr<MainWindow> main;
    int terminatedWith = -1;

    QString iniPath() const { return dir.filePath(QStringLiteral("nms.ini")); }
    // Writes nms.ini unless the bytes are empty, then makes the program and
    // runs its load step.
    MainWindow::LoadResult load(const QByteArray& ini = {})
    {
        if (!ini.isEmpty())
            writeBytes(iniPath(), ini);
        main = std::make_unique<MainWindow>(
            MainWindow::Services{dialogs, timers, clock, udp, icmp, neighbours, lock, iniPath()});
        main->setTerminate([this](int code) { terminatedWith = code; });
        return main->load();
    }
    FrmMainControls& ui() { return main->controls(); }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // The start-up box, and what was done before it: the empty database's
    // box comes before the bind, the port's after the tree is built, and a
    // second instance does nothing else. Start-up never writes the database.
    // After: load result, box icon, binds while the box is open, endpoint
    // open, tree nodes, nms.ini written, first instance's lock held.
    void startupBoxes_data()
    {
        StartupColumns::add(); // blocker: 0 none, 1 the port, 2 another instance
        addRow("empty directory", 0,
               "Local database is empty.\rPlease click 'Auto Discover' icon to probe the network.",
               "Information", "0 1 0 1 0 0 0");
        addRow("port occupied", 1, kPortOccupied, kManagerTitle, "2 4 1 0 1 1 0");
        addRow("second instance", 2,
               "Orbelund Veltrino NMS is already running (check the icon in system tray)!",
               "Orbelund Veltrino NMS", "1 1 0 0 0 0 1");
    }
    void startupBoxes()
    {
        const auto [blocker, box, title, after] = StartupColumns::fetch();
        Program program;
        const QString lock = program.dir.filePath(QStringLiteral("nms.lock"));
        // As a crashed instance leaves it: a PID no process has, this program, this host.
        writeBytes(lock, "2147483646\n" + QCoreApplication::applicationName().toUtf8() + '\n' +
                             QSysInfo::machineHostName().toUtf8() + '\n');
        SingleInstanceLock firstInstance(lock);
        QVERIFY(blocker != 2 || (firstInstance.acquire() && firstInstance.acquire()));
        program.udp.failBind = blocker == 1;
        int binds = -1;
        program.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            binds = program.udp.bindCount;
        };
        const int result = int(program.load(blocker == 1 ? kEncoder : QByteArray()));
        QCOMPARE(program.dialogs.texts(), QStringList{box});
        QCOMPARE(program.dialogs.last().title, title);
        QCOMPARE(QString::asprintf("%d %d %d %d %d %d %d", result, int(program.dialogs.last().icon),
                                   binds, program.udp.isOpen(),
                                   int(program.ui().TreeView1->topLevelItemCount()),
                                   QFile::exists(program.iniPath()), firstInstance.isHeld()),
                 after);
        QCOMPARE(program.main->window().windowTitle(),
                 blocker == 0 ? QStringLiteral("Veltrino NMS v.3.4.0 - Orbelund Broadcast")
                              : QStringLiteral("Veltrino NMS - Orbelund Broadcast"));
    }

    // A failed endpoint ends the program at once, with status 1: the unload
    // step does not run, not even when the window closes afterwards.
    void endingTheProgram()
    {
        for (const bool endpointFails : {false, true}) {
            Program program;
            program.load(kEncoder);
            program.main->window().show();
            if (endpointFails)
                emit program.main->udpClient().endpointFailed();
            program.main->window().close();
            QCOMPARE(program.dialogs.texts(),
                     endpointFails ? QStringList{kPortOccupied} : QStringList());
            QCOMPARE(program.terminatedWith * 10 + program.udp.closeCount, endpointFails ? 10 : -9);
        }
    }

    // Check box, start, stop, polling; the buttons swap after the box
    // toggles. A refused poll is reported once and the program goes on.
    void levelMonitoringButtons()
    {
        Program program;
        program.load(kEncoder);
        FrmMainControls& ui = program.ui();
        QAction* start = ui.Toolbar1Buttons[kStartMonitoringButton];
        QAction* stop = ui.Toolbar1Buttons[kStopMonitoringButton];
        ManualTimer* polling = program.timers.timer(QStringLiteral("tmrVolume"));
        QStringList states;
        const auto state = [&] {
            states << QString::number(ui.chkGetVolume->isChecked()) +
                          QString::number(start->isEnabled()) + QString::number(stop->isEnabled()) +
                          QString::number(polling->isEnabled());
        };
        QObject::connect(ui.chkGetVolume, &QPushButton::toggled, state);
        program.main->toolbarClick(kStartMonitoringButton); // disabled: no click
        program.main->toolbarClick(3);                      // separators carry no command
        state();
        ui.TreeView1->setCurrentItem(ui.TreeView1->topLevelItem(0));
        start->trigger();
        state();
        stop->trigger();
        state();
        QCOMPARE(states.join(u' '), QStringLiteral("0000 1101 1011 0010 0100"));
        QVERIFY(program.udp.sent.isEmpty());

        start->trigger();
        program.udp.failSend = true;
        program.udp.failure = UdpEndpoint::SendFailure::Unreachable;
        QVERIFY(polling->fire());
        QVERIFY(!polling->fire()); // polling stopped at the first refusal
        QTRY_COMPARE(program.dialogs.boxes.size(), 1);
        QCOMPARE(program.dialogs.last().title, kManagerTitle);
        QCOMPARE(program.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(program.dialogs.last().lines,
                 QStringList({QStringLiteral("The Network Element at 198.18.9.9 cannot be reached "
                                             "from this computer (Network unreachable)."),
                              QStringLiteral("Nothing was sent.")}));
        QVERIFY(!ui.chkGetVolume->isChecked());
        QVERIFY(start->isEnabled());
        QVERIFY(program.udp.isOpen());
    }

    // 255 is also the bar's value before any selection: no change signal,
    // yet the caption follows the stored value; selecting sends nothing.
    void selectingADecoderCaptionsItsUnchangedAttenuation()
    {
        Program program;
        program.load(
            "[001A2B3C4D5F]\nNAME=TX\nIP=198.18.0.12\nINPUT=0\nTYPE=0\nTX=0\nROLE=2\nATT=255\n");
        program.ui().lblAttenDB->setText(QString());
        program.ui().TreeView1->setCurrentItem(program.ui().TreeView1->topLevelItem(0));
        QCOMPARE(program.ui().lblAttenDB->text(), QStringLiteral("0 dB"));
        QVERIFY(program.udp.sent.isEmpty());
    }

    // Beside the program where it may write, else in the user's directory,
    // made on need; root can write into /usr/bin, but an installed copy must
    // still use the user's directory.
    void databaseLocation()
    {
        QTemporaryDir fresh;
        QTemporaryDir user;
        const QString userData = user.filePath(QStringLiteral("veltrino-nms"));
        QCOMPARE(DatabaseLocation::resolve(fresh.path(), userData),
                 fresh.filePath(QStringLiteral("nms.ini")));
        QVERIFY(!QDir(userData).exists());
        for (const char* program : {"/nonexistent/veltrino", "/usr/bin", "/usr/local/bin/"})
            QCOMPARE(DatabaseLocation::resolve(latin1(program), userData),
                     userData + QStringLiteral("/nms.ini"));
        QVERIFY(QDir(userData).exists());
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
