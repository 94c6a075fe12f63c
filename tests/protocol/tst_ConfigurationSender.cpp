#include <QtTest>

#include "ConfigPanelFixture.h"
#include "protocol/ConfigurationSender.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kNoAddress = "The local database holds no valid IP address for this element.";

struct SenderFixture : ConfigPanelFixture {
    ConfigurationSender sender{dialogs, ini, path, udp, panelView, *ui.timerRemoteSent};

    SenderFixture()
    {
        writeIni(encoderRecord());
        selectElement("ENCODER");
    }
};

QByteArray encoderPacket()
{
    return QByteArray::fromHex("C612001E" // the panel's (edited) address travels inside
                               "FFFF0000"
                               "C6120001"
                               "C612001E"
                               "010100") +
           QByteArray("NEW NAME        ");
}

void editPanel(FrmMainControls& ui)
{
    ui.txtElementName->setText("new name");
    ui.txtElementIP->setText("198.18.0.30");
    ui.txtRemoteIP->setText("198.18.0.30");
    ui.cmbAudioInput->setCurrentIndex(1);
    ui.cmbAudioType->setCurrentIndex(1);
}

} // namespace

class ConfigurationSenderTest : public QObject {
    Q_OBJECT
private slots:
    void refusedChecks_data()
    {
        QTest::addColumn<QString>("broken");
        QTest::addColumn<QString>("message");
        QTest::newRow("no element") << "mac"
                                    << "No Network Element selected!";
        QTest::newRow("no element and no name stops at the first")
            << "mac+name"
            << "No Network Element selected!";
        QTest::newRow("audio input") << "input"
                                     << "Please verify that all audio fields are correct!";
        QTest::newRow("audio type") << "type"
                                    << "Please verify that all audio fields are correct!";
        QTest::newRow("audio tx") << "tx"
                                  << "Please verify that all audio fields are correct!";
        QTest::newRow("name") << "name"
                              << "Please verify that the name field is correct!";
        QTest::newRow("name before address") << "name+ip"
                                             << "Please verify that the name field is correct!";
        QTest::newRow("ip") << "ip"
                            << "Please verify that all IP fields are correct!";
        QTest::newRow("mask") << "mask"
                              << "Please verify that all IP fields are correct!";
        QTest::newRow("gw") << "gw"
                            << "Please verify that all IP fields are correct!";
        QTest::newRow("remote") << "remote"
                                << "Please verify that all IP fields are correct!";
        QTest::newRow("database deleted") << "file"
                                          << "The local database in your computer, is corrupted!";
    }
    void refusedChecks()
    {
        QFETCH(QString, broken);
        QFETCH(QString, message);
        SenderFixture f;
        FrmMainControls& ui = f.ui;
        const QStringList parts = broken.split('+');
        if (parts.contains("mac"))
            ui.lblElementMAC->setCaption("-");
        if (parts.contains("input"))
            ui.cmbAudioInput->setCurrentIndex(-1);
        if (parts.contains("type"))
            ui.cmbAudioType->setCurrentIndex(-1);
        if (parts.contains("tx"))
            ui.cmbAudioTX->setCurrentIndex(-1);
        if (parts.contains("name"))
            ui.txtElementName->clear();
        if (parts.contains("ip"))
            ui.txtElementIP->setText("198.18.0");
        if (parts.contains("mask"))
            ui.txtElementMask->setText("255.255.256.0");
        if (parts.contains("gw"))
            ui.txtElementGW->clear();
        if (parts.contains("remote"))
            ui.txtRemoteIP->setText("a.b.c.d");
        if (parts.contains("file"))
            QFile::remove(f.iniPath());

        f.sender.SaveConfiguration();

        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.title, QString("Error!"));
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(box.text(), message + "\rCannot save.");
        QVERIFY(f.socket.sent.isEmpty());
        QVERIFY(!f.responseTimer()->isEnabled());
    }

    void nameOfBlanksPasses()
    {
        SenderFixture f;
        f.ui.txtElementName->setText("   ");
        f.dialogs.script = {BoxAnswer::Yes};
        f.sender.SaveConfiguration();
        QCOMPARE(f.dialogs.boxes.size(), 1); // only the question
        QCOMPARE(f.socket.sent.size(), 1);
        QCOMPARE(f.socket.sent[0].data.mid(19, 16), QByteArray(16, ' '));
    }

    void questionBox_data()
    {
        QTest::addColumn<BoxAnswer>("answer");
        QTest::addColumn<bool>("sends");
        QTest::newRow("yes sends") << BoxAnswer::Yes << true;
        QTest::newRow("no sends nothing") << BoxAnswer::No << false;
    }
    void questionBox()
    {
        QFETCH(BoxAnswer, answer);
        QFETCH(bool, sends);
        SenderFixture f;
        const QByteArray before = f.iniBytes();
        f.dialogs.script = {answer};
        f.sender.SaveConfiguration();

        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.icon, BoxIcon::Question);
        QCOMPARE(box.title, QString("Send configuration"));
        QCOMPARE(box.buttons, BoxButtons::YesNo);
        QCOMPARE(box.defaultButton, BoxAnswer::No);
        QCOMPARE(box.text(),
                 QString("This configuration will be sent to selected Network Element and\r"
                         "will also be saved to local database in your computer. \r"
                         "Are you sure?"));
        QCOMPARE(f.socket.sent.size(), sends ? 1 : 0);
        QCOMPARE(f.responseTimer()->isEnabled(), sends);
        QCOMPARE(f.iniBytes(), before); // the record changes only on the answer
    }

    void packetGoesToStoredAddress_data()
    {
        QTest::addColumn<QString>("role");
        QTest::addColumn<QByteArray>("packet");
        QTest::newRow("encoder") << "ENCODER" << encoderPacket();
        QTest::newRow("unknown role gets the short packet") << "UNKNOWN" << encoderPacket();
        QTest::newRow("lower-case decoder is not a decoder") << "decoder" << encoderPacket();
        QTest::newRow("decoder") << "DECODER"
                                 << encoderPacket() + QByteArray::fromHex("0104012A2B");
    }
    void packetGoesToStoredAddress()
    {
        QFETCH(QString, role);
        QFETCH(QByteArray, packet);
        SenderFixture f;
        f.ui.lblElementType->setCaption(role);
        editPanel(f.ui);
        f.ui.chkSFNEnabled->setChecked(true);
        f.ui.scrlBuffer->setValue(4);
        f.ui.cmbSilDetMode->setCurrentIndex(1);
        f.ui.scrlSilDetLevel->setValue(42);
        f.ui.scrlSilDetTime->setValue(43);

        f.sender.SendConfiguration();

        QCOMPARE(f.socket.sent.size(), 1);
        QCOMPARE(f.socket.sent[0].data.toHex(' '), packet.toHex(' '));
        QCOMPARE(f.socket.sent[0].host, QHostAddress("198.18.0.20"));
        QCOMPARE(f.socket.sent[0].port, quint16(2976));
        QVERIFY(f.responseTimer()->isEnabled());
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void missingStoredAddressRefusesSave_data()
    {
        QTest::addColumn<QByteArray>("ipLine");
        QTest::newRow("empty") << QByteArray("IP=\n");
        QTest::newRow("absent") << QByteArray();
        QTest::newRow("not an address") << QByteArray("IP=198.18.0\n");
    }
    void missingStoredAddressRefusesSave()
    {
        QFETCH(QByteArray, ipLine);
        SenderFixture f;
        f.writeIni(ConfigPanelFixture::encoderRecord().replace("IP=198.18.0.20\n", ipLine));
        QSignalSpy failed(&f.udp, &UdpClient::endpointFailed);
        f.dialogs.script = {BoxAnswer::Yes};

        f.sender.SaveConfiguration();

        QCOMPARE(f.dialogs.boxes.size(), 2);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.title, QString("Error!"));
        QCOMPARE(box.text(), kNoAddress + "\rCannot save.");
        QVERIFY(f.socket.sent.isEmpty());
        QVERIFY(!f.responseTimer()->isEnabled());
        QCOMPARE(failed.count(), 0);
    }

    void endpointFailureLeavesItToTheClient()
    {
        SenderFixture f;
        f.udp.close();
        f.socket.failBind = true;
        QSignalSpy failed(&f.udp, &UdpClient::endpointFailed);
        f.sender.SendConfiguration();
        QCOMPARE(failed.count(), 1);
        QVERIFY(f.dialogs.boxes.isEmpty());
        QVERIFY(f.socket.sent.isEmpty());
        QVERIFY(!f.responseTimer()->isEnabled());
    }

    void failedSendStartsNoWait()
    {
        SenderFixture f;
        f.socket.failSend = true;
        QSignalSpy failed(&f.udp, &UdpClient::endpointFailed);
        f.sender.SendConfiguration();
        QCOMPARE(failed.count(), 1);
        QVERIFY(!f.responseTimer()->isEnabled());
        QVERIFY(f.dialogs.boxes.isEmpty());
    }

    void timeoutShowsOneBox()
    {
        SenderFixture f;
        const QByteArray before = f.iniBytes();
        f.sender.SendConfiguration();
        QVERIFY(f.responseTimer()->fire());
        QVERIFY(!f.responseTimer()->fire()); // the tick disabled the timer
        QCOMPARE(f.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = f.dialogs.last();
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.title, QString("Error!"));
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(box.text(), QString("Waiting for a response from Network Element has timed out!\r"
                                     "Cannot save."));
        QCOMPARE(f.iniBytes(), before);
    }

    void timerIsOffBeforeTheTimeoutBoxOpens()
    {
        SenderFixture f;
        f.sender.SendConfiguration();
        bool enabledWhileOpen = true;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            enabledWhileOpen = f.responseTimer()->isEnabled();
        };
        f.responseTimer()->fire();
        QVERIFY(!enabledWhileOpen);
    }

    void secondSaveRestartsTheTimeout()
    {
        SenderFixture f;
        f.sender.SendConfiguration();
        const int restartsAfterFirst = f.responseTimer()->restarts();
        f.sender.SendConfiguration();
        QCOMPARE(f.socket.sent.size(), 2);
        QVERIFY(f.responseTimer()->isEnabled());
        // Disabled and enabled again: a fresh countdown from the second send.
        QCOMPARE(f.responseTimer()->restarts(), restartsAfterFirst + 2);
        QVERIFY(f.responseTimer()->fire());
        QCOMPARE(f.dialogs.boxes.size(), 1);
    }
};

QTEST_MAIN(ConfigurationSenderTest)
#include "tst_ConfigurationSender.moc"
