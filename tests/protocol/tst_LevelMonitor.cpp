#include <QtTest>

#include "ConfigPanelFixture.h"
#include "protocol/LevelMonitor.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kNoAddress = "The local database holds no valid IP address for this element.";

struct MonitorFixture : ConfigPanelFixture {
    LevelMonitor monitor{dialogs,   ini,       path,           udp,
                         panelView, meterView, monitoringView, *ui.tmrVolume};
    LevelControls controls{ui, monitor};

    explicit MonitorFixture(const QString& role = "DECODER")
    {
        writeIni(role == "DECODER" ? decoderRecord() : encoderRecord());
        selectElement(role);
    }
};

QByteArray levelPacket(qint32 peak)
{
    QByteArray packet(1440, '\0');
    packet[300] = char((peak >> 16) & 0xFF);
    packet[301] = char((peak >> 8) & 0xFF);
    packet[302] = char(peak & 0xFF);
    return packet;
}

} // namespace

class LevelMonitorTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void attenuationCaption_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("caption");
        QTest::newRow("255") << 255 << "0 dB";
        QTest::newRow("254") << 254 << "-0.5 dB";
        QTest::newRow("200") << 200 << "-27.5 dB";
        QTest::newRow("15") << 15 << "-120 dB";
        QTest::newRow("minimum is mute") << 14 << "Mute";
    }
    void attenuationCaption()
    {
        QFETCH(int, value);
        QFETCH(QString, caption);
        MonitorFixture f;
        f.ui.scrlAtten->setValue(value == 255 ? 100 : 255);
        f.ui.scrlAtten->setValue(value);
        QCOMPARE(f.ui.lblAttenDB->text(), caption);
    }

    void operatorMoves_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<int>("action");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QString>("caption");
        QTest::newRow("decoder to minimum sends mute")
            << "DECODER" << int(QAbstractSlider::SliderToMinimum) << QByteArray::fromHex("0E00")
            << "Mute";
        QTest::newRow("decoder one step down")
            << "DECODER" << int(QAbstractSlider::SliderSingleStepSub) << QByteArray::fromHex("FE00")
            << "-0.5 dB";
        QTest::newRow("decoder one page down")
            << "DECODER" << int(QAbstractSlider::SliderPageStepSub) << QByteArray::fromHex("F500")
            << "-5 dB";
        QTest::newRow("encoder only updates the caption")
            << "ENCODER" << int(QAbstractSlider::SliderToMinimum) << QByteArray() << "Mute";
        QTest::newRow("unknown role only updates the caption")
            << "UNKNOWN" << int(QAbstractSlider::SliderToMinimum) << QByteArray() << "Mute";
    }
    void operatorMoves()
    {
        QFETCH(QString, role);
        QFETCH(int, action);
        QFETCH(QByteArray, command);
        QFETCH(QString, caption);
        MonitorFixture f(role);
        const QByteArray before = f.iniBytes();

        f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderAction(action));

        QCOMPARE(f.ui.lblAttenDB->text(), caption);
        QVERIFY(f.dialogs.boxes.isEmpty());
        if (command.isEmpty()) {
            QVERIFY(f.socket.sent.isEmpty());
            QCOMPARE(f.iniBytes(), before);
            return;
        }
        QCOMPARE(f.socket.sent.size(), 1);
        QCOMPARE(f.socket.sent[0].data.toHex(' '), command.toHex(' '));
        QCOMPARE(f.socket.sent[0].host, QHostAddress("198.18.0.20"));
        QCOMPARE(f.socket.sent[0].port, quint16(2977));
        QByteArray expected = before;
        expected.replace("ATT=255", "ATT=" + QByteArray::number(quint8(command[0])));
        QCOMPARE(QString::fromLatin1(f.iniBytes()), QString::fromLatin1(expected));
    }

    void thumbReleaseCountsAsOperatorMove()
    {
        MonitorFixture f;
        f.ui.scrlAtten->setSliderDown(true);
        f.ui.scrlAtten->setSliderPosition(200);
        QVERIFY(f.socket.sent.isEmpty()); // not while dragging
        f.ui.scrlAtten->setSliderDown(false);
        QCOMPARE(f.socket.sent.size(), 1);
        QCOMPARE(f.socket.sent[0].data.toHex(), QByteArray("c800"));
        QCOMPARE(f.stored("att"), QString("200"));
    }

    void valueSetByCodeSendsNothing()
    {
        MonitorFixture f;
        const QByteArray before = f.iniBytes();
        f.ui.scrlAtten->setValue(20);
        QCOMPARE(f.ui.lblAttenDB->text(), QString("-117.5 dB"));
        QVERIFY(f.socket.sent.isEmpty());
        QCOMPARE(f.iniBytes(), before);
    }

    void operatorActionWithoutChangeLeavesNoFlagBehind()
    {
        MonitorFixture f;
        f.ui.scrlAtten->setValue(14);
        f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum); // already there
        f.ui.scrlAtten->setValue(30);                                    // a later selection
        QVERIFY(f.socket.sent.isEmpty());
        QCOMPARE(f.stored("att"), QString("255"));
    }

    void attenuationThatCannotBeStoredIsReported()
    {
        MonitorFixture f("DECODER");
        const QByteArray before = f.iniBytes();
        const QString directory = QFileInfo(f.iniPath()).absolutePath();
        if (!makeDirectoryUnwritable(directory, true))
            QSKIP("this file system cannot make a directory refuse writes");
        f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);
        makeDirectoryUnwritable(directory, false);

        QCOMPARE(f.socket.sent.size(), 1); // the element was told
        QCOMPARE(f.dialogs.texts(),
                 QStringList({"An error occured while saving this element info to the local "
                              "database.\rCannot save this element info."}));
        QCOMPARE(f.iniBytes(), before);
    }

    void attenuationWithoutStoredAddress()
    {
        MonitorFixture f;
        f.writeIni(ConfigPanelFixture::decoderRecord().replace("IP=198.18.0.20\n", "IP=\n"));
        QSignalSpy failed(&f.udp, &UdpClient::endpointFailed);
        f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        QCOMPARE(f.dialogs.last().text(), kNoAddress);
        QVERIFY(f.socket.sent.isEmpty());
        QCOMPARE(f.stored("att"), QString("255"));
        QCOMPARE(failed.count(), 0);
    }

    void attenuationEndpointFailureWritesNothing()
    {
        MonitorFixture f;
        f.socket.failSend = true;
        QSignalSpy failed(&f.udp, &UdpClient::endpointFailed);
        f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderToMinimum);
        QCOMPARE(failed.count(), 1);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(f.stored("att"), QString("255"));
    }

    void monitoringSwitch()
    {
        MonitorFixture f("ENCODER");
        f.ui.chkGetVolume->setChecked(true);
        QVERIFY(f.volumeTimer()->isEnabled());
        f.monitor.ShowAudioLevel(levelPacket(8388608 / 2));
        QCOMPARE(f.ui.lblVolume->text(), QString("-6dBFS"));
        QCOMPARE(f.ui.VUMeter->widthTwips(), 1050);

        f.ui.chkGetVolume->setChecked(false);
        QVERIFY(!f.volumeTimer()->isEnabled());
        QCOMPARE(f.ui.lblVolume->text(), QString("-oodBFS"));
        QCOMPARE(f.ui.VUMeter->widthTwips(), 0);
    }

    void userClickTogglesMonitoring()
    {
        MonitorFixture f("ENCODER");
        f.ui.chkGetVolume->click();
        QVERIFY(f.volumeTimer()->isEnabled());
        f.ui.chkGetVolume->click();
        QVERIFY(!f.volumeTimer()->isEnabled());
    }

    void tickSendsLevelRequest()
    {
        MonitorFixture f("ENCODER");
        f.ui.chkGetVolume->setChecked(true);
        QVERIFY(f.volumeTimer()->fire());
        QVERIFY(f.volumeTimer()->fire());
        QCOMPARE(f.socket.sent.size(), 2);
        for (const auto& sent : f.socket.sent) {
            QCOMPARE(sent.data, QByteArray("VOL"));
            QCOMPARE(sent.host, QHostAddress("198.18.0.20"));
            QCOMPARE(sent.port, quint16(2977));
        }
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void tickWithoutStoredAddressStopsMonitoring()
    {
        MonitorFixture f("ENCODER");
        f.writeIni(ConfigPanelFixture::encoderRecord().replace("IP=198.18.0.20\n", ""));
        f.ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(false);
        f.ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(true);
        f.ui.chkGetVolume->setChecked(true);
        bool timerOnWhileBoxOpen = true;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            timerOnWhileBoxOpen = f.volumeTimer()->isEnabled();
        };

        QVERIFY(f.volumeTimer()->fire());

        QCOMPARE(f.dialogs.texts(), QStringList{kNoAddress});
        QCOMPARE(f.dialogs.last().title, kApplicationTitle);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
        QVERIFY(!timerOnWhileBoxOpen);
        QVERIFY(!f.ui.chkGetVolume->isChecked());
        QVERIFY(!f.volumeTimer()->fire()); // no second box at the next tick
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QVERIFY(f.ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QVERIFY(!f.ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
        QVERIFY(f.socket.sent.isEmpty());
    }

    void levelDisplay_data()
    {
        QTest::addColumn<bool>("monitoring");
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("caption");
        QTest::newRow("full scale minus 1") << true << 8388607 << 2100 << "0dBFS";
        QTest::newRow("quarter") << true << 8388608 / 4 << 525 << "-12dBFS";
        QTest::newRow("one") << true << 1 << 0 << "-138.5dBFS";
        QTest::newRow("silence resets") << true << 0 << 0 << "-oodBFS";
        QTest::newRow("monitoring off only resets") << false << 8388607 << 0 << "-oodBFS";
    }
    void levelDisplay()
    {
        QFETCH(bool, monitoring);
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        MonitorFixture f("ENCODER");
        f.ui.chkGetVolume->setChecked(true);
        f.monitor.ShowAudioLevel(levelPacket(8388608 / 2)); // a previous level
        f.ui.chkGetVolume->setChecked(monitoring);
        f.ui.VUMeter->setWidthTwips(777);
        f.ui.lblVolume->setText("stale");
        f.monitor.ShowAudioLevel(levelPacket(peak));
        QCOMPARE(f.ui.VUMeter->widthTwips(), width);
        QCOMPARE(f.ui.lblVolume->text(), caption);
    }
};

QTEST_MAIN(LevelMonitorTest)
#include "tst_LevelMonitor.moc"
