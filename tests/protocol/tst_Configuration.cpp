#include <QtTest>

#include <QPushButton>
#include <QScrollBar>

#include "FakeClock.h"
#include "FakeUdpEndpoint.h"
#include "FileBytes.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "TableRow.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "protocol/ConfigurationConfirmer.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/ConfigurationSender.h"
#include "protocol/FeedbackRecord.h"
#include "protocol/LevelMonitor.h"
#include "protocol/LevelPacket.h"
#include "protocol/LevelRule.h"
#include "protocol/UdpClient.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/LevelControls.h"
#include "ui/PropertiesPanel.h"
#include "ui/ToolbarMonitoringView.h"
#include "ui/WidgetMeterView.h"
#include "ui/WidgetPanelView.h"

using namespace nms;
using namespace nms::test;
using namespace Qt::StringLiterals;
using Fields = nms::ConfigurationPacket::Fields;

namespace {

// An encoder record as discovery writes it, stored address 198.18.0.20, and
// a decoder's.
const QByteArray kE = "[001A2B3C4D5E]\nNAME=STUDIO A        \nIP=198.18.0.20\nMASK=255.255.0.0\n"
                      "GW=198.18.0.1\nREMOTE=198.18.0.30\nINPUT=0\nTYPE=0\nTX=0\nROLE=1\nSN=1234\n"
                      "VER=3.4\nSFN=0\nBUF=0\n";
const QByteArray kD = QByteArray(kE).replace("ROLE=1", "ROLE=2").replace("BUF=0", "BUF=1") +
                      "ATT=255\nSDM=0\nSDL=37\nSDT=43\n";

// The main window's controls in their start state, without the panel's own
// behaviour (its rules when asked), over a real INI store in a temporary
// directory and a UDP client on a fake socket, the stored encoder selected:
// what sending and confirming work on. Controls are set and read by name
// through "name=value;..." texts, so that a table row names the panel it
// starts from and the one it expects.
struct Fixture {
    static inline const QString kMac = QStringLiteral("00:1A:2B:3C:4D:5E");

    QTemporaryDir dir;
    PrivateProfileStore store;
    IniRoutines ini{store};
    RecordingDialogs dialogs;
    ManualTimerFactory timers;
    FakeClock clock;
    FakeUdpEndpoint socket;
    UdpClient udp{socket, dialogs, clock};
    FrmMain window{timers};
    FrmMainControls& ui = window.controls();
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    WidgetPanelView panelView{ui};
    WidgetMeterView meterView{ui};
    ToolbarMonitoringView monitoringView{ui};
    ConfigurationSender sender{dialogs, ini, path, udp, panelView, *ui.timerRemoteSent};
    ConfigurationConfirmer confirmer{dialogs, ini, path, panelView};
    std::unique_ptr<PropertiesPanel> rules;

    Fixture()
    {
        udp.bindLocal();
        writeIni(kE);
        select(u"ENCODER"_s);
    }

    ManualTimer* responseTimer() const { return timers.timer(QStringLiteral("timerRemoteSent")); }
    ManualTimer* volumeTimer() const { return timers.timer(QStringLiteral("tmrVolume")); }

    void writeIni(const QByteArray& bytes) const { writeBytes(path, bytes); }
    QByteArray iniBytes() const { return readBytes(path); }

    // The panel as a selection of the stored element leaves it.
    void select(const QString& role)
    {
        set(QStringLiteral("lblElementType=%1;lblElementMAC=%2;txtElementName=STUDIO A;"
                           "txtElementIP=198.18.0.20;txtElementMask=255.255.0.0;"
                           "txtElementGW=198.18.0.1;txtRemoteIP=198.18.0.30;cmbAudioInput=0;"
                           "cmbAudioType=0;cmbAudioTX=0")
                .arg(role, kMac));
    }

    // The property that holds a control's value: a button's tick ("1"), a
    // list index, a bar's value, else its text.
    static const char* valueProperty(const QWidget* w)
    {
        for (const char* property : {"checked", "currentIndex", "value"}) {
            if (w->metaObject()->indexOfProperty(property) >= 0)
                return property;
        }
        return "text";
    }

    // Sets each named control as code does; a caption through setCaption(),
    // which runs the layout of a role.
    void set(const QString& controls)
    {
        for (const QString& item : controls.split(u';', Qt::SkipEmptyParts)) {
            QWidget* w = window.findChild<QWidget*>(item.section(u'=', 0, 0));
            QVERIFY2(w != nullptr, qPrintable(item));
            const QString value = item.section(u'=', 1);
            if (auto* caption = qobject_cast<CaptionLabel*>(w))
                caption->setCaption(value);
            else
                QVERIFY2(w->setProperty(valueProperty(w), value), qPrintable(item));
        }
    }

    // The named controls' values in the form set() takes; "name.enabled" and
    // "name.hidden" read those states as 1 or 0.
    QString shown(const QString& controls) const
    {
        QStringList values;
        for (const QString& item : controls.split(u';', Qt::SkipEmptyParts)) {
            const QString name = item.section(u'=', 0, 0), state = name.section(u'.', 1);
            const QWidget* w = window.findChild<QWidget*>(name.section(u'.', 0, 0));
            QString value = w->property(valueProperty(w)).toString();
            if (!state.isEmpty())
                value = QString::number(state == u"enabled"_s ? w->isEnabled() : w->isHidden());
            values << name + u'=' + value;
        }
        return values.join(u';');
    }
};

const QString kNoAddress = u"The local database holds no valid IP address for this element."_s;

// The decoder's values are set for an encoder too, which must not send them.
Fields fields(bool decoder, int mode = 2, int level = 154, int time = 220,
              const QString& name = u"Studio a"_s, const QString& ip = u"192.168.001.010"_s)
{
    return Fields(ip, u"255.255.255.0"_s, u"192.168.1.1"_s, u"10.0.0.1"_s, 1, 0, 1, name, decoder,
                  1, 5, mode, level, time);
}

// Leading zeros of an address are read as decimal.
const QByteArray kHead = QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 0A000001 01 00 01");
const QByteArray kEncoderPacket = kHead + QByteArray("STUDIO A        ");

// Changes a record by "field=value;..."; "short" drops what a 41-byte
// decoder answer lacks.
void edit(FeedbackRecord& r, const QString& changes)
{
    const QHash<QString, QString*> texts{{u"mac"_s, &r.mac},       {u"ip"_s, &r.ip},
                                         {u"mask"_s, &r.mask},     {u"gw"_s, &r.gw},
                                         {u"remote"_s, &r.remote}, {u"name"_s, &r.name}};
    const QHash<QString, quint8*> bytes{
        {u"input"_s, &r.input}, {u"type"_s, &r.type}, {u"tx"_s, &r.tx},   {u"role"_s, &r.role},
        {u"sfn"_s, &r.sfn},     {u"buf"_s, &r.buf},   {u"att"_s, &r.att}, {u"sdm"_s, &r.sdm},
        {u"sdl"_s, &r.sdl},     {u"sdt"_s, &r.sdt}};
    for (const QString& item : changes.split(u';', Qt::SkipEmptyParts)) {
        const QString key = item.section(u'=', 0, 0), value = item.section(u'=', 1);
        if (texts.contains(key))
            *texts[key] = value;
        else if (bytes.contains(key))
            *bytes[key] = quint8(value.toUInt());
        else if (key == u"sn"_s)
            r.sn = value.toUInt();
        else if (key == u"ver"_s)
            r.ver = double(value.toFloat());
        else // short
            r.hasSfn = r.hasBuf = r.hasSdm = r.hasSdl = r.hasSdt = false;
    }
}

QString boxText(const QString& token)
{
    const QString cannot = u"\rCannot save this element info."_s;
    const QHash<QString, QString> fixed{
        {u"ok"_s, u"New configuration has been sucessfuly saved and loaded!"_s},
        {u"match"_s, u"The response received does not match the selected element."_s + cannot},
        {u"corrupt"_s,
         u"The data stored in your computer about this element, is corrupted."_s + cannot},
        {u"write"_s,
         u"An error occured while saving this element info to the local database."_s + cannot}};
    return fixed.value(token,
                       u"An error occured while saving '%1':\rFeedback is corrupted."_s.arg(token));
}

const QString kEditPanel =
    u"txtElementName=studio b  ;txtElementIP=198.18.0.21;txtElementMask=255.255.255.0;"
    "txtElementGW=198.18.0.2;txtRemoteIP=198.18.0.31;cmbAudioInput=1;cmbAudioType=1;cmbAudioTX=1"_s;
const QString kEditAnswer = u"name=STUDIO B        ;ip=198.18.0.21;mask=255.255.255.0;"
                            "gw=198.18.0.2;remote=198.18.0.31;input=1;type=1;tx=1;sn=5678;"
                            "ver=3.5;sfn=1;buf=2"_s;
const QString kEditStored = kEditAnswer.toUpper(); // stored as answered
} // namespace

Q_DECLARE_METATYPE(nms::ConfigurationPacket::Fields)

class ConfigurationTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }

    void wholePacket_data()
    {
        QTest::addColumn<Fields>("packetFields");
        QTest::addColumn<QByteArray>("expected");
        addRow("encoder: 35 bytes, no decoder values", fields(false), kEncoderPacket);
        addRow("decoder: 40 bytes", fields(true),
               kEncoderPacket + QByteArray::fromHex("0105029ADC"));
        addRow("no mode selected sends auto detect", fields(true, -1, 37, 0),
               kEncoderPacket + QByteArray::fromHex("0105002500"));
        addRow("above a byte is capped", fields(true, 1, 300, 0),
               kEncoderPacket + QByteArray::fromHex("010501FF00"));
        addRow("name cut to sixteen", fields(false, 2, 154, 220, u"abcdefghijklmnopqrst"_s),
               kHead + QByteArray("ABCDEFGHIJKLMNOP"));
        // A letter whose upper case leaves Latin-1 keeps its own byte.
        addRow("outside Latin-1 becomes a question mark",
               fields(false, 2, 154, 220, QString::fromUtf8("\u0141odz\u00ff")),
               kHead + QByteArray("?ODZ\xFF           "));
        addRow("no address, no packet", fields(false, 2, 154, 220, u"x"_s, u"10.0.0.x"_s),
               QByteArray("<none>"));
    }
    void wholePacket()
    {
        QFETCH(Fields, packetFields);
        QFETCH(QByteArray, expected);
        QCOMPARE(ConfigurationPacket::build(packetFields).value_or("<none>").toHex(' '),
                 expected.toHex(' '));
    }

    // panel: changes to the selection; fault: "no database", "stored ip"
    // invalid, "bind" or "send" fails; boxes: "y" or
    // "n" for the question and its answer, else a refusal's first line;
    // packet: what is sent, to the stored address.
    void save_data()
    {
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QByteArray>("packet");
        const QByteArray none;
        const QString audio = u"Please verify that all audio fields are correct!"_s;
        const QString address = u"Please verify that all IP fields are correct!"_s;
        const QString name = u"Please verify that the name field is correct!"_s;
        const QByteArray selected = QByteArray::fromHex("C6120014FFFF0000C6120001C612001E000000");
        const QByteArray edited =
            QByteArray::fromHex("C612001EFFFF0000C6120001C612001E010100") + "NEW NAME        ";
        const QString edit = u"txtElementName=new name;txtElementIP=198.18.0.30;"
                             "txtRemoteIP=198.18.0.30;cmbAudioInput=1;cmbAudioType=1;"
                             "chkSFNEnabled=1;scrlBuffer=4;cmbSilDetMode=1;scrlSilDetLevel=42;"
                             "scrlSilDetTime=43;lblElementType="_s;
        addRow("no element, no name", "lblElementMAC=-;txtElementName=", "",
               "No Network Element selected!", none);
        addRow("audio input", "cmbAudioInput=-1", "", audio, none);
        addRow("audio tx", "cmbAudioTX=-1", "", audio, none);
        addRow("name before ip", "txtElementName=;txtElementIP=198.18.0", "", name, none);
        addRow("ip", "txtElementIP=198.18.0", "", address, none);
        addRow("gw", "txtElementGW=", "", address, none);
        addRow("remote", "txtRemoteIP=a.b.c.d", "", address, none);
        addRow("database deleted", "", "no database",
               "The local database in your computer, is corrupted!", none);
        addRow("no", "", "", "n", none);
        addRow("yes", "", "", "y", selected + "STUDIO A        ");
        addRow("blank name", "txtElementName=   ", "", "y", selected + QByteArray(16, ' '));
        addRow("stored ip invalid", "", "stored ip", u"y|"_s + kNoAddress, none);
        addRow("encoder", edit + u"ENCODER"_s, "", "y", edited);
        addRow("lower-case decoder", edit + u"decoder"_s, "", "y", edited);
        addRow("decoder", edit + u"DECODER"_s, "", "y", edited + QByteArray::fromHex("0104012A2B"));
        addRow("bind fails", "", "bind", "y", none);
        addRow("send fails", "", "send", "y", none);
    }
    void save()
    {
        QFETCH(QString, panel);
        QFETCH(QString, fault);
        QFETCH(QString, boxes);
        QFETCH(QByteArray, packet);
        Fixture f;
        f.set(panel);
        if (fault == u"no database"_s)
            QFile::remove(f.path);
        else if (fault == u"stored ip"_s)
            f.writeIni(QByteArray(kE).replace("IP=198.18.0.20", "IP=198.18.0"));
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
        QCOMPARE(failed.count(), int(f.socket.failBind || f.socket.failSend));
        QCOMPARE(f.socket.bindCount, fault == u"bind"_s ? 2 : 1); // an open endpoint is kept
        QCOMPARE(f.iniBytes(), before); // the record changes only on the answer
    }

    // The wait counts from the latest send. The tick comes while another
    // box stands: an answer held behind it that reached the station before
    // the deadline beats the time-out. A send that gets no answer times out
    // once, the timer stopped before its box opens.
    void timeout()
    {
        Fixture f;
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

    // record: the stored one, its role selected (none: a decoder); panel,
    // answer: changes to the selection and to the matching answer; boxes:
    // tokens of boxText(); shown: controls after (a state read runs the
    // panel's own rules); stored: lines changed.
    void confirm_data()
    {
        QTest::addColumn<QByteArray>("record");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("boxes");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("stored");
        const QString same;
        const QString edited = u"lblElementType=ENCODER;lblSerialNumber=5678;lblVersion=3.5;"
                               "txtElementName=studio b  "_s;
        addRow("edited", kE, kEditPanel, kEditAnswer, "ok", edited, kEditStored);
        addRow("write fails", kE, kEditPanel, kEditAnswer, "write", same, same);
        // Each field that differs has its box, in the table's order, and
        // keeps its stored value.
        addRow("every field differs", kE, kEditPanel,
               kEditAnswer + u";name=STUDIO C;ip=198.18.0.99;mask=255.0.0.0;gw=198.18.0.254;"
                             "remote=198.18.0.98;input=0;type=0;tx=0"_s,
               "Element Name|Element IP|Element Mask|Element GW|Remote IP|Audio Input|"
               "Audio Type|Audio TX",
               same,
               kEditStored + u";NAME=STUDIO A        ;IP=198.18.0.20;MASK=255.255.0.0;"
                             "GW=198.18.0.1;REMOTE=198.18.0.30;INPUT=0;TYPE=0;TX=0"_s);
        addRow("leading blanks", kE, "txtElementName=  Studio A", same, "ok", same,
               "NAME=  STUDIO A      ");
        addRow("tab is no blank", kE, "txtElementName=studio a", "name=STUDIO A\t       ",
               "Element Name", same, same);
        addRow("leading zeros", kE, "txtElementIP=198.018.000.020", same, "Element IP", same, same);
        addRow("case counts", kD, "lblElementMAC=00:1a:2b:3c:4d:5e", "role=1", "match", same, same);
        addRow("18 keys", kD + "EXTRA0=1\n", "scrlAtten=100", "role=1;att=20", "corrupt",
               "lblElementType=DECODER;scrlAtten=100", same);
        addRow("role 0", kE, same, "role=0", same, "lblElementType=UNKNOWN", "ROLE=0");
        addRow("ver 2.0", kE, same, "ver=2.0", "ok", "lblVersion=2.0", "VER=2");
        addRow("clamped", kD, same, "att=0;sdm=2;sdl=200;sdt=0;sfn=1;buf=6", "ok",
               "scrlAtten=14;cmbSilDetMode=2;scrlSilDetLevel=154;scrlSilDetTime=1",
               "SFN=1;BUF=6;ATT=14;SDM=2;SDL=154;SDT=1");
        addRow("unknown mode", kD, "cmbSilDetMode=1", "sdm=7", "ok", "cmbSilDetMode=1", "SDM=7");
        addRow("short decoder", QByteArray(kD).replace("SDL=37", "SDL=50"),
               "cmbSilDetMode=1;scrlSilDetLevel=60;scrlSilDetTime=70", "short;sdm=2;sfn=1;att=100",
               "ok", "cmbSilDetMode=1;scrlSilDetLevel=60;scrlSilDetTime=70", "ATT=100");
        addRow("new section", QByteArray(), same, same, "ok", same, same);
        addRow("to decoder", kD, "lblElementType=ENCODER", "att=200", "ok",
               "lblElementType=DECODER;scrlAtten.hidden=0;scrlAtten=200", "ATT=200");
        // A mode the confirmation sets runs the detector's rule, also when
        // it is the mode shown: the decoder's layout has just enabled all.
        const QString off =
            u"scrlSilDetLevel.enabled=0;scrlSilDetTime.enabled=0;lblSilDetLevel.enabled=0;lblSilDetTime.enabled=0;Label24.enabled=0;Label26.enabled=0"_s;
        const QString on = QString(off).replace(u"=0"_s, u"=1"_s);
        addRow("internal kept", kD, "cmbSilDetMode=1", "sdm=1", "ok", off, "SDM=1");
        addRow("external to auto", kD, "cmbSilDetMode=2", "sdm=0", "ok", on, same);
    }
    void confirm()
    {
        QFETCH(QByteArray, record);
        QFETCH(QString, panel);
        QFETCH(QString, answer);
        QFETCH(QString, boxes);
        QFETCH(QString, shown);
        QFETCH(QString, stored);
        Fixture f;
        if (shown.contains(u".hidden"_s) || shown.contains(u".enabled"_s)) {
            f.rules = std::make_unique<PropertiesPanel>(f.ui);
            f.panelView.setPropertiesPanel(f.rules.get());
        }
        f.writeIni(record);
        const bool decoder = !record.contains("ROLE=1");
        f.select(decoder ? u"DECODER"_s : u"ENCODER"_s);
        f.set(panel);
        FeedbackRecord r;
        r.hasSfn = r.hasBuf = r.hasAtt = r.hasSdm = r.hasSdl = r.hasSdt = true;
        edit(r, u"mac=%1;ip=198.18.0.20;mask=255.255.0.0;gw=198.18.0.1;remote=198.18.0.30;"
                "name=STUDIO A        ;sn=1234;ver=3.4;role=%2;buf=%3;"_s.arg(
                    Fixture::kMac, decoder ? u"2"_s : u"1"_s, decoder ? u"1"_s : u"0"_s) +
                    answer);
        f.responseTimer()->setEnabled(true);
        const int restarts = f.responseTimer()->restarts();
        QSignalSpy captions(f.ui.lblElementType, &CaptionLabel::captionSet);
        if (boxes == u"write"_s && !makeDirectoryUnwritable(f.dir.path(), true))
            QSKIP("this file system cannot make a directory refuse writes");

        f.confirmer.ConfirmConfiguration(r);

        if (boxes == u"write"_s)
            makeDirectoryUnwritable(f.dir.path(), false);
        QStringList texts;
        for (const QString& token : boxes.split(u'|', Qt::SkipEmptyParts))
            texts << boxText(token);
        QCOMPARE(f.dialogs.texts(), texts);
        for (const MessageBoxRequest& box : f.dialogs.boxes) {
            const bool success = box.text() == boxText(u"ok"_s);
            QCOMPARE(box.title, success ? u"Configuration changed"_s : kApplicationTitle);
            QCOMPARE(box.icon, success ? BoxIcon::Information : BoxIcon::Critical);
            QCOMPARE(box.buttons, BoxButtons::Ok);
        }
        QCOMPARE(f.shown(shown), shown);
        // The stored record with the "KEY=value" lines of `stored` replaced.
        QString expected = QString::fromLatin1(record.isEmpty() ? kD : record);
        for (const QString& line : stored.split(u';', Qt::SkipEmptyParts))
            expected.replace(QRegularExpression(u"(?m)^"_s + line.section(u'=', 0, 0) + u"=.*$"_s),
                             line);
        QCOMPARE(QString::fromLatin1(f.iniBytes()), expected);
        // The role caption is set even when unchanged, so its layout runs.
        QCOMPARE(captions.count(), boxes == u"match"_s || boxes == u"corrupt"_s ? 0 : 1);
        QVERIFY(f.socket.sent.isEmpty());
        // The feedback decoding ends the wait before it hands the answer on.
        QVERIFY(f.responseTimer()->isEnabled());
        QCOMPARE(f.responseTimer()->restarts(), restarts);
    }

    // The bar rounds halves to even: 2^20 and 3 x 2^20 are exactly 262.5
    // and 787.5 twips. The caption shows the level in dBFS. Only the first
    // 479 samples are read; the rest of the scan (negatives skipped, short
    // datagrams) is the fuzz harness's to check.
    void peakToMeter_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("caption");
        addRow("half, in the last group read", 478, 1 << 22, 1050, "-6dBFS");
        addRow("eighth, 262.5 down", 100, 1 << 20, 262, "-18.1dBFS");
        addRow("787.5 up", 100, 3 * (1 << 20), 788, "-8.5dBFS");
        addRow("only positive sample in the unread last group", 479, 1000, 0, "-oodBFS");
    }
    void peakToMeter()
    {
        QFETCH(int, index);
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        QByteArray packet(LevelPacket::kLength, '\0'); // 24-bit big-endian samples
        for (int i = 0; i < 3; ++i)
            packet[index * 3 + i] = char(peak >> (16 - 8 * i));
        const qint32 read = LevelPacket::peak(packet);
        QCOMPARE(LevelPacket::meterWidthTwips(read), width);
        QCOMPARE(LevelPacket::levelCaption(read), caption);
    }

    // The one level rule of the plugin and the exporter: silence is judged
    // on the shown (rounded) level, and only a lost answer is an alarm.
    void levelRule_data()
    {
        QTest::addColumn<int>("peak"); // -1: no answer
        QTest::addColumn<bool>("answeredBefore");
        QTest::addColumn<int>("verdict");
        using V = LevelRule::Verdict;
        addRow("never answered", -1, false, int(V::NoLevel));
        addRow("answered before, then stopped", -1, true, int(V::Stopped));
        addRow("zero peak is silence", 0, true, int(V::Silent));
        addRow("-60.1 dBFS below the threshold", 8328, false, int(V::Silent));
        addRow("-60 dBFS at the threshold", 8389, false, int(V::Sounding));
    }
    void levelRule()
    {
        QFETCH(int, peak);
        QFETCH(bool, answeredBefore);
        QFETCH(int, verdict);
        const std::optional<qint32> answer = peak < 0 ? std::nullopt : std::optional<qint32>(peak);
        QCOMPARE(int(LevelRule::judge(answer, answeredBefore, LevelRule::kDefaultSilenceDbfs)),
                 verdict);
    }

    // steps: "set=N" by code, "act=N" a slider action of the operator,
    // "drag=N" the thumb dragged there and let go. fault: "ENCODER" (the
    // selection), "noip" (stored address empty), "unwritable" (nms.ini
    // cannot be replaced). command: the bytes the element is sent,
    // and then stored as `att`.
    void attenuation_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("steps");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QByteArray>("command");
        const QByteArray none;
        const QString min = u"act=%1"_s.arg(int(QAbstractSlider::SliderToMinimum));
        addRow("operator to minimum", "", min, "Mute", QByteArray("0E00"));
        addRow("one page down", "", u"act=%1"_s.arg(int(QAbstractSlider::SliderPageStepSub)),
               "-5 dB", QByteArray("F500"));
        addRow("thumb let go", "", "drag=200", "-27.5 dB", QByteArray("C800"));
        addRow("no change leaves no flag", "", u"set=14;"_s + min + u";set=30"_s, "-112.5 dB",
               none);
        addRow("encoder", "ENCODER", min, "Mute", none);
        addRow("not stored", "unwritable", min, "Mute", QByteArray("0E00"));
        addRow("no stored address", "noip", min, "Mute", none);
    }
    void attenuation()
    {
        QFETCH(QString, fault);
        QFETCH(QString, steps);
        QFETCH(QString, caption);
        QFETCH(QByteArray, command);
        Fixture f;
        LevelMonitor monitor{f.dialogs,   f.ini,       f.path,           f.udp,
                             f.panelView, f.meterView, f.monitoringView, *f.ui.tmrVolume};
        LevelControls controls{f.ui, monitor};
        QByteArray record = fault == u"ENCODER"_s ? kE : kD;
        f.writeIni(fault == u"noip"_s ? record.replace("IP=198.18.0.20", "IP=") : record);
        f.select(fault == u"ENCODER"_s ? fault : u"DECODER"_s);
        if (fault == u"unwritable"_s && !makeDirectoryUnwritable(f.dir.path(), true))
            QSKIP("this file system cannot make a directory refuse writes");

        for (const QString& step : steps.split(u';')) {
            const int value = step.section(u'=', 1).toInt();
            if (step.startsWith(u"set"_s)) {
                f.ui.scrlAtten->setValue(value);
            } else if (step.startsWith(u"act"_s)) {
                f.ui.scrlAtten->triggerAction(QAbstractSlider::SliderAction(value));
            } else {
                f.ui.scrlAtten->setSliderDown(true);
                f.ui.scrlAtten->setSliderPosition(value);
                QVERIFY(f.socket.sent.isEmpty()); // not while dragging
                f.ui.scrlAtten->setSliderDown(false);
            }
        }

        if (fault == u"unwritable"_s)
            makeDirectoryUnwritable(f.dir.path(), false);
        QCOMPARE(f.ui.lblAttenDB->text(), caption);
        QCOMPARE(f.socket.sent.size(), command.isEmpty() ? 0 : 1);
        if (!command.isEmpty()) // to the element's control port
            QVERIFY(f.socket.sent[0].data.toHex().toUpper() == command &&
                    f.socket.sent[0].port == 2977);
        if (!command.isEmpty() && fault.isEmpty()) // stored as sent
            record.replace("ATT=255", QByteArray("ATT=" + QByteArray::number(
                                                              command.left(2).toInt(nullptr, 16))));
        QCOMPARE(QString::fromLatin1(f.iniBytes()), QString::fromLatin1(record));
        const QString box = fault == u"unwritable"_s ? boxText(u"write"_s)
                            : fault == u"noip"_s     ? kNoAddress
                                                     : QString();
        QCOMPARE(f.dialogs.texts(), box.isEmpty() ? QStringList() : QStringList{box});
        for (const MessageBoxRequest& box : f.dialogs.boxes)
            QVERIFY(box.icon == BoxIcon::Critical && box.title == kApplicationTitle);
        if (fault != u"noip"_s)
            return;
        // Polling stops before its box opens, so the box does not repeat at
        // every tick.
        f.ui.chkGetVolume->setChecked(true);
        bool timerOnWhileBoxOpen = true;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            timerOnWhileBoxOpen = f.volumeTimer()->isEnabled();
        };
        QVERIFY(f.volumeTimer()->fire());
        QVERIFY(!timerOnWhileBoxOpen && !f.ui.chkGetVolume->isChecked() &&
                !f.volumeTimer()->fire());
        QCOMPARE(f.dialogs.texts(), QStringList({kNoAddress, kNoAddress}));
    }
};

QTEST_MAIN(ConfigurationTest)
#include "tst_Configuration.moc"
