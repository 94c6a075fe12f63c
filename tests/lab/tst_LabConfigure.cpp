#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QUdpSocket>

#include "LabProgram.h"
#include "platform/Timer.h"
#include "protocol/NetworkBoxes.h"
#include "ui/CaptionLabel.h"
#include "ui/ShapeWidget.h"
#include "ui/VuMeterImage.h"

// Configuration, attenuation, level monitoring and ping by the whole program
// on a lab of four elements (1 and 3 encoders, 2 and 4 decoders), driven as
// the operator drives it. Runs inside the lab's station namespace
// (tests/lab/lab_configure.sh). The bytes the elements must receive are
// written out here by hand, field by field, not produced by the program's
// encoder. The functions share one program and depend on running in order.

using namespace nms;
using namespace nms::test;
using namespace nms::test::lab;

namespace {

constexpr int kConfigPort = 2976;
constexpr int kControlPort = 2977;
constexpr int kAnswerTimeoutMs = 8000;
constexpr int kQuietMs = 500;
// The time-out box comes 3 s after the send; wait well beyond it.
constexpr int kTimeoutBoxWaitMs = 10000;
constexpr int kPingWaitMs = 5000;
constexpr int kStartPollingMs = 50;
// Level packets that arrive behind the question: well beyond a queue of a
// few hundred datagrams.
constexpr int kLevelPacketsBehindTheQuestion = 400;
constexpr int kLevelStreamWaitMs = 30000;

const QString kSendTitle = QStringLiteral("Send configuration");
const QString kSendText =
    QStringLiteral("This configuration will be sent to selected Network Element and\rwill also "
                   "be saved to local database in your computer. \rAre you sure?");
const QString kSuccessTitle = QStringLiteral("Configuration changed");
const QString kSuccessText =
    QStringLiteral("New configuration has been sucessfuly saved and loaded!");
const QString kTimedOutText =
    QStringLiteral("Waiting for a response from Network Element has timed out!\rCannot save.");
const QString kGatewayMismatchText =
    QStringLiteral("An error occured while saving 'Element GW':\rFeedback is corrupted.");

// An encoder renamed, fed to element 4, switched to analog input and
// multicast; its own address stays.
const QByteArray kEncoderPacketHex = "c612000b"                          // ip 198.18.0.11
                                     "ffffff00"                          // mask 255.255.255.0
                                     "c61200fe"                          // gw 198.18.0.254
                                     "c612000e"                          // remote 198.18.0.14
                                     "01"                                // input: Analog
                                     "00"                                // type: Left/Right
                                     "01"                                // tx: Multicast
                                     "454e432d30312053545544494f204120"; // "ENC-01 STUDIO A "

// The same encoder renamed again, back to digital input, and sending unicast
// to 198.18.0.15.
const QByteArray kMonitoredEncoderPacketHex =
    "c612000b"                          // ip 198.18.0.11
    "ffffff00"                          // mask
    "c61200fe"                          // gw 198.18.0.254
    "c612000f"                          // remote .15
    "00"                                // input: Digital
    "00"                                // type: Left/Right
    "00"                                // tx: Unicast
    "454e432d30312053545544494f204320"; // "ENC-01 STUDIO C "

// A decoder renamed and moved to a free address with another gateway,
// listening to element 3, MPX audio, silence detection forced external at
// level 100 for 200; SFN off and buffer 2 as discovered.
const QByteArray kDecoderPacketHex = "c6120034"                         // ip 198.18.0.52
                                     "ffffff00"                         // mask 255.255.255.0
                                     "c61200fd"                         // gw 198.18.0.253
                                     "c612000d"                         // remote 198.18.0.13
                                     "00"                               // input: Digital
                                     "01"                               // type: MPX
                                     "00"                               // tx: Unicast
                                     "4445432d30322053545544494f204220" // "DEC-02 STUDIO B "
                                     "00"                               // SFN unticked
                                     "02"                               // buffer 2
                                     "02"                               // Force external
                                     "64"                               // level 100
                                     "c8";                              // time 200

// The simulator's tone peaks at 4204263 (-6 dBFS): 4204263 / 8388608 x 2100
// = 1052.49, rounded to 1052 twips; 20 log10 of the ratio is -6.0000005.
constexpr int kMinusSixDbfsWidth = 1052;

} // namespace

class LabConfigureTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!inLab())
            QSKIP("runs only inside the lab: scripts/lab exec env NMS_LAB=1 tst_LabConfigure "
                  "(tests/lab/lab_configure.sh does this)");
        QVERIFY2(!sourceDir().isEmpty(), "NMS_SOURCE_DIR is not set");
        for (int i = 1; i <= 4; ++i) {
            m_elements << elementInfo(i);
            QVERIFY2(m_elements.last().isValid(),
                     qPrintable(QStringLiteral("no element %1").arg(i)));
        }
        QVERIFY(m_elements[0].isDecoder() == false && m_elements[1].isDecoder());
        QVERIFY(m_program.start());
        QVERIFY(m_program.discover());
        QCOMPARE(m_program.database().size(), 4);
    }

    void init() { m_program.clearBoxes(); }

    // The second row keeps the question open, with level monitoring on and
    // polling fast, until far more level packets have come in than a box
    // used to hold back; the answer that follows must still be confirmed.
    void encoderConfigurationReachesElement_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("remote");
        QTest::addColumn<int>("input");
        QTest::addColumn<int>("tx");
        QTest::addColumn<QByteArray>("packetHex");
        QTest::addColumn<bool>("longQuestionWhileMonitoring");
        QTest::newRow("plain") << QStringLiteral("enc-01 studio a") << QStringLiteral("198.18.0.14")
                               << 1 << 1 << kEncoderPacketHex << false;
        QTest::newRow("question open while level packets stream in")
            << QStringLiteral("enc-01 studio c") << QStringLiteral("198.18.0.15") << 0 << 0
            << kMonitoredEncoderPacketHex << true;
    }
    void encoderConfigurationReachesElement()
    {
        QFETCH(QString, name);
        QFETCH(QString, remote);
        QFETCH(int, input);
        QFETCH(int, tx);
        QFETCH(QByteArray, packetHex);
        QFETCH(bool, longQuestionWhileMonitoring);
        const LabElement& encoder = element(1);
        QVERIFY(m_program.select(encoder.programMac()));
        FrmMainControls& ui = m_program.ui();
        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("ENCODER"));
        ui.txtElementName->setText(name);
        ui.txtRemoteIP->setText(remote);
        ui.cmbAudioInput->setCurrentIndex(input);
        ui.cmbAudioTX->setCurrentIndex(tx);
        auto restore = qScopeGuard([&] {
            m_program.whileBoxOpen = nullptr;
            ui.tmrVolume->setInterval(kStartPollingMs);
        });
        if (longQuestionWhileMonitoring)
            QVERIFY(monitorFastAndHoldTheQuestion());
        SimRecord record(encoder.record);

        saveAnsweringYes();
        QTRY_VERIFY_WITH_TIMEOUT(m_program.dialogs.boxes.size() >= 2, kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        QCOMPARE(record.received(kConfigPort), QStringList{QString::fromLatin1(packetHex)});
        QCOMPARE(packetHex.size(), 35 * 2);
        expectSuccessOnly();
        const IniSection section = sectionOf(encoder);
        const QString stored = name.toUpper().leftJustified(16);
        QCOMPARE(section.value("NAME"), stored);
        QCOMPARE(section.value("REMOTE"), remote);
        QCOMPARE(section.value("INPUT"), QString::number(input));
        QCOMPARE(section.value("TX"), QString::number(tx));
        QCOMPARE(section.value("IP"), encoder.ip);
        QCOMPARE(section.keys.size(), 13);
        QVERIFY(
            m_program.nodeTexts().contains(stored.trimmed() + " [" + encoder.programMac() + "]"));
    }

    void decoderConfigurationReachesElement()
    {
        const LabElement& decoder = element(2);
        QVERIFY(m_program.select(decoder.programMac()));
        FrmMainControls& ui = m_program.ui();
        QCOMPARE(ui.lblElementType->caption(), QStringLiteral("DECODER"));
        ui.txtElementName->setText(QStringLiteral("dec-02 studio b"));
        ui.txtElementIP->setText(QStringLiteral("198.18.0.52"));
        ui.txtElementGW->setText(QStringLiteral("198.18.0.253"));
        ui.txtRemoteIP->setText(QStringLiteral("198.18.0.13"));
        ui.cmbAudioType->setCurrentIndex(1);
        ui.cmbSilDetMode->setCurrentIndex(2);
        ui.scrlSilDetLevel->setValue(100);
        ui.scrlSilDetTime->setValue(200);
        SimRecord record(decoder.record);

        saveAnsweringYes();
        QTRY_VERIFY_WITH_TIMEOUT(m_program.dialogs.boxes.size() >= 2, kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        QCOMPARE(record.received(kConfigPort), QStringList{QString::fromLatin1(kDecoderPacketHex)});
        QCOMPARE(kDecoderPacketHex.size(), 40 * 2);
        expectSuccessOnly();
        const IniSection section = sectionOf(decoder);
        const QStringList expected{"DEC-02 STUDIO B ",
                                   "198.18.0.52",
                                   "255.255.255.0",
                                   "198.18.0.253",
                                   "198.18.0.13",
                                   "0",
                                   "1",
                                   "0",
                                   "2",
                                   decoder.serial,
                                   "3.4",
                                   "0",
                                   "2",
                                   "255",
                                   "2",
                                   "100",
                                   "200"};
        QCOMPARE(section.values, expected);
        QVERIFY(m_program.nodeTexts().contains("DEC-02 STUDIO B [" + decoder.programMac() + "]"));
    }

    // The element runs another gateway than the one sent: exactly that
    // field's box, no success, and the stored gateway stays.
    void gatewayMismatchKeepsStoredGateway()
    {
        const LabElement& encoder = element(3);
        QVERIFY(simStart(encoder.index,
                         {QStringLiteral("--disagree"), QStringLiteral("gw=198.18.0.99")}));
        auto restart = qScopeGuard([&] { simStart(encoder.index); });
        QVERIFY(m_program.select(encoder.programMac()));
        const QString storedGateway = sectionOf(encoder).value("GW");
        QCOMPARE(m_program.ui().txtElementGW->text(), storedGateway);

        saveAnsweringYes();
        QTRY_VERIFY_WITH_TIMEOUT(m_program.dialogs.boxes.size() >= 2, kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        QCOMPARE(m_program.dialogs.texts(), (QStringList{kSendText, kGatewayMismatchText}));
        const MessageBoxRequest& box = m_program.dialogs.last();
        QCOMPARE(box.title, kApplicationTitle);
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(sectionOf(encoder).value("GW"), storedGateway);
    }

    void stoppedElementTimesOutOnce()
    {
        const LabElement& encoder = element(3);
        QVERIFY(simStop(encoder.index));
        auto restart = qScopeGuard([&] { simStart(encoder.index); });
        QVERIFY(m_program.select(encoder.programMac()));
        const QByteArray databaseBefore = databaseBytes();

        const qint64 sentAt = m_program.elapsedMs();
        saveAnsweringYes();
        QTRY_VERIFY_WITH_TIMEOUT(m_program.dialogs.boxes.size() >= 2, kTimeoutBoxWaitMs);
        QTest::qWait(2000); // no second box

        QCOMPARE(m_program.dialogs.texts(), (QStringList{kSendText, kTimedOutText}));
        const MessageBoxRequest& box = m_program.dialogs.last();
        QCOMPARE(box.title, QStringLiteral("Error!"));
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        const qint64 after = m_program.boxTimes.last() - sentAt;
        QVERIFY2(after >= 2500, qPrintable(QStringLiteral("timed out after %1 ms").arg(after)));
        QCOMPARE(databaseBytes(), databaseBefore);
    }

    void attenuationToMinimumMutesDecoder()
    {
        const LabElement& decoder = element(4);
        SimRecord record(decoder.record);
        QVERIFY(m_program.select(decoder.programMac()));
        QTest::qWait(kQuietMs);
        QCOMPARE(record.received(kControlPort), QStringList());

        m_program.ui().scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);
        QTRY_VERIFY_WITH_TIMEOUT(!record.received(kControlPort).isEmpty(), kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        QCOMPARE(record.received(kControlPort), QStringList{QStringLiteral("0e00")});
        QCOMPARE(m_program.ui().lblAttenDB->text(), QStringLiteral("Mute"));
        QCOMPARE(sectionOf(decoder).value("ATT"), QStringLiteral("14"));
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    void levelMonitoringShowsTone()
    {
        const LabElement& encoder = element(1);
        QVERIFY(m_program.select(encoder.programMac()));
        FrmMainControls& ui = m_program.ui();

        m_program.program->toolbarClick(6);
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblVolume->text(), QStringLiteral("-6dBFS"), kAnswerTimeoutMs);
        QCOMPARE(ui.VUMeter->widthTwips(), kMinusSixDbfsWidth);

        m_program.program->toolbarClick(7);
        QCOMPARE(ui.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QTest::qWait(kQuietMs); // answers still on their way change nothing
        QCOMPARE(ui.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    void pingShowsRoundTripOrTimeOut()
    {
        const LabElement& encoder = element(1);
        QVERIFY(m_program.select(encoder.programMac()));
        FrmMainControls& ui = m_program.ui();
        QStringList captions;
        // The recorder ends with this case: later cases set captions too.
        QObject recorderScope;
        connect(ui.lblPing, &CaptionLabel::captionSet, &recorderScope,
                [&](const QString& caption) { captions << caption; });
        const QRegularExpression roundTrip(QStringLiteral("^\\d+ ms$"));

        emit ui.lblPing->clicked();
        QTRY_VERIFY_WITH_TIMEOUT(roundTrip.match(ui.lblPing->caption()).hasMatch(), kPingWaitMs);
        QCOMPARE(ui.shpPing->fillColor(), QColor(0, 255, 0));

        captions.clear();
        ui.txtElementIP->setText(QStringLiteral("198.18.0.250"));
        emit ui.lblPing->clicked();
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblPing->caption(), QStringLiteral("Request Timed Out"),
                                  kPingWaitMs);
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 0, 0));
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblPing->caption(), QStringLiteral("Retrying in 0 seconds..."),
                                  kPingWaitMs);
        emit ui.lblPing->clicked(); // stop the retries
        QCOMPARE(ui.lblPing->caption(), QStringLiteral("<Stopped>"));
        QVERIFY(!ui.tmrRetryPing->isEnabled());
        QCOMPARE(captions, (QStringList{"Request Timed Out", "Retrying in 2 seconds...",
                                        "Retrying in 1 seconds...", "Retrying in 0 seconds...",
                                        "<Stopped>"}));
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    // A thousand random short datagrams (1 to 48 bytes, never 3) from one
    // host, then the operator saves a configuration: what the junk raised
    // takes at most three clicks before the save's own question appears.
    void junkFromOneHostLeavesTheSaveThreeClicksAway()
    {
        QVERIFY(m_program.select(element(3).programMac()));
        m_program.whileBoxOpen = [](const MessageBoxRequest&) { QTest::qWait(20); };
        auto restore = qScopeGuard([this] { m_program.whileBoxOpen = nullptr; });
        QUdpSocket junkHost;
        QVERIFY(junkHost.bind(QHostAddress(QStringLiteral("198.18.0.1")), 0));
        QRandomGenerator random(1000);
        for (int sent = 0; sent < 1000; ++sent) {
            int length = 1 + random.bounded(48);
            length = length == 3 ? 4 : length;
            QByteArray junk(length, '\0');
            for (char& byte : junk)
                byte = char(random.bounded(256));
            junkHost.writeDatagram(junk, QHostAddress(QStringLiteral("198.18.0.1")), 2976);
            if (sent % 100 == 99)
                QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_program.program->networkBoxes().isCounting(), kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        m_program.program->toolbarClick(4); // answered No: nothing is sent
        QTRY_VERIFY_WITH_TIMEOUT(m_program.dialogs.texts().contains(kSendText), kAnswerTimeoutMs);
        const qsizetype clicks = m_program.dialogs.texts().indexOf(kSendText);
        QVERIFY2(clicks <= 3, qPrintable(m_program.dialogs.texts().join("\n")));
        QCOMPARE(m_program.mostOpenBoxes, 1);
        QCOMPARE(m_program.terminatedWith, -1);
    }

private:
    const LabElement& element(int index) const { return m_elements.at(index - 1); }

    void saveAnsweringYes()
    {
        m_program.dialogs.script = {BoxAnswer::Yes};
        m_program.program->toolbarClick(4);
    }

    // Starts level monitoring with Slider1 at its fastest, as the operator
    // may, and arranges that the "Send configuration" question stays open
    // until that many level packets have arrived behind it.
    bool monitorFastAndHoldTheQuestion()
    {
        FrmMainControls& ui = m_program.ui();
        ui.Slider1->triggerAction(QAbstractSlider::SliderToMinimum);
        if (ui.tmrVolume->interval() != ui.Slider1->minimum())
            return false;
        m_program.program->toolbarClick(6);
        if (!QTest::qWaitFor([&] { return ui.lblVolume->text() == QStringLiteral("-6dBFS"); },
                             kAnswerTimeoutMs))
            return false;
        m_program.whileBoxOpen = [this](const MessageBoxRequest& box) {
            if (box.title != kSendTitle)
                return;
            int levelPackets = 0;
            const QMetaObject::Connection counting =
                connect(&m_program.udpSocket, &UdpEndpoint::datagramArrived, this,
                        [&](const QByteArray& data, const QHostAddress&, quint16) {
                            if (data.size() == 1440)
                                ++levelPackets;
                        });
            const bool streamed = QTest::qWaitFor(
                [&] { return levelPackets >= kLevelPacketsBehindTheQuestion; }, kLevelStreamWaitMs);
            disconnect(counting);
            QVERIFY2(streamed,
                     qPrintable(QStringLiteral("only %1 level packets").arg(levelPackets)));
        };
        return true;
    }

    void expectSuccessOnly()
    {
        QCOMPARE(m_program.dialogs.texts(), (QStringList{kSendText, kSuccessText}));
        const MessageBoxRequest& question = m_program.dialogs.boxes.first();
        QCOMPARE(question.title, kSendTitle);
        QCOMPARE(question.icon, BoxIcon::Question);
        QCOMPARE(question.defaultButton, BoxAnswer::No);
        const MessageBoxRequest& success = m_program.dialogs.last();
        QCOMPARE(success.title, kSuccessTitle);
        QCOMPARE(success.icon, BoxIcon::Information);
        QCOMPARE(success.buttons, BoxButtons::Ok);
    }

    IniSection sectionOf(const LabElement& element) const
    {
        for (const IniSection& section : m_program.database()) {
            if (section.name == element.section())
                return section;
        }
        return {};
    }

    QByteArray databaseBytes() const
    {
        QFile file(m_program.iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QList<LabElement> m_elements;
    LabProgram m_program;
};

QTEST_MAIN(LabConfigureTest)
#include "tst_LabConfigure.moc"
