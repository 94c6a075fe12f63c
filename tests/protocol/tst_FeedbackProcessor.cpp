#include <QtTest>

#include <QDir>
#include <QListWidget>
#include <QRandomGenerator>
#include <QTreeWidget>

#include "DiscoveryFixture.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/NetworkBoxes.h"
#include "ui/CaptionLabel.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kEncoderIp = QStringLiteral("198.18.0.21");
const QString kDecoderIp = QStringLiteral("198.18.0.22");
const QByteArray kEncoderHardware = QByteArray::fromHex("020a5e1f2bc4");
const QByteArray kDecoderHardware = QByteArray::fromHex("02000000aa01");
const QString kCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kEmptyDatabase = QStringLiteral("Local database is empty.");

// Encoder answer: 44 bytes, version 3.4, SFN 1, buffer 6.
QByteArray encoderFeedback(int length = 44)
{
    QByteArray d = QByteArray::fromHex("c6120015"
                                       "ffffff00"
                                       "c6120001"
                                       "c6120107"
                                       "010001");
    d += QByteArrayLiteral("Studio enc 1    ");
    d += QByteArray::fromHex("01"
                             "0001e240"
                             "03040106");
    return d.left(length);
}

// Decoder answer: attenuation 30, version 3.4, SFN 1, buffer 5, silence
// detection mode 2, level 100, time 150.
QByteArray decoderFeedback(int length = 48)
{
    QByteArray d = QByteArray::fromHex("c6120016"
                                       "ffff0000"
                                       "c6120001"
                                       "c6120015"
                                       "000100");
    d += QByteArrayLiteral("TRANSMITTER SITE NORTH").left(16);
    d += QByteArray::fromHex("02"
                             "00008000"
                             "1e030401050264"
                             "96");
    return d.left(length);
}

const QByteArray kEncoderSection = "[020A5E1F2BC4]\n"
                                   "NAME=STUDIO ENC 1    \n"
                                   "IP=198.18.0.21\n"
                                   "MASK=255.255.255.0\n"
                                   "GW=198.18.0.1\n"
                                   "REMOTE=198.18.1.7\n"
                                   "INPUT=1\n"
                                   "TYPE=0\n"
                                   "TX=1\n"
                                   "ROLE=1\n"
                                   "SN=123456\n"
                                   "VER=3.4\n"
                                   "SFN=1\n"
                                   "BUF=6\n";

const QByteArray kDecoderSection = "[02000000AA01]\n"
                                   "NAME=TRANSMITTER SITE\n"
                                   "IP=198.18.0.22\n"
                                   "MASK=255.255.0.0\n"
                                   "GW=198.18.0.1\n"
                                   "REMOTE=198.18.0.21\n"
                                   "INPUT=0\n"
                                   "TYPE=1\n"
                                   "TX=0\n"
                                   "ROLE=2\n"
                                   "SN=32768\n"
                                   "VER=3.4\n"
                                   "SFN=1\n"
                                   "BUF=5\n"
                                   "ATT=30\n"
                                   "SDM=2\n"
                                   "SDL=100\n"
                                   "SDT=150\n";

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

    void encoderAnswerWritesThirteenKeysInOrder()
    {
        Discovering f;
        f.socket.inject(encoderFeedback());
        QCOMPARE(f.iniBytes(), kEncoderSection);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 0); // rebuilt when the window ends
    }

    void decoderAnswerWritesSeventeenKeysInOrder()
    {
        Discovering f;
        f.socket.inject(decoderFeedback());
        QCOMPARE(f.iniBytes(), kDecoderSection);
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    // A discovery stores a new record, defaults for what a short answer
    // leaves out. A confirmation keeps the stored value of every field that
    // the answer did not carry.
    void shortAnswersAreStored_data()
    {
        QTest::addColumn<bool>("confirming");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QString>("expected"); // key=value pairs from `sn` on
        QTest::newRow("encoder, 40 bytes")
            << false << encoderFeedback(40) << "SN=123456 VER=2 SFN=0 BUF=0";
        QTest::newRow("encoder, 41 bytes")
            << false << encoderFeedback(41) << "SN=123456 VER=2 SFN=0 BUF=0";
        QTest::newRow("decoder, 40 bytes")
            << false << decoderFeedback(40)
            << "SN=32768 VER=2 SFN=0 BUF=1 ATT=255 SDM=0 SDL=37 SDT=43";
        QTest::newRow("decoder, 41 bytes")
            << false << decoderFeedback(41)
            << "SN=32768 VER=2 SFN=0 BUF=1 ATT=30 SDM=0 SDL=37 SDT=43";
        QTest::newRow("decoder, 44 bytes")
            << false << decoderFeedback(44)
            << "SN=32768 VER=3.4 SFN=1 BUF=1 ATT=30 SDM=0 SDL=37 SDT=43";
        QTest::newRow("decoder, 46 bytes")
            << false << decoderFeedback(46)
            << "SN=32768 VER=3.4 SFN=1 BUF=5 ATT=30 SDM=2 SDL=37 SDT=43";
        // Stored before: SFN 2 and BUF 7; a decoder also ATT 40, SDM 1,
        // SDL 90, SDT 140.
        QTest::newRow("confirmed encoder, 40 bytes")
            << true << encoderFeedback(40) << "SN=123456 VER=2 SFN=2 BUF=7";
        QTest::newRow("confirmed encoder, 44 bytes")
            << true << encoderFeedback(44) << "SN=123456 VER=3.4 SFN=1 BUF=6";
        QTest::newRow("confirmed decoder, 40 bytes")
            << true << decoderFeedback(40)
            << "SN=32768 VER=2 SFN=2 BUF=7 ATT=255 SDM=1 SDL=90 SDT=140";
        QTest::newRow("confirmed decoder, 41 bytes")
            << true << decoderFeedback(41)
            << "SN=32768 VER=2 SFN=2 BUF=7 ATT=30 SDM=1 SDL=90 SDT=140";
        QTest::newRow("confirmed decoder, 44 bytes")
            << true << decoderFeedback(44)
            << "SN=32768 VER=3.4 SFN=1 BUF=7 ATT=30 SDM=1 SDL=90 SDT=140";
        QTest::newRow("confirmed decoder, 46 bytes")
            << true << decoderFeedback(46)
            << "SN=32768 VER=3.4 SFN=1 BUF=5 ATT=30 SDM=2 SDL=90 SDT=140";
    }
    void shortAnswersAreStored()
    {
        QFETCH(bool, confirming);
        QFETCH(QByteArray, datagram);
        QFETCH(QString, expected);
        Discovering f;
        ConfigurationConfirmer confirmer(f.dialogs, f.ini, f.path, f.panelView);
        if (confirming) {
            const bool decoder = datagram.at(35) == 2;
            f.writeIni(decoder
                           ? QByteArray(kDecoderSection)
                                 .replace("SFN=1\nBUF=5\nATT=30\nSDM=2\nSDL=100\nSDT=150",
                                          "SFN=2\nBUF=7\nATT=40\nSDM=1\nSDL=90\nSDT=140")
                           : QByteArray(kEncoderSection).replace("SFN=1\nBUF=6", "SFN=2\nBUF=7"));
            f.discovery.setAwaitingAnswers(false);
            f.confirmer = &confirmer;
            f.ui.lblElementMAC->setCaption(decoder ? QStringLiteral("02:00:00:00:AA:01")
                                                   : QStringLiteral("02:0A:5E:1F:2B:C4"));
        }
        f.socket.inject(datagram);
        const QByteArray bytes = f.iniBytes();
        const qsizetype from = bytes.indexOf("SN=");
        QVERIFY(from > 0);
        QCOMPARE(QString::fromLatin1(bytes.mid(from)).trimmed().replace('\n', ' '), expected);
    }

    void versionUsesTheLocalesSeparator()
    {
        Discovering f;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        f.socket.inject(encoderFeedback());
        QLocale::setDefault(QLocale::c());
        QVERIFY(f.iniBytes().contains("\nVER=3,4\n"));
    }

    void sameElementTwiceLeavesOneSection()
    {
        Discovering f;
        f.socket.inject(encoderFeedback());
        f.socket.inject(encoderFeedback());
        QCOMPARE(f.iniBytes(), kEncoderSection);
    }

    void failedChecksShowTheirBoxAndStoreNothing_data()
    {
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("line");
        QTest::newRow("input 2") << 16 << QByteArray("\x02", 1)
                                 << "An error occured while retrieving 'Audio Input':";
        QTest::newRow("type 2") << 17 << QByteArray("\x02", 1)
                                << "An error occured while retrieving 'Audio Type':";
        QTest::newRow("tx 255") << 18 << QByteArray("\xff", 1)
                                << "An error occured while retrieving 'TX Type':";
        QTest::newRow("role 3") << 35 << QByteArray("\x03", 1)
                                << "An error occured while retrieving 'Element Type':";
        QTest::newRow("serial 0") << 36 << QByteArray(4, '\0')
                                  << "An error occured while retrieving 'Serial Number':";
        // The first failing check wins.
        QTest::newRow("input and role") << 16 << QByteArray("\x05\x00\x00", 3)
                                        << "An error occured while retrieving 'Audio Input':";
    }
    void failedChecksShowTheirBoxAndStoreNothing()
    {
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, line);
        for (bool discovering : {true, false}) {
            Discovering f;
            f.discovery.setAwaitingAnswers(discovering);
            f.ui.timerRemoteSent->setEnabled(true);
            QByteArray datagram = encoderFeedback();
            datagram.replace(offset, bytes.size(), bytes);
            if (offset == 16 && bytes.size() == 3)
                datagram[35] = char(9);

            f.socket.inject(datagram);

            QVERIFY(f.dialogs.boxes.size() >= 1);
            const MessageBoxRequest& box = f.dialogs.boxes.first();
            QCOMPARE(box.icon, BoxIcon::Critical);
            QCOMPARE(box.title, kApplicationTitle);
            QCOMPARE(box.buttons, BoxButtons::Ok);
            QCOMPARE(box.text(), line + QLatin1Char('\r') + kCorrupted);
            QVERIFY(f.iniBytes().isEmpty());
            QVERIFY(f.ui.timerRemoteSent->isEnabled());
            QVERIFY(f.neighbours.probes.isEmpty());
            // Outside discovery the tree is rebuilt: the empty database box.
            QCOMPARE(f.dialogs.boxes.size(), discovering ? 1 : 2);
            if (!discovering)
                QCOMPARE(f.dialogs.boxes.at(1).lines.first(), kEmptyDatabase);
        }
    }

    // Datagrams that arrive while a network box stands wait behind it; the
    // boxes they raise once it closes are counted, and one box then says how
    // many came, of which kind, from where. Junk is random lengths 1 to 48
    // but 3, as one misbehaving host sends it.
    void boxesFromTheNetworkAreCoalesced_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("senders");
        QTest::addColumn<QStringList>("summary");
        QTest::newRow("one fault from one host")
            << "input" << 1
            << QStringList{"While that message was shown, the network raised:",
                           "%1 more time(s) the same message, from 198.18.0.100."};
        QTest::newRow("from seven hosts, five named")
            << "input" << 7
            << QStringList{"While that message was shown, the network raised:",
                           "%1 more time(s) the same message, from 198.18.0.101, 198.18.0.102, "
                           "198.18.0.103, 198.18.0.104, 198.18.0.105 and 2 other address(es)."};
        QTest::newRow("two kinds, one box")
            << "input,type" << 1
            << QStringList{"While that message was shown, the network raised:",
                           "%1 more time(s) the same message, from 198.18.0.100.",
                           "%2 more time(s) \"An error occured while retrieving 'Audio Type':\", "
                           "from 198.18.0.100."};
        QTest::newRow("junk") << "junk" << 1 << QStringList();
    }

    void boxesFromTheNetworkAreCoalesced()
    {
        QFETCH(QString, pattern);
        QFETCH(int, senders);
        QFETCH(QStringList, summary);
        Discovering f;
        NetworkBoxes boxes(f.dialogs, &f.udp);
        f.networkBoxes = &boxes;
        f.feedback = f.makeFeedback(&f.macLookup);
        QRandomGenerator random(1000);
        const auto datagram = [&](int n) {
            if (pattern == "junk") {
                int length = 1 + random.bounded(48);
                length = length == 3 ? 4 : length;
                QByteArray junk(length, '\0');
                for (char& byte : junk)
                    byte = char(random.bounded(256));
                return junk;
            }
            QByteArray d = encoderFeedback();
            const bool type = pattern.contains("type") && n % 2 == 1;
            d[type ? 17 : 16] = char(2);
            return d;
        };
        const auto sender = [&](int n) {
            return QHostAddress(QStringLiteral("198.18.0.%1").arg(100 + n % senders));
        };
        constexpr int kDatagrams = 1000;
        int sent = 0;
        // The first box stands while the rest arrive, as from a real
        // network; they wait behind it.
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            while (sent < kDatagrams) {
                const int n = sent++;
                f.socket.inject(datagram(n), sender(n));
            }
        };
        while (f.dialogs.boxes.isEmpty() && sent < kDatagrams) {
            const int n = sent++;
            f.socket.inject(datagram(n), sender(n));
        }
        QTRY_VERIFY(!boxes.isCounting());
        f.dialogs.whileOpen = nullptr;

        QVERIFY2(f.dialogs.boxes.size() <= 2, qPrintable(f.dialogs.texts().join("\n")));
        QVERIFY(f.iniBytes().isEmpty());
        if (summary.isEmpty())
            return;
        QCOMPARE(f.dialogs.boxes.size(), 2);
        QCOMPARE(f.dialogs.boxes.first().text(),
                 "An error occured while retrieving 'Audio Input':\r" + kCorrupted);
        // Whatever the queue behind the box held was handed on and counted.
        const int handedOn = kDatagrams - 1 - f.udp.droppedWhileBusy();
        const int secondKind = pattern.contains("type") ? (handedOn + 1) / 2 : 0;
        QStringList expected = summary;
        expected[1] = expected[1].arg(handedOn - secondKind);
        if (expected.size() > 2)
            expected[2] = expected[2].arg(secondKind);
        const MessageBoxRequest& last = f.dialogs.last();
        QCOMPARE(last.lines, expected);
        QCOMPARE(last.title, kApplicationTitle);
        QCOMPARE(last.icon, BoxIcon::Information);
    }

    void roleZeroPasses()
    {
        Discovering f;
        QByteArray datagram = encoderFeedback();
        datagram[35] = char(0);
        f.socket.inject(datagram);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QVERIFY(f.iniBytes().contains("\nROLE=0\n"));
    }

    void unreadableLengthsAreDroppedQuietly_data()
    {
        QTest::addColumn<int>("length");
        for (int length : {0, 1, 2, 4, 39, 42, 43})
            QTest::addRow("%d bytes", length) << length;
    }
    void unreadableLengthsAreDroppedQuietly()
    {
        QFETCH(int, length);
        for (bool discovering : {true, false}) {
            Discovering f;
            f.discovery.setAwaitingAnswers(discovering);
            f.ui.timerRemoteSent->setEnabled(true);
            f.socket.inject(encoderFeedback(48).leftJustified(48, '\1').left(length));
            QVERIFY(f.dialogs.boxes.isEmpty());
            QVERIFY(f.iniBytes().isEmpty());
            QVERIFY(f.neighbours.probes.isEmpty());
            QVERIFY(f.ui.timerRemoteSent->isEnabled());
            QCOMPARE(f.feedback->undecodableCount(), 1);
        }
    }

    void macTimeoutShowsItsBox()
    {
        Discovering f;
        f.neighbours.entries.clear();
        f.ui.timerRemoteSent->setEnabled(true);
        f.socket.inject(encoderFeedback());
        // The window is not blocked: nothing is decided yet.
        QVERIFY(f.dialogs.boxes.isEmpty());
        QVERIFY(!f.ui.timerRemoteSent->isEnabled());
        QVERIFY(f.ui.timerGetMAC->isEnabled());
        f.clock.now += MacLookup::kBoundMs;
        f.timer(QStringLiteral("tmrMacPoll"))->fire();
        QCOMPARE(f.dialogs.texts(),
                 QStringList{QStringLiteral("An error occured while retrieving 'Element MAC':\r") +
                             kCorrupted});
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        QVERIFY(f.iniBytes().isEmpty());
    }

    void macThatIsNotSixPairsIsRefused()
    {
        Discovering f;
        f.neighbours.entries.insert(kEncoderIp, QByteArray::fromHex("0a0b0c0d")); // 4 bytes
        f.socket.inject(encoderFeedback());
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.last().lines.first(),
                 QStringLiteral("An error occured while retrieving 'Element MAC':"));
        QVERIFY(f.iniBytes().isEmpty());
    }

    // Two elements answer at once and neither MAC is known yet; they are
    // resolved in the opposite order. Each gets its own section with its
    // own values.
    void waitingAnswersKeepTheirOwnRecords()
    {
        Discovering f;
        f.neighbours.entries.clear();
        f.socket.inject(encoderFeedback());
        f.socket.inject(decoderFeedback());
        QCOMPARE(f.macLookup.waitingCount(), 2);
        f.neighbours.resolve(kDecoderIp, kDecoderHardware);
        f.neighbours.resolve(kEncoderIp, kEncoderHardware);
        QCOMPARE(f.iniBytes(), kDecoderSection + kEncoderSection);
    }

    // The branch is chosen when the MAC is known: an answer whose lookup
    // outlives the collection window is handled as a confirmation.
    void branchIsChosenWhenTheMacIsKnown()
    {
        Discovering f;
        ConfigurationConfirmer confirmer(f.dialogs, f.ini, f.path, f.panelView);
        f.confirmer = &confirmer;
        f.neighbours.entries.clear();
        f.socket.inject(encoderFeedback());
        f.discovery.setAwaitingAnswers(false);
        f.neighbours.resolve(kEncoderIp, kEncoderHardware);
        QVERIFY(f.iniBytes().isEmpty());
        QVERIFY(!f.dialogs.boxes.isEmpty());
        QCOMPARE(f.dialogs.boxes.first().lines.first(),
                 QStringLiteral("The response received does not match the selected element."));
        QCOMPARE(f.dialogs.last().lines.first(), kEmptyDatabase); // the rebuild at the end
    }

    void outsideDiscoveryTheAnswerIsConfirmedAndTheTreeRebuilt()
    {
        Discovering f;
        f.discovery.setAwaitingAnswers(false);
        f.writeIni(kEncoderSection);
        ConfigurationConfirmer confirmer(f.dialogs, f.ini, f.path, f.panelView);
        f.confirmer = &confirmer;
        f.ui.timerRemoteSent->setEnabled(true);
        f.socket.inject(encoderFeedback());
        QVERIFY(!f.ui.timerRemoteSent->isEnabled());
        QCOMPARE(f.dialogs.boxes.first().lines.first(),
                 QStringLiteral("The response received does not match the selected element."));
        QCOMPARE(f.ui.TreeView1->topLevelItemCount(), 1);
        QCOMPARE(f.iniBytes(), kEncoderSection);
    }

    void failedWriteIsReported()
    {
        Discovering f;
        // The database path is a directory: no write can reach it.
        QFile::remove(f.iniPath());
        QVERIFY(QDir().mkpath(f.iniPath()));
        f.socket.inject(encoderFeedback());
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().text(),
                 QStringLiteral("An error occured while saving this element info to the local "
                                "database.\rCannot save this element info."));
    }
};

QTEST_MAIN(FeedbackProcessorTest)
#include "tst_FeedbackProcessor.moc"
