#include <QtTest>

#include <QDir>
#include <QTreeWidget>

#include "DiscoveryFixture.h"
#include "TableRow.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/FeedbackCodec.h"
#include "protocol/NetworkBoxes.h"
#include "ui/CaptionLabel.h"

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

} // namespace

class FeedbackProcessorTest : public QObject {
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
};

QTEST_MAIN(FeedbackProcessorTest)
#include "tst_FeedbackProcessor.moc"
