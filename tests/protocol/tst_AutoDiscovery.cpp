#include <QtTest>

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTreeWidget>

#include <sys/stat.h>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "protocol/LevelMonitor.h"
#include "protocol/PagingRequest.h"
#include "ui/FrmPaging.h"
#include "ui/LevelControls.h"
#include "ui/VuMeterImage.h"

using namespace nms;
using namespace nms::test;

namespace {

const QByteArray kOldDatabase = "[001A2B3C4D5E]\n"
                                "NAME=OLD ELEMENT     \n"
                                "IP=198.18.0.50\n"
                                "ROLE=1\n";

// An encoder's 44-byte answer from the given address byte, serial 1000+n.
QByteArray answerFrom(quint8 lastAddressByte)
{
    QByteArray d = QByteArray::fromHex("c61200");
    d += char(lastAddressByte);
    d += QByteArray::fromHex("ffffff00"
                             "c6120001"
                             "00000000"
                             "000000");
    d += QByteArrayLiteral("ELEMENT %1       ").replace("%1", QByteArray::number(lastAddressByte));
    d = d.left(35);
    d += char(1);
    const quint32 serial = 1000u + lastAddressByte;
    for (int shift : {24, 16, 8, 0})
        d += char((serial >> shift) & 0xFF);
    d += QByteArray::fromHex("03040000");
    return d;
}

QString addressOf(quint8 lastAddressByte)
{
    return QStringLiteral("198.18.0.%1").arg(lastAddressByte);
}

QByteArray hardwareOf(quint8 lastAddressByte)
{
    return QByteArray::fromHex("02aabbcc00") + char(lastAddressByte);
}

struct Fixture : DiscoveryFixture {
    Fixture()
    {
        writeIni(kOldDatabase);
        elementList.Load_Config();
        udp.setRemoteHost(QStringLiteral("198.18.0.40"));
        udp.setRemotePort(2977);
        for (quint8 n : {21, 22, 23})
            neighbours.entries.insert(addressOf(n), hardwareOf(n));
    }
    ManualTimer* timer1() const { return timer(QStringLiteral("Timer1")); }
    void answerYes() { dialogs.script << BoxAnswer::Yes; }
};

} // namespace

class AutoDiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void questionBoxAsksFirst()
    {
        Fixture f;
        f.dialogs.clear();
        f.discovery.AutoDiscover();
        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.title, QStringLiteral("Auto Discovery"));
        QCOMPARE(box.icon, BoxIcon::Question);
        QCOMPARE(box.buttons, BoxButtons::YesNo);
        QCOMPARE(box.defaultButton, BoxAnswer::No);
        QCOMPARE(box.text(),
                 QStringLiteral("Performing an 'Auto Discovery' will delete the local database in "
                                "your computer\rand create a new one, based on the Network "
                                "Elements found (if any). \rAre you sure?"));
    }

    void noLeavesEverythingAlone()
    {
        Fixture f;
        f.dialogs.script << BoxAnswer::No;
        f.discovery.AutoDiscover();
        QCOMPARE(f.iniBytes(), kOldDatabase);
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        QVERIFY(f.socket.sent.isEmpty());
        QVERIFY(!f.discovery.isAwaitingAnswers());
        QVERIFY(f.pagingWindow.window() == nullptr);
    }

    void yesEmptiesEverythingAndBroadcasts()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();

        // AutoDiscover has returned with the window still open: no nested
        // event loop runs it.
        FrmPaging* paging = f.pagingWindow.window();
        QVERIFY(paging != nullptr);
        QVERIFY(paging->isVisible());
        QVERIFY(paging->isModal());
        QCOMPARE(paging->windowModality(), Qt::WindowModal);

        QVERIFY(f.iniBytes().isEmpty());
        QVERIFY(QFile::exists(f.iniPath()));
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 0);
        QCOMPARE(f.ui.lstHidden->count(), 0);
        QCOMPARE(f.ui.cmbEncoders->count(), 1);
        QCOMPARE(f.ui.cmbEncoders->itemText(0), QStringLiteral("<None>"));
        QCOMPARE(f.ui.cmbEncoders->currentIndex(), -1);
        QCOMPARE(f.ui.VUMeter->widthTwips(), 0);
        QCOMPARE(f.ui.frmTreeView->title(), QStringLiteral("Select element: (0 items)"));
        QVERIFY(f.discovery.isAwaitingAnswers());
        QVERIFY(f.timer1()->isEnabled());
        QCOMPARE(f.timer1()->interval(), 3000);
        QCOMPARE(f.udp.remoteHost(), QStringLiteral("255.255.255.255"));
        QCOMPARE(f.udp.remotePort(), quint16(1901));

        QCOMPARE(f.socket.sent.size(), 1);
        QCOMPARE(f.socket.sent[0].data, QByteArrayLiteral("IPMPXSTL ORBELUND PAGING REQUEST"));
        QCOMPARE(f.socket.sent[0].data.size(), 32);
        QVERIFY(f.socket.sent[0].broadcast);
        QCOMPARE(f.socket.sent[0].port, quint16(1901));
        QCOMPARE(f.socket.bindCount, 1); // not re-opened
        QCOMPARE(f.socket.closeCount, 0);
    }

    void answersAreCollectedThenTheTreeIsRebuilt()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();
        f.socket.inject(answerFrom(22));
        f.socket.inject(answerFrom(21));
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 0); // not during the window

        QVERIFY(f.timer1()->fire());

        QVERIFY(!f.timer1()->isEnabled());
        QVERIFY(!f.discovery.isAwaitingAnswers());
        QCOMPARE(f.udp.remoteHost(), QStringLiteral("198.18.0.40"));
        QCOMPARE(f.udp.remotePort(), quint16(2977));
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 2);
        QCOMPARE(f.ui.TreeView1->topLevelItem(0)->text(0),
                 QStringLiteral("ELEMENT 22 [02:AA:BB:CC:00:16]"));
        QCOMPARE(f.ui.frmTreeView->title(), QStringLiteral("Select element: (2 items)"));
        QVERIFY(f.pagingWindow.window() == nullptr);
        QVERIFY(!f.iniBytes().contains("001A2B3C4D5E"));
        QVERIFY(f.dialogs.boxes.size() == 1); // the question only

        // An answer after the window is a confirmation: nothing is recorded.
        const QByteArray before = f.iniBytes();
        f.socket.inject(answerFrom(23));
        QCOMPARE(f.iniBytes(), before);
    }

    // Only what the endpoint lost between the request and the end of the
    // window is reported, once, after the window has closed.
    void lossDuringTheWindowIsReportedOnce_data()
    {
        QTest::addColumn<quint64>("droppedBefore");
        QTest::addColumn<quint64>("droppedInWindow");
        QTest::newRow("nothing lost") << quint64(0) << quint64(0);
        QTest::newRow("lost before the discovery only") << quint64(7) << quint64(0);
        QTest::newRow("two answers lost in the window") << quint64(7) << quint64(2);
        QTest::newRow("a whole burst lost") << quint64(0) << quint64(498);
    }

    void lossDuringTheWindowIsReportedOnce()
    {
        QFETCH(quint64, droppedBefore);
        QFETCH(quint64, droppedInWindow);
        Fixture f;
        f.socket.dropped = droppedBefore;
        f.answerYes();
        f.discovery.AutoDiscover();
        f.socket.inject(answerFrom(21));
        f.socket.dropped += droppedInWindow;
        QVERIFY(f.timer1()->fire());

        QVERIFY(f.pagingWindow.window() == nullptr);
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        if (droppedInWindow == 0) {
            QCOMPARE(f.dialogs.boxes.size(), 1); // the question only
            return;
        }
        QCOMPARE(f.dialogs.boxes.size(), 2);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.title, QStringLiteral("Auto Discovery"));
        QCOMPARE(box.icon, BoxIcon::Exclamation);
        QCOMPARE(box.text(),
                 QStringLiteral("%1 datagram(s) arriving during the 'Auto Discovery' were lost "
                                "before they could be read.\rSome Network Elements may be missing "
                                "from the list.\rPerforming an 'Auto Discovery' again may find "
                                "them.")
                     .arg(droppedInWindow));
        // The next discovery starts from the new count: nothing more to say.
        QCoreApplication::processEvents();
        f.dialogs.clear();
        f.answerYes();
        f.discovery.AutoDiscover();
        f.socket.inject(answerFrom(22));
        QVERIFY(f.timer1()->fire());
        QCOMPARE(f.dialogs.boxes.size(), 1);
    }

    void answerHeldBehindABoxStillBelongsToTheDiscovery()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();
        QByteArray corrupt = answerFrom(22);
        for (int i = 36; i < 40; ++i)
            corrupt[i] = 0; // serial 0: a corrupted-feedback box
        bool timer1Fired = false;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            if (timer1Fired)
                return;
            f.socket.inject(answerFrom(21));  // arrives in time, held behind the box
            timer1Fired = f.timer1()->fire(); // the window ends while the box is open
        };
        f.socket.inject(corrupt);
        QVERIFY(timer1Fired);
        QTRY_VERIFY(!f.discovery.isAwaitingAnswers());
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        QCOMPARE(f.ui.TreeView1->topLevelItem(0)->text(0),
                 QStringLiteral("ELEMENT 21 [02:AA:BB:CC:00:15]"));
        QCOMPARE(f.dialogs.boxes.size(), 2); // the question and the corrupted serial
    }

    void answerAwaitingItsMacStillBelongsToTheDiscovery()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();
        f.socket.inject(answerFrom(24)); // no neighbour entry yet
        QVERIFY(f.timer1()->fire());
        QVERIFY(f.discovery.isAwaitingAnswers()); // still collecting
        f.neighbours.resolve(addressOf(24), hardwareOf(24));
        QTRY_VERIFY(!f.discovery.isAwaitingAnswers());
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0018]"));
        QCOMPARE(f.dialogs.boxes.size(), 1);
    }

    // Only what arrives between the request and Timer1's tick answers the
    // discovery. Once Timer1 has fired, the window only finishes what it
    // already holds: an answer that arrives now is the answer to a
    // configuration, and it cannot keep the window open. One that arrived
    // before the request (held behind the question box) is not an answer
    // to it either.
    void answerOutsideTheWindowIsNotCollected_data()
    {
        QTest::addColumn<bool>("beforeTheRequest");
        QTest::addColumn<bool>("lateAnswerResolves");
        QTest::newRow("late answer with its MAC at once") << false << true;
        QTest::newRow("late answer still waiting for its MAC") << false << false;
        QTest::newRow("answer held behind the question") << true << true;
    }

    void answerOutsideTheWindowIsNotCollected()
    {
        QFETCH(bool, beforeTheRequest);
        QFETCH(bool, lateAnswerResolves);
        Fixture f;
        f.answerYes();
        bool early = false;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            if (beforeTheRequest && !early) {
                early = true;
                f.socket.inject(answerFrom(21));
            }
        };
        f.discovery.AutoDiscover();
        QCOMPARE(f.socket.sent.size(), 1);
        QCoreApplication::processEvents(); // hands on what the question held back
        QCOMPARE(f.udp.waitingCount(), 0);
        f.socket.inject(answerFrom(24)); // in time, no neighbour entry yet
        QVERIFY(f.timer1()->fire());
        QVERIFY(f.discovery.isAwaitingAnswers());

        const quint8 late = lateAnswerResolves ? 21 : 25;
        if (!beforeTheRequest)
            f.socket.inject(answerFrom(late));
        QVERIFY(!f.iniBytes().contains("02AABBCC0015"));

        f.neighbours.resolve(addressOf(24), hardwareOf(24));
        QTRY_VERIFY(!f.discovery.isAwaitingAnswers());
        QVERIFY(f.pagingWindow.window() == nullptr);
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0018]"));
        QVERIFY(!f.iniBytes().contains("02AABBCC0015"));
        QVERIFY(!f.iniBytes().contains("02AABBCC0019"));
    }

    void answerHeldBehindABoxAfterTheTickIsNotCollected()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();
        QByteArray corrupt = answerFrom(22);
        for (int i = 36; i < 40; ++i)
            corrupt[i] = 0; // serial 0: a corrupted-feedback box
        bool done = false;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            if (done)
                return;
            done = true;
            f.socket.inject(answerFrom(21)); // in time, held behind the box
            QVERIFY(f.timer1()->fire());
            f.socket.inject(answerFrom(23)); // late, held behind the box
        };
        f.socket.inject(corrupt);
        QVERIFY(done);
        QTRY_VERIFY(!f.discovery.isAwaitingAnswers());
        QTRY_COMPARE(f.udp.waitingCount(), 0);
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0015]"));
        QVERIFY(!f.iniBytes().contains("02AABBCC0017"));
    }

    void noAnswerLeavesAnEmptyDatabase()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();
        f.timer1()->fire();
        QVERIFY(f.iniBytes().isEmpty());
        QCOMPARE(f.dialogs.last().text(),
                 QStringLiteral("Local database is empty.\rPlease click the 'Auto Discover' icon "
                                "to probe the network."));
        QCOMPARE(f.udp.remoteHost(), QStringLiteral("198.18.0.40"));
        QCOMPARE(f.udp.remotePort(), quint16(2977));
    }

    void secondDiscoveryKeepsOnlyItsOwnAnswers()
    {
        Fixture f;
        f.answerYes();
        f.discovery.AutoDiscover();
        f.socket.inject(answerFrom(21));
        f.timer1()->fire();
        QCoreApplication::processEvents(); // the closed window goes
        f.answerYes();
        f.discovery.AutoDiscover();
        f.socket.inject(answerFrom(23));
        f.timer1()->fire();
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0017]\n"));
        QVERIFY(!f.iniBytes().contains("02AABBCC0015"));
        QCOMPARE(f.socket.sent.size(), 2);
    }

    void levelMonitoringIsSwitchedOff()
    {
        Fixture f;
        LevelMonitor monitor(f.dialogs, f.ini, f.path, f.udp, f.panelView, f.meterView,
                             f.monitoringView, *f.ui.tmrVolume);
        LevelControls controls(f.ui, monitor);
        f.ui.chkGetVolume->setChecked(true);
        f.answerYes();
        f.discovery.AutoDiscover();
        QVERIFY(!f.ui.chkGetVolume->isChecked());
        QVERIFY(!f.timer(QStringLiteral("tmrVolume"))->isEnabled());
        f.timer1()->fire();
        QVERIFY(!f.ui.chkGetVolume->isChecked());
    }

    void failedBroadcastEndsTheWindowAndSaysSo()
    {
        Fixture f;
        f.socket.failSend = true;
        f.answerYes();
        f.discovery.AutoDiscover();
        QCOMPARE(f.dialogs.boxes.at(1).icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.boxes.at(1).text(),
                 QStringLiteral("Unable to send the discovery request on any network "
                                "interface.\rNo Network Element can answer."));
        QVERIFY(!f.discovery.isAwaitingAnswers());
        QVERIFY(f.pagingWindow.window() == nullptr);
        QCOMPARE(f.udp.remoteHost(), QStringLiteral("198.18.0.40"));
        QCOMPARE(f.udp.remotePort(), quint16(2977));
    }

    void databaseThatCannotBeReplacedIsKept()
    {
        Fixture f;
        const QString directory = f.dir.path();
        if (!makeDirectoryUnwritable(directory, true))
            QSKIP("cannot make a directory unwritable here (chattr unsupported)");
        f.answerYes();
        f.discovery.AutoDiscover();
        makeDirectoryUnwritable(directory, false);

        QCOMPARE(f.iniBytes(), kOldDatabase);
        QCOMPARE(f.dialogs.boxes.size(), 2);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().text(),
                 QStringLiteral("Unable to create a new local database:\r") +
                     QDir::toNativeSeparators(f.iniPath()) +
                     QStringLiteral("\rThe local database has been left unchanged."));
        QVERIFY(f.socket.sent.isEmpty());
        QVERIFY(!f.discovery.isAwaitingAnswers());
        QVERIFY(f.pagingWindow.window() == nullptr);
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1); // rebuilt from the kept file
        QCOMPARE(f.udp.remoteHost(), QStringLiteral("198.18.0.40"));
    }

    void databaseInAMissingDirectoryIsReported()
    {
        Fixture f;
        AutoDiscovery discovery(f.dialogs, f.timers, f.dir.filePath(QStringLiteral("gone/nms.ini")),
                                f.udp, f.elementList, f.panelView, f.treeView, f.monitoringView,
                                f.pagingWindow);
        f.answerYes();
        discovery.AutoDiscover();
        QCOMPARE(f.dialogs.boxes.at(1).lines.first(),
                 QStringLiteral("Unable to create a new local database:"));
        QVERIFY(f.socket.sent.isEmpty());
        QVERIFY(!discovery.isAwaitingAnswers());
    }
};

QTEST_MAIN(AutoDiscoveryTest)
#include "tst_AutoDiscovery.moc"
