#include <QtTest>

#include <QComboBox>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSlider>
#include <QUdpSocket>

#include "LabProgram.h"
#include "TableRow.h"
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
const QString kSendQuestion =
    boxLine(BoxIcon::Question, kSendTitle, kSendText, BoxButtons::YesNo, BoxAnswer::No);

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
        m_elements = labElements();
        QCOMPARE(m_elements.size(), 4);
        QVERIFY(!element(1).isDecoder() && element(2).isDecoder());
        QVERIFY(m_program.start());
        QVERIFY(m_program.discover());
        QCOMPARE(m_program.database().size(), 4);
    }

    void init() { m_program.clearBoxes(); }

    // Edits are "control=value" on the panel. The packet is written field
    // by field: ip, mask, gateway, remote, input, type, tx, name, and for a
    // decoder SFN, buffer, silence mode, level and time. Stored are the
    // record's values but the serial, which is the element's own. The
    // second row keeps the question open, with level monitoring on and
    // polling fast, until far more level packets have come in than a box
    // used to hold back; the answer that follows must still be confirmed.
    void configurationReachesElement_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QStringList>("edits");
        QTest::addColumn<QByteArray>("packetHex");
        QTest::addColumn<QStringList>("stored");
        QTest::addColumn<bool>("longQuestionWhileMonitoring");
        // "ENC-01 STUDIO A " fed to element 4, analog input, multicast.
        addRow("encoder", 1,
               commaList("txtElementName=enc-01 studio a,txtRemoteIP=198.18.0.14,cmbAudioInput=1,"
                         "cmbAudioTX=1"),
               QByteArray("c612000b ffffff00 c61200fe c612000e 01 00 01 "
                          "454e432d30312053545544494f204120"),
               commaList("ENC-01 STUDIO A ,198.18.0.11,255.255.255.0,198.18.0.254,198.18.0.14,1,"
                         "0,1,1,3.4,0,2"),
               false);
        // "ENC-01 STUDIO C " sending unicast to 198.18.0.15, digital input.
        addRow("encoder, question open while level packets stream in", 1,
               commaList("txtElementName=enc-01 studio c,txtRemoteIP=198.18.0.15,cmbAudioInput=0,"
                         "cmbAudioTX=0"),
               QByteArray("c612000b ffffff00 c61200fe c612000f 00 00 00 "
                          "454e432d30312053545544494f204320"),
               commaList("ENC-01 STUDIO C ,198.18.0.11,255.255.255.0,198.18.0.254,198.18.0.15,0,"
                         "0,0,1,3.4,0,2"),
               true);
        // "DEC-02 STUDIO B " moved to 198.18.0.52 with gateway .253,
        // listening to element 3, MPX, silence detection forced external
        // at level 100 for 200; SFN off and buffer 2 as discovered.
        addRow("decoder moved", 2,
               commaList("txtElementName=dec-02 studio b,txtElementIP=198.18.0.52,"
                         "txtElementGW=198.18.0.253,txtRemoteIP=198.18.0.13,cmbAudioType=1,"
                         "cmbSilDetMode=2,scrlSilDetLevel=100,scrlSilDetTime=200"),
               QByteArray("c6120034 ffffff00 c61200fd c612000d 00 01 00 "
                          "4445432d30322053545544494f204220 00 02 02 64 c8"),
               commaList("DEC-02 STUDIO B ,198.18.0.52,255.255.255.0,198.18.0.253,198.18.0.13,0,"
                         "1,0,2,3.4,0,2,255,2,100,200"),
               false);
    }
    void configurationReachesElement()
    {
        QFETCH(int, index);
        QFETCH(QStringList, edits);
        QFETCH(QByteArray, packetHex);
        QFETCH(QStringList, stored);
        QFETCH(bool, longQuestionWhileMonitoring);
        const LabElement& target = element(index);
        QVERIFY(m_program.select(target));
        FrmMainControls& ui = m_program.ui();
        QCOMPARE(ui.lblElementType->caption(),
                 target.isDecoder() ? QStringLiteral("DECODER") : QStringLiteral("ENCODER"));
        edit(edits);
        auto restore = qScopeGuard([&] {
            m_program.whileBoxOpen = nullptr;
            ui.tmrVolume->setInterval(kStartPollingMs);
        });
        if (longQuestionWhileMonitoring)
            QVERIFY(monitorFastAndHoldTheQuestion());
        const SimRecord record(target.record);

        m_program.sendConfiguration();
        QVERIFY(m_program.awaitBoxes(2, kAnswerTimeoutMs, kQuietMs));

        const QByteArray packet = QByteArray::fromHex(packetHex);
        QCOMPARE(packet.size(), target.isDecoder() ? 40 : 35);
        QCOMPARE(record.received(kConfigPort), QStringList{QString::fromLatin1(packet.toHex())});
        QCOMPARE(m_program.boxLines(),
                 (QStringList{kSendQuestion,
                              boxLine(BoxIcon::Information, QStringLiteral("Configuration changed"),
                                      kSuccessText)}));
        stored.insert(9, target.serial);
        QCOMPARE(m_program.section(target).values, stored);
        QVERIFY(m_program.nodeTexts().contains(stored.first().trimmed() + QStringLiteral(" [") +
                                               target.programMac() + QStringLiteral("]")));
    }

    // Element 3 runs another gateway than the one sent, or is stopped:
    // exactly that box, no success, and the database stays as it was.
    void refusedSaveLeavesDatabase_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("earliestMs");
        addRow("gateway mismatch", commaList("--disagree,gw=198.18.0.99"),
               boxLine(BoxIcon::Critical, kApplicationTitle,
                       latin1("An error occured while saving 'Element GW':\rFeedback is "
                              "corrupted.")),
               0);
        // The time-out comes 3 s after the send, once.
        addRow("stopped element times out", QStringList(),
               boxLine(BoxIcon::Critical, latin1("Error!"),
                       latin1("Waiting for a response from Network Element has timed "
                              "out!\rCannot save.")),
               2500);
    }
    void refusedSaveLeavesDatabase()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, box);
        QFETCH(int, earliestMs);
        const LabElement& encoder = element(3);
        QVERIFY(simOptions.isEmpty() ? simStop(encoder.index)
                                     : simStart(encoder.index, simOptions));
        auto restart = qScopeGuard([&] { simStart(encoder.index); });
        QVERIFY(m_program.select(encoder));
        QCOMPARE(m_program.ui().txtElementGW->text(),
                 m_program.section(encoder).value(QStringLiteral("GW")));
        const QByteArray databaseBefore = m_program.databaseBytes();
        const qint64 sentAt = m_program.elapsedMs();

        m_program.sendConfiguration();
        QVERIFY(m_program.awaitBoxes(2, 10000, 2000));

        QCOMPARE(m_program.boxLines(), (QStringList{kSendQuestion, box}));
        const qint64 after = m_program.boxTimes.last() - sentAt;
        QVERIFY2(after >= earliestMs, qPrintable(QStringLiteral("box after %1 ms").arg(after)));
        QCOMPARE(m_program.databaseBytes(), databaseBefore);
    }

    void attenuationToMinimumMutesDecoder()
    {
        const LabElement& decoder = element(4);
        const SimRecord record(decoder.record);
        QVERIFY(m_program.select(decoder));
        QTest::qWait(kQuietMs);
        QCOMPARE(record.received(kControlPort), QStringList());

        m_program.ui().scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);
        QTRY_VERIFY_WITH_TIMEOUT(!record.received(kControlPort).isEmpty(), kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        QCOMPARE(record.received(kControlPort), QStringList{QStringLiteral("0e00")});
        QCOMPARE(m_program.ui().lblAttenDB->text(), QStringLiteral("Mute"));
        QCOMPARE(m_program.section(decoder).value(QStringLiteral("ATT")), QStringLiteral("14"));
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    void levelMonitoringShowsTone()
    {
        QVERIFY(m_program.select(element(1)));
        FrmMainControls& ui = m_program.ui();

        m_program.program->toolbarClick(6);
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblVolume->text(), QStringLiteral("-6dBFS"), kAnswerTimeoutMs);
        QCOMPARE(ui.VUMeter->widthTwips(), kMinusSixDbfsWidth);

        m_program.program->toolbarClick(7);
        for (int look = 0; look < 2; ++look) {
            QCOMPARE(ui.lblVolume->text(), QStringLiteral("-oodBFS"));
            QCOMPARE(ui.VUMeter->widthTwips(), 0);
            QTest::qWait(kQuietMs); // answers still on their way change nothing
        }
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    void pingShowsRoundTripOrTimeOut()
    {
        QVERIFY(m_program.select(element(1)));
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
        QVERIFY(!ui.tmrRetryPing->isEnabled());
        QCOMPARE(captions, (QStringList{QStringLiteral("Request Timed Out"),
                                        QStringLiteral("Retrying in 2 seconds..."),
                                        QStringLiteral("Retrying in 1 seconds..."),
                                        QStringLiteral("Retrying in 0 seconds..."),
                                        QStringLiteral("<Stopped>")}));
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    // A thousand random short datagrams (1 to 48 bytes, never 3) from one
    // host, then the operator saves a configuration: what the junk raised
    // takes at most three clicks before the save's own question appears.
    void junkFromOneHostLeavesTheSaveThreeClicksAway()
    {
        QVERIFY(m_program.select(element(3)));
        m_program.whileBoxOpen = [](const MessageBoxRequest&) { QTest::qWait(20); };
        auto restore = qScopeGuard([this] { m_program.whileBoxOpen = nullptr; });
        QUdpSocket junkHost;
        const QHostAddress station(QStringLiteral("198.18.0.1"));
        QVERIFY(junkHost.bind(station, 0));
        QRandomGenerator random(1000);
        for (int sent = 0; sent < 1000; ++sent) {
            const int length = 1 + random.bounded(48);
            QByteArray junk(length == 3 ? 4 : length, '\0');
            for (char& byte : junk)
                byte = char(random.bounded(256));
            junkHost.writeDatagram(junk, station, kConfigPort);
            if (sent % 100 == 99)
                QTest::qWait(5);
        }
        QTRY_VERIFY_WITH_TIMEOUT(!m_program.program->networkBoxes().isCounting(), kAnswerTimeoutMs);
        QTest::qWait(kQuietMs);

        m_program.program->toolbarClick(4); // answered No: nothing is sent
        QTRY_VERIFY_WITH_TIMEOUT(m_program.dialogs.texts().contains(kSendText), kAnswerTimeoutMs);
        const qsizetype clicks = m_program.dialogs.texts().indexOf(kSendText);
        QVERIFY2(clicks <= 3, qPrintable(m_program.dialogs.texts().join(QStringLiteral("\n"))));
        QCOMPARE(m_program.mostOpenBoxes, 1);
        QCOMPARE(m_program.terminatedWith, -1);
    }

    // Element 3 answers its configuration 1 s late, while a second question
    // stands: a second save (answered No after 4 s) or a discovery
    // (answered Yes after 2 s). The answer reached the station in time, so
    // it is confirmed, with no time-out, and before the discovery empties
    // the panel; the discovery's collection then lasts its 3 s and lists
    // the element.
    void answerHeldBehindASecondQuestion_data()
    {
        QTest::addColumn<int>("secondButton");
        QTest::addColumn<int>("questionOpenMs");
        addRow("second save's question", 4, 4000);
        addRow("discovery's question", 1, 2000);
    }
    void answerHeldBehindASecondQuestion()
    {
        QFETCH(int, secondButton);
        QFETCH(int, questionOpenMs);
        const bool discovery = secondButton == 1;
        const LabElement& encoder = element(3);
        QVERIFY(simStart(encoder.index, {QStringLiteral("--delay-ms"), QStringLiteral("1000")}));
        auto restore = qScopeGuard([&] {
            m_program.whileBoxOpen = nullptr;
            simStart(encoder.index);
        });
        QVERIFY(m_program.select(encoder));
        int questions = 0;
        m_program.whileBoxOpen = [&](const MessageBoxRequest& box) {
            if (box.icon == BoxIcon::Question && ++questions == 2)
                QTest::qWait(questionOpenMs);
        };
        m_program.dialogs.script = {BoxAnswer::Yes, discovery ? BoxAnswer::Yes : BoxAnswer::No};

        m_program.program->toolbarClick(4);
        m_program.program->toolbarClick(secondButton);
        const qint64 collectionStart = m_program.elapsedMs();
        QVERIFY(
            QTest::qWaitFor([&] { return !m_program.discoveryRunning(); }, kDiscoveryTimeoutMs));
        const qint64 collectionMs = m_program.elapsedMs() - collectionStart;
        QTest::qWait(kQuietMs);

        QStringList titles;
        for (const MessageBoxRequest& box : m_program.dialogs.boxes)
            titles << box.title;
        QCOMPARE(titles,
                 (QStringList{kSendTitle, discovery ? QStringLiteral("Auto Discovery") : kSendTitle,
                              QStringLiteral("Configuration changed")}));
        QCOMPARE(m_program.dialogs.last().text(), kSuccessText);
        if (!discovery)
            return;
        QVERIFY2(collectionMs >= 2900 && collectionMs < 4000,
                 qPrintable(QStringLiteral("collection took %1 ms").arg(collectionMs)));
        QCOMPARE(m_program.database().size(), 4);
        QVERIFY(m_program.nodeTexts().filter(encoder.programMac()).size() == 1);
    }

private:
    const LabElement& element(int index) const { return m_elements.at(index - 1); }

    static QStringList commaList(const char* commaSeparated)
    {
        return latin1(commaSeparated).split(QLatin1Char(','));
    }

    // Sets each "control=value" as the operator would: text into a field,
    // an index into a list, a value into a scroll bar.
    void edit(const QStringList& edits)
    {
        QWidget* form = m_program.ui().txtElementName->window();
        for (const QString& edit : edits) {
            const QString name = edit.section(QLatin1Char('='), 0, 0);
            const QString value = edit.section(QLatin1Char('='), 1);
            QWidget* control = form->findChild<QWidget*>(name);
            if (auto* field = qobject_cast<QLineEdit*>(control))
                field->setText(value);
            else if (auto* list = qobject_cast<QComboBox*>(control))
                list->setCurrentIndex(value.toInt());
            else if (auto* bar = qobject_cast<QScrollBar*>(control))
                bar->setValue(value.toInt());
            else
                QFAIL(qPrintable(QStringLiteral("no control ") + name));
        }
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
                        [&](const QByteArray& data, const QHostAddress&, quint16, qint64) {
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

    QList<LabElement> m_elements;
    LabProgram m_program;
};

QTEST_MAIN(LabConfigureTest)
#include "tst_LabConfigure.moc"
