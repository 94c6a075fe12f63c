#include <QtTest>

#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "DiscoveryFixture.h"
#include "TableRow.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmPaging.h"

using namespace nms;
using namespace nms::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kOldDatabase = "[001A2B3C4D5E]\nNAME=OLD ELEMENT     \nIP=198.18.0.50\nROLE=1\n";

// An encoder's 44-byte answer from 198.18.0.n, serial 1000+n, named
// "ELEMENT n"; with serial 0 when corrupt, which raises a box.
QByteArray answerFrom(quint8 n, bool corrupt = false)
{
    QByteArray d = QByteArray::fromHex("c61200") + char(n) +
                   QByteArray::fromHex("ffffff00c612000100000000000000") +
                   QByteArray("ELEMENT " + QByteArray::number(n) + QByteArray(16, ' ')).left(16) +
                   char(1);
    const quint32 serial = corrupt ? 0 : 1000u + n;
    for (int shift : {24, 16, 8, 0})
        d += char((serial >> shift) & 0xFF);
    return d + QByteArray::fromHex("03040000");
}

QString addressOf(quint8 n)
{
    return u"198.18.0.%1"_s.arg(n);
}

QByteArray hardwareOf(quint8 n)
{
    return QByteArray::fromHex("02aabbcc00") + char(n);
}

struct Fixture : DiscoveryFixture {
    Fixture()
    {
        writeIni(kOldDatabase);
        elementList.Load_Config();
        udp.setRemoteHost(u"198.18.0.40"_s);
        udp.setRemotePort(2977);
        for (quint8 n : {21, 22, 23})
            neighbours.entries.insert(addressOf(n), hardwareOf(n));
    }
    ManualTimer* timer1() const { return timer(u"Timer1"_s); }
    void discover()
    {
        dialogs.script << BoxAnswer::Yes;
        discovery.AutoDiscover();
    }
    // What each step is checked for, in one line.
    QString state() const
    {
        return QString::asprintf(
            "awaiting %d, paging %d, Timer1 %d, remote %s:%d, %d in tree, %d box(es)",
            discovery.isAwaitingAnswers(), pagingWindow.window() != nullptr, timer1()->isEnabled(),
            qPrintable(udp.remoteHost()), udp.remotePort(), ui.TreeView1->topLevelItemCount(),
            int(dialogs.boxes.size()));
    }
    static QString ended(int tree, int boxes)
    {
        return QString::asprintf(
            "awaiting 0, paging 0, Timer1 0, remote 198.18.0.40:2977, %d in tree, %d box(es)", tree,
            boxes);
    }
};

} // namespace

class AutoDiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    // Two elements answer in the window. Only what was lost between the
    // request and the end of the window is reported, once, after the window
    // has closed: two lost by the endpoint (7 were lost before the request)
    // or, with `held`, by the hold limit while the first answer is handled;
    // a second discovery keeps only its own answers and reports nothing.
    void collection_data()
    {
        QTest::addColumn<int>("lost");
        QTest::addColumn<bool>("held");
        addRow("nothing lost", 0, false);
        addRow("two lost by the endpoint", 2, false);
        addRow("two beyond the hold limit", 2, true);
    }
    void collection()
    {
        QFETCH(int, lost);
        QFETCH(bool, held);
        Fixture f;
        f.ui.chkGetVolume->setChecked(true);
        f.socket.dropped = 7;
        f.discover();

        // AutoDiscover has returned with the window still open: no nested
        // event loop runs it.
        QCOMPARE(f.state(), u"awaiting 1, paging 1, Timer1 1, remote 255.255.255.255:1901, 0 in "
                            "tree, 1 box(es)"_s);
        QCOMPARE(f.pagingWindow.window()->windowModality(), Qt::WindowModal);
        QVERIFY(!f.ui.chkGetVolume->isChecked()); // level monitoring stops
        QVERIFY(f.iniBytes().isEmpty() && QFile::exists(f.path));
        QCOMPARE(f.timer1()->interval(), 3000);
        QCOMPARE(f.socket.sent[0].data, "IPMPXSTL ORBELUND PAGING REQUEST"_ba);
        QVERIFY(f.socket.sent[0].broadcast && f.socket.sent[0].port == 1901);
        QVERIFY(f.socket.bindCount == 1 && f.socket.closeCount == 0); // not re-opened

        int handled = 0; // the hold limit is met while the second answer is handled
        connect(&f.udp, &UdpClient::feedbackArrived, &f.udp, [&] {
            if (held && ++handled == 2)
                for (int i = 0; i < UdpClient::kAnswerCapacity + lost; ++i)
                    f.socket.inject(QByteArray(2, '\0'));
        });
        f.socket.inject(answerFrom(22));
        f.socket.inject(answerFrom(21));
        if (!held)
            f.socket.dropped += lost;
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 0); // not during the window
        QVERIFY(f.timer1()->fire());
        QTRY_VERIFY(!f.discovery.isRunning());

        const MessageBoxRequest& question = f.dialogs.boxes.first();
        QVERIFY(question.title == u"Auto Discovery"_s && question.icon == BoxIcon::Question &&
                question.buttons == BoxButtons::YesNo && question.defaultButton == BoxAnswer::No);
        QStringList boxes{u"Performing an 'Auto Discovery' will delete the local database in your "
                          "computer\rand create a new one, based on the Network Elements found (if "
                          "any). \rAre you sure?"_s};
        if (lost > 0)
            boxes << u"%1 datagram(s) arriving during the 'Auto Discovery' were lost before they "
                     "could be handled.\rSome Network Elements may be missing from the list.\r"
                     "Performing an 'Auto Discovery' again may find them."_s.arg(lost);
        QCOMPARE(f.dialogs.texts(), boxes);
        QCOMPARE(f.state(), Fixture::ended(2, boxes.size()));
        if (lost > 0)
            QCOMPARE(f.dialogs.last().icon, BoxIcon::Exclamation);
        QCOMPARE(f.ui.TreeView1->topLevelItem(0)->text(0), u"ELEMENT 22 [02:AA:BB:CC:00:16]"_s);
        QVERIFY(!f.iniBytes().contains("001A2B3C4D5E") && !f.ui.chkGetVolume->isChecked());

        QCoreApplication::processEvents(); // the closed window goes
        f.dialogs.clear();
        f.discover();
        f.socket.inject(answerFrom(23));
        QVERIFY(f.timer1()->fire());
        QCOMPARE(f.state(), Fixture::ended(1, 1));
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0017]\n"));
        f.discover(); // left open: the window goes with the program
    }

    // An answer in time whose MAC is not known yet keeps the window open
    // after Timer1's tick. Only what arrives between the request and the
    // tick answers the discovery: an answer after the tick, or one held
    // behind the question box, is not collected and does not keep the
    // window open. One held behind the question is handled before the
    // panel it may answer for is emptied; one that arrives behind a box
    // raised while those are handled, after the question closed but before
    // the request, still does not answer it. held: 1 behind the question,
    // 2 behind the box of a corrupt answer held there.
    void answerAwaitingItsMac_data()
    {
        QTest::addColumn<int>("other");
        QTest::addColumn<int>("held");
        addRow("late answer with its MAC at once", 21, 0);
        addRow("late answer still waiting for its MAC", 25, 0);
        addRow("answer held behind the question", 21, 1);
        addRow("answer held behind a held answer's box", 21, 2);
    }
    void answerAwaitingItsMac()
    {
        QFETCH(int, other);
        QFETCH(int, held);
        Fixture f;
        int early = held;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            if (early == 0)
                return;
            if (early-- == 2)
                return f.socket.inject(answerFrom(22, true));
            f.clock.now += 1;
            f.socket.inject(answerFrom(quint8(other)));
        };
        const QString selected = u"00:1A:2B:3C:4D:5E"_s;
        f.ui.lblElementMAC->setText(selected);
        QStringList panelWhenHandled;
        connect(&f.udp, &UdpClient::feedbackArrived, &f.udp,
                [&] { panelWhenHandled << f.ui.lblElementMAC->text(); });
        f.discover();
        if (held != 0)
            QCOMPARE(panelWhenHandled, QStringList{selected});
        QCoreApplication::processEvents(); // hands on what the question held back
        QCOMPARE(f.udp.waitingCount(), 0);
        f.socket.inject(answerFrom(24)); // in time, no neighbour entry yet
        QVERIFY(f.timer1()->fire());
        QVERIFY(f.discovery.isAwaitingAnswers());
        if (held == 0)
            f.socket.inject(answerFrom(quint8(other)));

        f.neighbours.resolve(addressOf(24), hardwareOf(24));
        QTRY_VERIFY(!f.discovery.isAwaitingAnswers());
        QCOMPARE(f.state(), Fixture::ended(1, held == 2 ? 2 : 1));
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0018]\nNAME=ELEMENT 24 "));
        QVERIFY(!f.iniBytes().contains("02AABBCC0015") && !f.iniBytes().contains("02AABBCC0019"));
    }

    // The operator says no; or a request cannot leave, or the database
    // cannot be replaced: a critical box, and the discovery ends at once. A
    // kept database is listed again.
    void refused_data()
    {
        QTest::addColumn<QString>("fault");
        addRow("operator says no", "no");
        addRow("broadcast fails", "send");
        addRow("directory refuses writes", "unwritable");
    }
    void refused()
    {
        QFETCH(QString, fault);
        Fixture f;
        f.socket.failSend = fault == u"send"_s;
        if (fault == u"unwritable"_s && !makeDirectoryUnwritable(f.dir.path(), true))
            QSKIP("cannot make a directory unwritable here (chattr unsupported)");
        f.dialogs.script << (fault == u"no"_s ? BoxAnswer::No : BoxAnswer::Yes);
        f.discovery.AutoDiscover();
        if (fault == u"unwritable"_s)
            makeDirectoryUnwritable(f.dir.path(), false);

        const bool send = fault == u"send"_s;
        QCOMPARE(f.socket.sent.size(), 0);
        QCOMPARE(f.iniBytes(), send ? QByteArray() : kOldDatabase);
        // A failed broadcast leaves an empty database: its box follows.
        QCOMPARE(f.state(), Fixture::ended(send ? 0 : 1, fault == u"no"_s ? 1 : (send ? 3 : 2)));
        if (fault == u"no"_s)
            return;
        QCOMPARE(f.dialogs.boxes.at(1).icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.boxes.at(1).text(),
                 send ? u"Unable to send the discovery request on any network interface.\rNo "
                        "Network Element can answer."_s
                      : u"Unable to create a new local database:\r"_s +
                            QDir::toNativeSeparators(f.path) +
                            u"\rThe local database has been left unchanged."_s);
    }
};

QTEST_MAIN(AutoDiscoveryTest)
#include "tst_AutoDiscovery.moc"
