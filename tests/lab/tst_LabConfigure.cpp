#include <QtTest>

#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QSlider>

#include "LabProgram.h"
#include "TableRow.h"
#include "ui/CaptionLabel.h"
#include "ui/ShapeWidget.h"
#include "ui/VuMeterImage.h"

// Configuration, attenuation, level monitoring and ping by the whole program
// on a lab of four elements (1 and 3 encoders, 2 and 4 decoders), driven as
// the operator drives it (tests/lab/lab_configure.sh). The bytes the elements
// must receive are written out by hand, not produced by the program's
// encoder. The functions share one program and run in order.

using namespace nms;
using namespace nms::test;
using namespace nms::test::lab;

namespace {

constexpr int kConfigPort = 2976;
constexpr int kControlPort = 2977;
constexpr int kAnswerTimeoutMs = 8000;
constexpr int kQuietMs = 500;
// Level packets that arrive behind the question: well beyond a queue of a
// few hundred datagrams.
constexpr int kLevelPacketsBehindTheQuestion = 400;
const QString kSendText =
    QStringLiteral("This configuration will be sent to selected Network Element and\rwill also "
                   "be saved to local database in your computer. \rAre you sure?");

} // namespace

class LabConfigureTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (outsideTheLab())
            QSKIP(kOnlyInTheLab);
        m_elements = labElements();
        QCOMPARE(m_elements.size(), 4);
        QVERIFY(m_program.start());
        QVERIFY(m_program.discover());
        QCOMPARE(m_program.database().size(), 4);
    }

    void init() { m_program.dialogs.clear(); }

    // Edits are "control=value" on the panel; the packet's fields: ip, mask,
    // gateway, remote, input, type, tx, name, and for a decoder SFN, buffer,
    // silence mode, level and time. The encoder's question stays open, with level monitoring
    // polling at its fastest, until far more level packets have come in than
    // the kernel's default queue holds; its answer must still be confirmed.
    void configurationReachesElement_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("edits");
        QTest::addColumn<QByteArray>("packetHex");
        QTest::addColumn<QString>("stored");
        addRow("encoder, question open while level packets stream in", 1,
               "txtElementName=enc-01 studio c,txtRemoteIP=198.18.0.15,cmbAudioInput=0,"
               "cmbAudioTX=0",
               QByteArray("c612000b ffffff00 c61200fe c612000f 00 00 00 "
                          "454e432d30312053545544494f204320"),
               "NAME=ENC-01 STUDIO C  IP=198.18.0.11 MASK=255.255.255.0 GW=198.18.0.254 "
               "REMOTE=198.18.0.15 INPUT=0 TYPE=0 TX=0 ROLE=1 SN=100001 VER=3.4 SFN=0 BUF=2");
        // Moved to 198.18.0.52 (the script checks the interface).
        addRow(
            "decoder moved", 2,
            "txtElementName=dec-02 studio b,txtElementIP=198.18.0.52,"
            "txtElementGW=198.18.0.253,txtRemoteIP=198.18.0.13,cmbAudioType=1,"
            "cmbSilDetMode=2,scrlSilDetLevel=100,scrlSilDetTime=200",
            QByteArray("c6120034 ffffff00 c61200fd c612000d 00 01 00 "
                       "4445432d30322053545544494f204220 00 02 02 64 c8"),
            "NAME=DEC-02 STUDIO B  IP=198.18.0.52 MASK=255.255.255.0 GW=198.18.0.253 "
            "REMOTE=198.18.0.13 INPUT=0 TYPE=1 TX=0 ROLE=2 SN=100002 VER=3.4 SFN=0 BUF=2 ATT=255 "
            "SDM=2 SDL=100 SDT=200");
    }
    void configurationReachesElement()
    {
        QFETCH(int, index);
        QFETCH(QString, edits);
        QFETCH(QByteArray, packetHex);
        QFETCH(QString, stored);
        const LabElement& target = m_elements.at(index - 1);
        QVERIFY(m_program.select(target));
        QWidget* form = m_program.ui().txtElementName->window();
        for (const QString& edit : edits.split(u',')) { // "control=value" as the operator sets it
            QWidget* control = form->findChild<QWidget*>(edit.section(u'=', 0, 0));
            QVERIFY2(control != nullptr, qPrintable(edit));
            const char* property = qobject_cast<QLineEdit*>(control)   ? "text"
                                   : qobject_cast<QComboBox*>(control) ? "currentIndex"
                                                                       : "value";
            QVERIFY2(control->setProperty(property, edit.section(u'=', 1)), qPrintable(edit));
        }
        const bool monitoring = !target.isDecoder();
        auto restore = qScopeGuard([&] {
            m_program.whileBoxOpen = nullptr;
            if (monitoring)
                m_program.program->toolbarClick(7);
        });
        if (monitoring) { // at its fastest, the question open until the packets have come
            FrmMainControls& ui = m_program.ui();
            ui.Slider1->triggerAction(QAbstractSlider::SliderToMinimum);
            m_program.program->toolbarClick(6);
            QTRY_COMPARE_WITH_TIMEOUT(ui.lblVolume->text(), QStringLiteral("-6dBFS"),
                                      kAnswerTimeoutMs);
            m_program.whileBoxOpen = [this](const MessageBoxRequest& box) {
                if (box.text() != kSendText)
                    return;
                int levelPackets = 0;
                const QMetaObject::Connection counting =
                    connect(&m_program.udpSocket, &UdpEndpoint::datagramArrived, this,
                            [&](const QByteArray& data) {
                                if (data.size() == 1440)
                                    ++levelPackets;
                            });
                QVERIFY2(QTest::qWaitFor(
                             [&] { return levelPackets >= kLevelPacketsBehindTheQuestion; }, 30000),
                         qPrintable(QStringLiteral("only %1 level packets").arg(levelPackets)));
                disconnect(counting);
            };
        }
        const qsizetype before = simReceived(target.record(), kConfigPort).size();

        QVERIFY(m_program.sendConfiguration(kAnswerTimeoutMs));

        QCOMPARE(simReceived(target.record(), kConfigPort).mid(before),
                 QStringList{QString::fromLatin1(QByteArray::fromHex(packetHex).toHex())});
        QCOMPARE(m_program.dialogs.texts(), (QStringList{kSendText, kSuccessText}));
        QCOMPARE(m_program.record(target), u'[' + target.section() + QStringLiteral("] ") + stored);
        QVERIFY(m_program.nodeTexts().contains(stored.mid(5, 16).trimmed() + QStringLiteral(" [") +
                                               target.programMac() + u']'));
    }

    void attenuationToMinimumMutesDecoder()
    {
        const LabElement& decoder = m_elements.at(3);
        QVERIFY(m_program.select(decoder));
        QTest::qWait(kQuietMs);
        QCOMPARE(simReceived(decoder.record(), kControlPort), QStringList());

        m_program.ui().scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);

        QTRY_COMPARE_WITH_TIMEOUT(simReceived(decoder.record(), kControlPort),
                                  QStringList{QStringLiteral("0e00")}, kAnswerTimeoutMs);
        QCOMPARE(m_program.ui().lblAttenDB->text(), QStringLiteral("Mute"));
        QVERIFY(m_program.record(decoder).contains(QStringLiteral(" ATT=14 ")));
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    // The simulator's tone peaks at 4204263 (-6 dBFS): 4204263 / 8388608 x
    // 2100 = 1052.49 twips.
    void levelMonitoringShowsTone()
    {
        QVERIFY(m_program.select(m_elements.at(0)));
        FrmMainControls& ui = m_program.ui();

        m_program.program->toolbarClick(6);
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblVolume->text(), QStringLiteral("-6dBFS"), kAnswerTimeoutMs);
        QCOMPARE(ui.VUMeter->widthTwips(), 1052);

        m_program.program->toolbarClick(7);
        QTest::qWait(kQuietMs); // answers still on their way change nothing
        QCOMPARE(ui.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    void pingShowsRoundTripOrTimeOut()
    {
        QVERIFY(m_program.select(m_elements.at(0)));
        FrmMainControls& ui = m_program.ui();

        emit ui.lblPing->clicked();
        QTRY_VERIFY_WITH_TIMEOUT(
            QRegularExpression(QStringLiteral("^\\d+ ms$")).match(ui.lblPing->caption()).hasMatch(),
            kAnswerTimeoutMs);
        QCOMPARE(ui.shpPing->fillColor(), QColor(0, 255, 0));

        ui.txtElementIP->setText(QStringLiteral("198.18.0.250"));
        emit ui.lblPing->clicked();
        QTRY_COMPARE_WITH_TIMEOUT(ui.lblPing->caption(), QStringLiteral("Request Timed Out"),
                                  kAnswerTimeoutMs);
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 0, 0));
        emit ui.lblPing->clicked(); // stop the retries
        QCOMPARE(ui.lblPing->caption(), QStringLiteral("<Stopped>"));
        QCOMPARE(m_program.dialogs.texts(), QStringList());
    }

    // Element 3 answers its configuration 1 s late, while the discovery's
    // question stands for 2 s. The answer reached the station in time (the
    // kernel's receive time says so), so it is confirmed, with no time-out,
    // before the discovery empties the panel; the collection then lasts its
    // 3 s and lists the element.
    void answerHeldBehindTheDiscoveryQuestion()
    {
        const LabElement& encoder = m_elements.at(2);
        QVERIFY(simStart(encoder.index(), {QStringLiteral("--delay-ms"), QStringLiteral("1000")}));
        auto restore = qScopeGuard([&] { simStart(encoder.index()); });
        QVERIFY(m_program.select(encoder));
        m_program.whileBoxOpen = [&](const MessageBoxRequest& box) {
            if (box.icon == BoxIcon::Question && box.text() != kSendText)
                QTest::qWait(2000);
        };
        m_program.dialogs.script = {BoxAnswer::Yes, BoxAnswer::Yes};

        m_program.program->toolbarClick(4);
        m_program.program->toolbarClick(1);
        QElapsedTimer collection;
        collection.start();
        QVERIFY(m_program.awaitDiscoveryEnd());
        const qint64 collectionMs = collection.elapsed();
        QTest::qWait(kQuietMs);

        QCOMPARE(m_program.dialogs.texts().mid(2), QStringList{kSuccessText});
        QVERIFY2(collectionMs >= 2900 && collectionMs < 4000,
                 qPrintable(QStringLiteral("collection took %1 ms").arg(collectionMs)));
        QCOMPARE(m_program.database().size(), 4);
        QCOMPARE(m_program.nodeTexts().filter(encoder.programMac()).size(), 1);
    }

private:
    QList<LabElement> m_elements;
    LabProgram m_program;
};

QTEST_MAIN(LabConfigureTest)
#include "tst_LabConfigure.moc"
