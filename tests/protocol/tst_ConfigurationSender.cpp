#include <QtTest>

#include "ConfigPanelFixture.h"
#include "TableRow.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/ConfigurationSender.h"

using namespace nms;
using namespace nms::test;
using namespace Qt::StringLiterals;
using Fields = nms::ConfigurationPacket::Fields;

namespace {

struct SenderFixture : ConfigPanelFixture {
    ConfigurationSender sender{dialogs, ini, path, udp, panelView, *ui.timerRemoteSent};

    SenderFixture()
    {
        writeIni(encoderRecord());
        select(u"ENCODER"_s);
    }
};

// The decoder's values are set for an encoder too, which must not send them.
Fields encoder(const QString& name = QStringLiteral("Studio a"),
               const QString& ip = QStringLiteral("192.168.001.010"))
{
    return Fields(ip, QStringLiteral("255.255.255.0"), QStringLiteral("192.168.1.1"),
                  QStringLiteral("10.0.0.1"), 1, 0, 1, name, false, 1, 5, 2, 154, 220);
}

Fields decoder(int mode, int level, int time)
{
    Fields f = encoder();
    f.decoder = true;
    f.silDetMode = mode;
    f.silDetLevel = level;
    f.silDetTime = time;
    return f;
}

// Leading zeros of an address are read as decimal.
const QByteArray kHead = QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 0A000001 01 00 01");
const QByteArray kEncoderPacket = kHead + QByteArray("STUDIO A        ");

} // namespace

Q_DECLARE_METATYPE(nms::ConfigurationPacket::Fields)

class ConfigurationSenderTest : public QObject {
    Q_OBJECT
private slots:
    void wholePacket_data()
    {
        QTest::addColumn<Fields>("packetFields");
        QTest::addColumn<QByteArray>("expected");
        addRow("encoder: 35 bytes, no decoder values", encoder(), kEncoderPacket);
        addRow("decoder: 40 bytes", decoder(2, 154, 220),
               kEncoderPacket + QByteArray::fromHex("0105029ADC"));
        addRow("no mode selected sends auto detect", decoder(-1, 37, 0),
               kEncoderPacket + QByteArray::fromHex("0105002500"));
        addRow("above a byte is capped", decoder(1, 300, 0),
               kEncoderPacket + QByteArray::fromHex("010501FF00"));
        addRow("name cut to sixteen", encoder(QStringLiteral("abcdefghijklmnopqrst")),
               kHead + QByteArray("ABCDEFGHIJKLMNOP"));
        // A letter whose upper case leaves Latin-1 keeps its own byte.
        addRow("outside Latin-1 becomes a question mark",
               encoder(QString::fromUtf8("\u0141odz\u00ff")),
               kHead + QByteArray("?ODZ\xFF           "));
        addRow("no address, no packet", encoder(QStringLiteral("x"), QStringLiteral("10.0.0.x")),
               QByteArray("<none>"));
    }
    void wholePacket()
    {
        QFETCH(Fields, packetFields);
        QFETCH(QByteArray, expected);
        QCOMPARE(ConfigurationPacket::build(packetFields).value_or("<none>").toHex(' '),
                 expected.toHex(' '));
    }

    // panel: changes to the selection; ipLine: the stored address line
    // ("none": no database); fault: "bind" or "send" fails; boxes: "y" or
    // "n" for the question and its answer, else a refusal's first line;
    // packet: what is sent, to the stored address.
    void save_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QByteArray>("ipLine");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QByteArray>("packet");
        const QByteArray ip = "IP=198.18.0.20\n";
        const QByteArray none;
        const QString audio = u"Please verify that all audio fields are correct!"_s;
        const QString address = u"Please verify that all IP fields are correct!"_s;
        const QString name = u"Please verify that the name field is correct!"_s;
        const QString noAddress =
            u"y|The local database holds no valid IP address for this element."_s;
        const QByteArray selected = QByteArray::fromHex("C6120014FFFF0000C6120001C612001E000000");
        const QByteArray edited =
            QByteArray::fromHex("C612001EFFFF0000C6120001C612001E010100") + "NEW NAME        ";
        const QString edit = u"txtElementName=new name;txtElementIP=198.18.0.30;"
                             "txtRemoteIP=198.18.0.30;cmbAudioInput=1;cmbAudioType=1;"
                             "chkSFNEnabled=1;scrlBuffer=4;cmbSilDetMode=1;scrlSilDetLevel=42;"
                             "scrlSilDetTime=43;lblElementType="_s;
        addRow("no element, no name", "lblElementMAC=-;txtElementName=", ip, "",
               "No Network Element selected!", none);
        addRow("audio input", "cmbAudioInput=-1", ip, "", audio, none);
        addRow("audio tx", "cmbAudioTX=-1", ip, "", audio, none);
        addRow("name before ip", "txtElementName=;txtElementIP=198.18.0", ip, "", name, none);
        addRow("ip", "txtElementIP=198.18.0", ip, "", address, none);
        addRow("gw", "txtElementGW=", ip, "", address, none);
        addRow("remote", "txtRemoteIP=a.b.c.d", ip, "", address, none);
        addRow("database deleted", "", QByteArray("none"), "",
               "The local database in your computer, is corrupted!", none);
        addRow("no", "", ip, "", "n", none);
        addRow("yes", "", ip, "", "y", selected + "STUDIO A        ");
        addRow("blank name", "txtElementName=   ", ip, "", "y", selected + QByteArray(16, ' '));
        addRow("stored ip invalid", "", QByteArray("IP=198.18.0\n"), "", noAddress, none);
        addRow("encoder", edit + u"ENCODER"_s, ip, "", "y", edited);
        addRow("lower-case decoder", edit + u"decoder"_s, ip, "", "y", edited);
        addRow("decoder", edit + u"DECODER"_s, ip, "", "y",
               edited + QByteArray::fromHex("0104012A2B"));
        addRow("bind fails", "", ip, "bind", "y", none);
        addRow("send fails", "", ip, "send", "y", none);
    }
    void save()
    {
        QFETCH(QString, panel);
        QFETCH(QByteArray, ipLine);
        QFETCH(QString, fault);
        QFETCH(QString, boxes);
        QFETCH(QByteArray, packet);
        SenderFixture f;
        f.set(panel);
        if (ipLine == "none")
            QFile::remove(f.path);
        else
            f.writeIni(ConfigPanelFixture::encoderRecord().replace("IP=198.18.0.20\n", ipLine));
        const QByteArray before = f.iniBytes();
        if (fault == u"bind"_s) {
            f.udp.close();
            f.socket.failBind = true;
        }
        f.socket.failSend = fault == u"send"_s;
        QSignalSpy failed(&f.udp, &UdpClient::endpointFailed);
        f.dialogs.script = {boxes == u"n"_s ? BoxAnswer::No : BoxAnswer::Yes};

        f.sender.SaveConfiguration();

        // Each box as title, icon, buttons, default button and text: a
        // question (2) with Yes and No (2), No (3) the default; a critical
        // box (4) with OK (0).
        QStringList expected;
        for (const QString& token : boxes.split(u'|'))
            expected << (token.size() == 1
                             ? u"Send configuration 2 2 3 This configuration will be sent to "
                               "selected Network Element and\rwill also be saved to local "
                               "database in your computer. \rAre you sure?"_s
                             : u"Error! 4 0 0 "_s + token + u"\rCannot save."_s);
        QStringList shown;
        for (const MessageBoxRequest& box : f.dialogs.boxes)
            shown << QString::asprintf("%s %d %d %d ", qPrintable(box.title), int(box.icon),
                                       int(box.buttons),
                                       box.buttons == BoxButtons::Ok ? 0 : int(box.defaultButton)) +
                         box.text();
        QCOMPARE(shown, expected);
        QCOMPARE(f.socket.sent.size(), packet.isEmpty() ? 0 : 1);
        QCOMPARE(f.socket.sent.value(0).data.toHex(' '), packet.toHex(' '));
        if (!packet.isEmpty())
            QVERIFY(f.socket.sent[0].host == QHostAddress(u"198.18.0.20"_s) &&
                    f.socket.sent[0].port == 2976);
        QCOMPARE(f.responseTimer()->isEnabled(), !packet.isEmpty());
        QCOMPARE(failed.count(), fault.isEmpty() ? 0 : 1);
        QCOMPARE(f.socket.bindCount, fault == u"bind"_s ? 2 : 1); // an open endpoint is kept
        QCOMPARE(f.iniBytes(), before); // the record changes only on the answer
    }

    // The wait counts from the latest send. The tick comes while another
    // box stands: an answer held behind it that reached the station before
    // the deadline beats the time-out. A send that gets no answer times out
    // once, the timer stopped before its box opens.
    void timeout()
    {
        SenderFixture f;
        // As the feedback processing does with an answer that passes.
        connect(&f.udp, &UdpClient::feedbackArrived, &f.udp,
                [&] { f.responseTimer()->setEnabled(false); });
        f.sender.SendConfiguration();
        const int restarts = f.responseTimer()->restarts();
        f.clock.now += 2500;
        f.sender.SendConfiguration();
        QCOMPARE(f.responseTimer()->restarts(), restarts + 2);
        const qint64 dueUs = f.clock.nowUs() + 3000 * 1000;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            f.socket.inject(QByteArray(44, '\1'), QHostAddress(u"198.18.0.20"_s), 2976, dueUs - 1);
            f.clock.now += 3000;
            QVERIFY(f.responseTimer()->fire());
        };
        f.dialogs.information(u"Ping"_s, {u"another box"_s});
        QTRY_COMPARE(f.udp.waitingCount() + f.udp.deferredCount(), 0);
        QCOMPARE(f.dialogs.boxes.size(), 1);

        f.sender.SendConfiguration();
        bool enabledWhileOpen = true;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            enabledWhileOpen = f.responseTimer()->isEnabled();
        };
        QVERIFY(f.responseTimer()->fire());
        QVERIFY(!f.responseTimer()->fire() && !enabledWhileOpen);
        QCOMPARE(f.dialogs.last().text(),
                 u"Waiting for a response from Network Element has timed out!\rCannot save."_s);
        QCOMPARE(f.dialogs.last().icon, BoxIcon::Critical);
    }
};

QTEST_MAIN(ConfigurationSenderTest)
#include "tst_ConfigurationSender.moc"
