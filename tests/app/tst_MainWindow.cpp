#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "FakeClock.h"
#include "FakeIcmpSocket.h"
#include "FakeNeighbourTable.h"
#include "FakeUdpEndpoint.h"
#include "FileBytes.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "TableRow.h"
#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "protocol/UdpClient.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kManagerTitle = QStringLiteral("Orbelund Veltrino Manager");
const QString kPortOccupied = QStringLiteral("Unable to use UDP port 2976: occupied.");
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
    QAction* button(int index) { return ui().Toolbar1Buttons[index]; }
};

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    void emptyDirectoryShowsItsBoxBeforeTheBind()
    {
        Program program;
        int bindsWhileBoxOpen = -1;
        program.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            bindsWhileBoxOpen = program.udp.bindCount;
        };
        QCOMPARE(program.load(), MainWindow::LoadResult::Ready);
        QCOMPARE(program.dialogs.texts(),
                 QStringList{QStringLiteral("Local database is empty.\rPlease click 'Auto "
                                            "Discover' icon to probe the network.")});
        QCOMPARE(program.dialogs.last().title, QStringLiteral("Information"));
        QCOMPARE(bindsWhileBoxOpen, 0);
        QCOMPARE(program.udp.boundPort, quint16(2976));
        QVERIFY(program.udp.isOpen());
        QCOMPARE(program.main->window().windowTitle(),
                 QStringLiteral("Veltrino NMS v.3.4.0 - Orbelund Broadcast"));
        QVERIFY(!QFile::exists(program.iniPath())); // start-up never writes
    }

    void occupiedPortEndsWithItsBox()
    {
        Program program;
        program.udp.failBind = true;
        QCOMPARE(program.load(kEncoder), MainWindow::LoadResult::PortOccupied);
        QCOMPARE(program.dialogs.texts(), QStringList{kPortOccupied});
        QCOMPARE(program.dialogs.last().title, kManagerTitle);
        QCOMPARE(program.dialogs.last().icon, BoxIcon::Critical);
        // The tree was built before the bind; the title was never set.
        QCOMPARE(program.ui().TreeView1->topLevelItemCount(), 1);
        QCOMPARE(program.main->window().windowTitle(),
                 QStringLiteral("Veltrino NMS - Orbelund Broadcast"));
    }

    void secondInstanceShowsItsBoxAndDoesNothingElse()
    {
        Program program;
        SingleInstanceLock firstInstance(program.dir.filePath(QStringLiteral("nms.lock")));
        QVERIFY(firstInstance.acquire());
        QCOMPARE(program.load(), MainWindow::LoadResult::AlreadyRunning);
        QCOMPARE(program.dialogs.texts(),
                 QStringList{QStringLiteral("Orbelund Veltrino NMS is already running (check the "
                                            "icon in system tray)!")});
        QCOMPARE(program.dialogs.last().title, QStringLiteral("Orbelund Veltrino NMS"));
        QCOMPARE(program.dialogs.last().icon, BoxIcon::Information);
        QCOMPARE(program.udp.bindCount, 0);
        QVERIFY(firstInstance.isHeld());
    }

    // A failed endpoint ends the program at once, with status 1: the unload
    // step does not run, not even when the window closes afterwards.
    void endingTheProgram_data()
    {
        QTest::addColumn<bool>("endpointFails");
        addRow("window closed", false);
        addRow("endpoint failed", true);
    }
    void endingTheProgram()
    {
        QFETCH(bool, endpointFails);
        Program program;
        program.load(kEncoder);
        program.main->window().show();
        if (endpointFails)
            emit program.main->udpClient().endpointFailed();
        program.main->window().close();
        QCOMPARE(program.dialogs.texts(),
                 endpointFails ? QStringList{kPortOccupied} : QStringList());
        QCOMPARE(program.terminatedWith, endpointFails ? 1 : -1);
        QCOMPARE(program.udp.closeCount, endpointFails ? 0 : 1);
        QCOMPARE(program.udp.isOpen(), endpointFails);
    }

    void monitoringButtonsSwapAfterTheCheckBox()
    {
        Program program;
        program.load(kEncoder);
        FrmMainControls& ui = program.ui();
        QAction* start = program.button(kStartMonitoringButton);
        QAction* stop = program.button(kStopMonitoringButton);
        ManualTimer* polling = program.timers.timer(QStringLiteral("tmrVolume"));
        // Check box, start, stop, polling.
        const auto state = [&]() -> QString {
            return QString::number(ui.chkGetVolume->isChecked()) +
                   QString::number(start->isEnabled()) + QString::number(stop->isEnabled()) +
                   QString::number(polling->isEnabled());
        };
        QStringList buttonsAtToggle;
        QObject::connect(ui.chkGetVolume, &QPushButton::toggled, [&] {
            buttonsAtToggle << QString::number(start->isEnabled()) +
                                   QString::number(stop->isEnabled());
        });
        program.main->toolbarClick(kStartMonitoringButton); // disabled: no click
        program.main->toolbarClick(3);                      // separators carry no command
        program.main->toolbarClick(5);
        QCOMPARE(state(), QStringLiteral("0000"));

        start->setEnabled(true);
        start->trigger();
        QCOMPARE(state(), QStringLiteral("1011"));
        stop->trigger();
        QCOMPARE(state(), QStringLiteral("0100"));
        QCOMPARE(buttonsAtToggle, QStringList({QStringLiteral("10"), QStringLiteral("01")}));
        QVERIFY(program.udp.sent.isEmpty());
    }

    void unreachableElementIsReportedOnceAndTheProgramGoesOn()
    {
        Program program;
        program.load(kEncoder);
        FrmMainControls& ui = program.ui();
        ui.TreeView1->setCurrentItem(ui.TreeView1->topLevelItem(0));
        program.main->toolbarClick(kStartMonitoringButton);
        program.udp.failSend = true;
        program.udp.failure = UdpEndpoint::SendFailure::Unreachable;
        ManualTimer* polling = program.timers.timer(QStringLiteral("tmrVolume"));
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
        QVERIFY(program.button(kStartMonitoringButton)->isEnabled());
        QVERIFY(program.udp.isOpen());
    }

    void selectingADecoderCaptionsItsStoredAttenuation_data()
    {
        QTest::addColumn<QByteArray>("att");
        QTest::addColumn<QString>("caption");
        // 255 is also the bar's value before any selection: no change signal.
        addRow("unchanged value", QByteArray("255"), "0 dB");
        addRow("minimum", QByteArray("14"), "Mute");
    }
    void selectingADecoderCaptionsItsStoredAttenuation()
    {
        QFETCH(QByteArray, att);
        QFETCH(QString, caption);
        Program program;
        program.load(
            "[001A2B3C4D5F]\nNAME=TX\nIP=198.18.0.12\nINPUT=0\nTYPE=0\nTX=0\nROLE=2\nATT=" + att +
            "\n");
        program.ui().TreeView1->setCurrentItem(program.ui().TreeView1->topLevelItem(0));
        QCOMPARE(program.ui().lblElementType->text(), QStringLiteral("DECODER"));
        QCOMPARE(program.ui().lblAttenDB->text(), caption);
        QVERIFY(program.udp.sent.isEmpty()); // selecting sends nothing
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_MainWindow.moc"
