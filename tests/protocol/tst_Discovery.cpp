#include <QtTest>

#include <QDir>
#include <QPushButton>
#include <QTreeWidget>

#include "DiscoveryFixture.h"
#include "TableRow.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/FeedbackCodec.h"
#include "protocol/NetworkBoxes.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmPaging.h"

using namespace nms;
using namespace nms::test;
using namespace Qt::StringLiterals;

namespace {

const QString kEncoderIp = u"198.18.0.21"_s;
const QString kDecoderIp = u"198.18.0.22"_s;
const QByteArray kEncoderHardware = QByteArray::fromHex("020a5e1f2bc4");
const QByteArray kDecoderHardware = QByteArray::fromHex("02000000aa01");
const QString kCorrupted = u"Feedback is corrupted."_s;

// Encoder answer: 44 bytes, version 3.4, SFN 1, buffer 6.
QByteArray encoderFeedback(int length = 44)
{
    return QByteArray(QByteArray::fromHex("c6120015ffffff00c6120001c6120107010001") +
                      "Studio enc 1    " + QByteArray::fromHex("010001e24003040106"))
        .left(length);
}

// Decoder answer: attenuation 30, version 3.4, SFN 1, buffer 5, silence
// detection mode 2, level 100, time 150.
QByteArray decoderFeedback(int length = 48)
{
    return QByteArray(QByteArray::fromHex("c6120016ffff0000c6120001c6120015000100") +
                      "TRANSMITTER SITE" + QByteArray::fromHex("02000080001e03040105026496"))
        .left(length);
}

QByteArray patched(int offset, const QByteArray& bytes, QByteArray datagram = encoderFeedback())
{
    return datagram.replace(offset, bytes.size(), bytes);
}

const QByteArray kEncoderSection = "[020A5E1F2BC4]\nNAME=STUDIO ENC 1    \nIP=198.18.0.21\n"
                                   "MASK=255.255.255.0\nGW=198.18.0.1\nREMOTE=198.18.1.7\nINPUT=1\n"
                                   "TYPE=0\nTX=1\nROLE=1\nSN=123456\nVER=3.4\nSFN=1\nBUF=6\n";
const QByteArray kDecoderSection = "[02000000AA01]\nNAME=TRANSMITTER SITE\nIP=198.18.0.22\n"
                                   "MASK=255.255.0.0\nGW=198.18.0.1\nREMOTE=198.18.0.21\nINPUT=0\n"
                                   "TYPE=1\nTX=0\nROLE=2\nSN=32768\nVER=3.4\nSFN=1\nBUF=5\n"
                                   "ATT=30\nSDM=2\nSDL=100\nSDT=150\n";

// A fixture in the middle of a discovery: the database is empty and the
// flag is set.
struct Discovering : DiscoveryFixture {
    Discovering()
    {
        writeIni(QByteArray());
        discovery.setAwaitingAnswers(true);
        neighbours.entries.insert(kEncoderIp, kEncoderHardware);
        neighbours.entries.insert(kDecoderIp, kDecoderHardware);
    }
};

const QByteArray kOldDatabase = "[001A2B3C4D5E]\nNAME=OLD ELEMENT     \nIP=198.18.0.50\nROLE=1\n";

// An encoder's answer from 198.18.0.n named "ELEMENT n"; with serial 0
// when corrupt, which raises a box.
QByteArray answerFrom(int n, bool corrupt = false)
{
    const QByteArray d = patched(19, "ELEMENT " + QByteArray::number(n).leftJustified(8),
                                 patched(3, QByteArray(1, char(n))));
    return corrupt ? patched(36, QByteArray(4, '\0'), d) : d;
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
            neighbours.entries.insert(u"198.18.0.%1"_s.arg(n), hardwareOf(n));
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

class DiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // One row per role and length class: ver sfn buf att sdm sdl sdt, then
    // the fields carried. Which lengths can be read at all, and that each
    // field is read from its own bytes, is the fuzz harness's to check.
    void decodedByRoleAndLength_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("expected");
        addRow("encoder, 40 bytes", encoderFeedback(40), "2 0 0 255 0 37 43");
        addRow("encoder, 44 bytes", encoderFeedback(44), "3.4 1 6 255 0 37 43 sfn buf");
        addRow("decoder, 40 bytes", decoderFeedback(40), "2 0 1 255 0 37 43");
        addRow("decoder, 41 bytes", decoderFeedback(41), "2 0 1 30 0 37 43 att");
        addRow("decoder, 44 bytes", decoderFeedback(44), "3.4 1 1 30 0 37 43 sfn att");
        addRow("decoder, 46 bytes", decoderFeedback(46), "3.4 1 5 30 2 37 43 sfn buf att sdm");
        addRow("decoder, 48 bytes", decoderFeedback(48),
               "3.4 1 5 30 2 100 150 sfn buf att sdm sdl sdt");
    }
    void decodedByRoleAndLength()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        const auto record = FeedbackCodec::decode(datagram);
        QVERIFY(record.has_value());
        const auto n = [](double value) { return QString::number(value); };
        QStringList fields{n(record->ver), n(record->sfn), n(record->buf), n(record->att),
                           n(record->sdm), n(record->sdl), n(record->sdt)};
        const std::pair<bool, const char*> carried[] = {
            {record->hasSfn, "sfn"}, {record->hasBuf, "buf"}, {record->hasAtt, "att"},
            {record->hasSdm, "sdm"}, {record->hasSdl, "sdl"}, {record->hasSdt, "sdt"}};
        for (const auto& [present, name] : carried)
            if (present)
                fields << QString::fromLatin1(name);
        QCOMPARE(fields.join(QLatin1Char(' ')), expected);
    }

    // Each datagram arrives twice and leaves one section. A discovery
    // stores a new record; an answer whose MAC is known only after the
    // window ("late") is a confirmation, which keeps the stored value of
    // every field the answer did not carry (stored before: SFN 2, BUF 7).
    // What each length carries is the codec's test. expected: the lines
    // from ROLE on.
    void stored_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("expected");
        addRow("encoder", "discover", encoderFeedback(), "ROLE=1 SN=123456 VER=3.4 SFN=1 BUF=6");
        addRow("decoder", "discover", decoderFeedback(),
               "ROLE=2 SN=32768 VER=3.4 SFN=1 BUF=5 ATT=30 SDM=2 SDL=100 SDT=150");
        addRow("role 0", "discover", patched(35, "\0"_ba), "ROLE=0 SN=123456 VER=3.4 SFN=1 BUF=6");
        addRow("locale's separator", "german", encoderFeedback(),
               "ROLE=1 SN=123456 VER=3,4 SFN=1 BUF=6");
        addRow("late encoder, 40 bytes", "late", encoderFeedback(40),
               "ROLE=1 SN=123456 VER=2 SFN=2 BUF=7");
    }
    void stored()
    {
        QFETCH(QString, mode);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        Discovering f;
        ConfigurationConfirmer confirmer(f.dialogs, f.ini, f.path, f.panelView);
        const bool decoder = datagram.at(35) == 2;
        const bool late = mode == u"late"_s;
        const QByteArray section = decoder ? kDecoderSection : kEncoderSection;
        const QByteArray head = section.left(section.indexOf("ROLE="));
        if (late) {
            f.writeIni(head + "ROLE=1\nSN=123456\nVER=3.4\nSFN=2\nBUF=7\n");
            f.confirmer = &confirmer;
            f.ui.lblElementMAC->setCaption(u"02:0A:5E:1F:2B:C4"_s);
            f.neighbours.entries.clear();
        }
        if (mode == u"german"_s)
            QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        f.ui.timerRemoteSent->setEnabled(true);
        f.socket.inject(datagram);
        f.socket.inject(datagram);
        f.discovery.setAwaitingAnswers(!late);
        f.neighbours.resolve(decoder ? kDecoderIp : kEncoderIp,
                             decoder ? kDecoderHardware : kEncoderHardware);
        QCOMPARE(QString::fromLatin1(f.iniBytes()),
                 QString::fromLatin1(head) + expected.replace(u' ', u'\n') + u'\n');
        QVERIFY(!f.ui.timerRemoteSent->isEnabled());
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), late ? 1 : 0);
    }

    // line: the box's first line; none for what cannot be read, which is
    // only counted. hardware: what the neighbour table gives for the
    // answer's address (none: nothing, the lookup times out). Either way
    // nothing is stored; an answer refused by its checks is not looked up
    // and the wait for a configuration answer goes on. Outside a discovery
    // the tree is rebuilt, which shows the empty database box.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("hardware");
        QTest::addColumn<QString>("line");
        const QString failed = u"An error occured while retrieving '%1':"_s;
        addRow("tx 255", patched(18, "\xff"_ba), kEncoderHardware, failed.arg(u"TX Type"_s));
        addRow("role 3", patched(35, "\x03"_ba), kEncoderHardware, failed.arg(u"Element Type"_s));
        addRow("serial 0", patched(36, QByteArray(4, '\0')), kEncoderHardware,
               failed.arg(u"Serial Number"_s));
        addRow("input before role", patched(35, "\x09"_ba, patched(16, "\x05"_ba)),
               kEncoderHardware, failed.arg(u"Audio Input"_s));
        addRow("0 bytes", QByteArray(), kEncoderHardware, QString());
        // The window is not blocked while the MAC is looked up.
        addRow("MAC never comes", encoderFeedback(), QByteArray(), failed.arg(u"Element MAC"_s));
        addRow("MAC not six pairs", encoderFeedback(), QByteArray::fromHex("0a0b0c0d"),
               failed.arg(u"Element MAC"_s));
    }
    void refused()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, hardware);
        QFETCH(QString, line);
        const bool lookedUp = line.contains(u"MAC"_s);
        for (bool discovering : {true, false}) {
            Discovering f;
            f.discovery.setAwaitingAnswers(discovering);
            f.neighbours.entries.clear();
            if (!hardware.isEmpty())
                f.neighbours.entries.insert(kEncoderIp, hardware);
            f.ui.timerRemoteSent->setEnabled(true);
            f.socket.inject(datagram);
            QVERIFY(f.dialogs.boxes.isEmpty() || !hardware.isEmpty());
            f.clock.now += MacLookup::kBoundMs;
            f.timer(u"tmrMacPoll"_s)->fire();
            QVERIFY(f.iniBytes().isEmpty());
            QCOMPARE(f.ui.timerRemoteSent->isEnabled(), !lookedUp);
            QCOMPARE(f.neighbours.probes.isEmpty(), !lookedUp);
            QCOMPARE(f.feedback->undecodableCount(), line.isEmpty() ? 1 : 0);
            QStringList texts;
            if (!line.isEmpty())
                texts << line + u'\r' + kCorrupted;
            if (!line.isEmpty() && !discovering)
                texts << u"Local database is empty.\rPlease click the 'Auto Discover' icon to "
                         "probe the network."_s;
            QCOMPARE(f.dialogs.texts(), texts);
            for (const MessageBoxRequest& box : f.dialogs.boxes.mid(0, 1))
                QVERIFY(box.icon == BoxIcon::Critical && box.title == kApplicationTitle &&
                        box.buttons == BoxButtons::Ok);
        }
    }

    // Datagrams that arrive while a network box stands wait behind it. Up
    // to three boxes in a row are shown as they are; beyond that, the third
    // one opens a summary of what came: its own lines, then each kind's
    // count and first five addresses. A thousand faulty answers arrive from
    // seven hosts, every other one of the second kind.
    void coalesced()
    {
        Discovering f;
        NetworkBoxes boxes(f.dialogs, &f.udp);
        f.networkBoxes = &boxes;
        f.feedback = f.makeFeedback(&f.macLookup);
        // The first box stands while the rest arrive, as from a real
        // network; they wait behind it.
        int n = 0;
        const auto injectNext = [&] {
            f.socket.inject(patched(16 + n % 2, "\x02"_ba),
                            QHostAddress(u"198.18.0.%1"_s.arg(100 + n % 7)));
        };
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            while (++n < 1000)
                injectNext();
        };
        injectNext();
        QTRY_VERIFY(!boxes.isCounting());
        f.dialogs.whileOpen = nullptr;

        QVERIFY(f.iniBytes().isEmpty());
        QCOMPARE(f.udp.droppedWhileBusy(), 0);
        const QString failed = u"An error occured while retrieving '%1':"_s;
        QStringList lines;
        for (const MessageBoxRequest& box : f.dialogs.boxes)
            lines << box.lines.join(u'|');
        const QString input = failed.arg(u"Audio Input"_s), type = failed.arg(u"Audio Type"_s);
        const QString summary =
            u"A burst of messages came from the network:|499 time(s) \"%1\", from 198.18.0.102, "
            "198.18.0.104, 198.18.0.106, 198.18.0.101, 198.18.0.103 and 2 other address(es).|"
            "499 time(s) \"%2\", from 198.18.0.103, 198.18.0.105, 198.18.0.100, 198.18.0.102, "
            "198.18.0.104 and 2 other address(es)."_s.arg(input, type);
        QCOMPARE(lines, QStringList({input + u'|' + kCorrupted, type + u'|' + kCorrupted,
                                     input + u'|' + kCorrupted + u'|' + summary}));
    }

    // A record that cannot be written is said: the operator must not
    // believe an element was recorded.
    void unwritableDatabase()
    {
        Discovering f;
        QVERIFY(QFile::remove(f.path) && QDir().mkpath(f.path));
        f.socket.inject(encoderFeedback());
        QCOMPARE(f.dialogs.texts(), QStringList{u"An error occured while saving this element info "
                                                "to the local database.\rCannot save this "
                                                "element info."_s});
    }

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
            f.socket.inject(answerFrom(other));
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
            f.socket.inject(answerFrom(other));

        f.neighbours.resolve(u"198.18.0.24"_s, hardwareOf(24));
        QTRY_VERIFY(!f.discovery.isAwaitingAnswers());
        QCOMPARE(f.state(), Fixture::ended(1, held == 2 ? 2 : 1));
        QVERIFY(f.iniBytes().startsWith("[02AABBCC0018]\nNAME=ELEMENT 24 "));
        QVERIFY(!f.iniBytes().contains("02AABBCC0015") && !f.iniBytes().contains("02AABBCC0019"));
    }

    // The operator says no; or a request cannot leave, or the database
    // cannot be replaced: a critical box, and the discovery ends at once. A
    // kept database is listed again.
    void requestRefused_data()
    {
        QTest::addColumn<QString>("fault");
        addRow("operator says no", "no");
        addRow("broadcast fails", "send");
        addRow("directory refuses writes", "unwritable");
    }
    void requestRefused()
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

QTEST_MAIN(DiscoveryTest)
#include "tst_Discovery.moc"
