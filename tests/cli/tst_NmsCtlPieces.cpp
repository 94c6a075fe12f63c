#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include "FakeIcmpSocket.h"
#include "PanelFixture.h"
#include "TableRow.h"
#include "cli/AttenuateCommand.h"
#include "cli/CliError.h"
#include "cli/EchoSweep.h"
#include "cli/ElementCatalog.h"
#include "cli/ElementDatabase.h"
#include "cli/ListCommand.h"
#include "cli/MetricsPage.h"
#include "cli/OutputTable.h"
#include "cli/ServeCommand.h"
#include "cli/SetCommand.h"
#include "cli/SettingChanges.h"
#include "ui/CaptionLabel.h"

using namespace nms;
using namespace nms::cli;
using namespace nms::test;
using namespace Qt::StringLiterals;

namespace {

const QString kEncoderKey = u"02:00:C6:12:00:0B"_s;
const QString kDecoderKey = u"02:00:C6:12:00:0C"_s;
const QString kSpareKey = u"02:00:C6:12:00:0D"_s;
// Records as discovery writes them: 13 keys for an encoder, 17 for a decoder.
const QByteArray kEncoder = "NAME=STUDIO          |IP=198.18.0.11|MASK=255.255.255.0|GW=198.18.0.1|"
                            "REMOTE=198.18.0.12|INPUT=1|TYPE=0|TX=0|ROLE=1|SN=1001|VER=3.1|SFN=0|"
                            "BUF=7";
const QByteArray kDecoder = "NAME=TX SITE         |IP=198.18.0.12|MASK=255.255.0.0|GW=198.18.0.2|"
                            "REMOTE=198.18.0.11|INPUT=0|TYPE=1|TX=0|ROLE=2|SN=2002|VER=3.4|SFN=1|"
                            "BUF=5|ATT=20|SDM=1|SDL=40|SDT=50";
// What the window's decoder controls hold before a selection: values no
// row loads, so a control the selection leaves alone shows as such.
constexpr int kKeptAtt = 99, kKeptBuf = 6, kKeptSdm = 2, kKeptSdl = 99, kKeptSdt = 99;

// The section of the node key holding the keys after the edits: "KEY=value"
// replaces or appends a key, "^KEY=value" puts it first, "-KEY" removes it.
QByteArray record(const QString& nodeKey, const QByteArray& keys, const QByteArray& edits = {})
{
    QByteArrayList lines = keys.split('|');
    for (QByteArray edit : edits.split('|')) {
        const bool remove = edit.startsWith('-');
        const bool first = edit.startsWith('^');
        edit = edit.mid(remove || first ? 1 : 0);
        const QByteArray name = edit.split('=').first() + '=';
        lines.removeIf([&](const QByteArray& line) { return line.startsWith(name); });
        if (!remove && !edit.isEmpty())
            first ? lines.prepend(edit) : lines.append(edit);
    }
    return '[' + nodeKey.toLatin1().replace(':', "") + "]\r\n" + lines.join("\r\n") + "\r\n";
}

QString number(int value, int kept = -1)
{
    return value == kept ? QString() : QString::number(value);
}

// The tick box's state as the option it shows: 0 off, 1 on, 2 undetermined.
QString sfnOption(Qt::CheckState state)
{
    return QString::number(state == Qt::Checked ? 1 : state == Qt::PartiallyChecked ? 2 : 0);
}

// What the window's panel shows, in the order of the CLI's fields, or the
// refusal's box.
QStringList windowShows(PanelFixture& f)
{
    if (!f.dialogs.texts().isEmpty())
        return {u"refused: "_s + f.dialogs.texts().join(u' ').replace(u'\r', u' ')};
    FrmMainControls& ui = f.ui();
    const bool decoder = ui.lblElementType->caption() == u"DECODER"_s;
    auto decoderValue = [&](int value, int kept) {
        return decoder ? number(value, kept) : QString();
    };
    return {ui.lblElementMAC->caption(),
            ui.txtElementName->text(),
            ui.lblElementType->caption(),
            ui.txtElementIP->text(),
            ui.txtElementMask->text(),
            ui.txtElementGW->text(),
            ui.txtRemoteIP->text(),
            ui.lblSerialNumber->caption(),
            ui.lblVersion->caption(),
            number(ui.cmbAudioInput->currentIndex()),
            number(ui.cmbAudioType->currentIndex()),
            number(ui.cmbAudioTX->currentIndex()),
            number(ui.cmbEncoders->currentIndex()),
            sfnOption(ui.chkSFNEnabled->checkState()),
            decoderValue(ui.scrlBuffer->value(), kKeptBuf),
            decoderValue(ui.scrlAtten->value(), kKeptAtt),
            decoderValue(ui.cmbSilDetMode->currentIndex(), kKeptSdm),
            decoderValue(ui.scrlSilDetLevel->value(), kKeptSdl),
            decoderValue(ui.scrlSilDetTime->value(), kKeptSdt)};
}

QStringList cliShows(const ElementDatabase& database, const QString& element)
{
    QString refusal;
    const auto panel = database.select(database.resolve(element, kExitUsage), &refusal);
    if (!panel)
        return {u"refused: "_s + refusal};
    QStringList shown;
    for (const auto& field : panel->shownFields())
        shown << field.second;
    return shown;
}

// The labels the exporter gives each element, and the same columns of what
// list prints.
QList<QStringList> exporterLabels(const QString& path)
{
    ElementCatalog catalog(path, {});
    catalog.refresh();
    QList<QStringList> labels;
    for (const ListedElement& e : catalog.elements())
        labels.append({e.mac, e.name, e.role, e.ip, e.version, e.serial});
    return labels;
}
QList<QStringList> listedLabels(const ElementDatabase& database)
{
    const QByteArray json = ListCommand::render(database, OutputTable::Format::Json).toUtf8();
    QList<QStringList> labels;
    for (const QJsonValue& row : QJsonDocument::fromJson(json).array()) {
        QStringList values;
        for (const char* column : {"mac", "name", "role", "ip", "version", "serial"})
            values.append(row[QLatin1String(column)].toString());
        labels.append(values);
    }
    return labels;
}

// What the action returns, or its refusal as "<status> <message>".
QString outcomeOf(const std::function<QString()>& action)
{
    try {
        return action();
    } catch (const CliError& error) {
        return QString::number(error.status) + u' ' + error.message;
    }
}

// The named fields of a panel as "key=value|...".
QString fieldsOf(const HeadlessPanel& panel, const QStringList& names)
{
    QStringList shown;
    for (const auto& [name, value] : panel.shownFields()) {
        if (names.contains(name))
            shown << name + u'=' + value;
    }
    return shown.join(u'|');
}

// An encoder STUDIO, a decoder TX SITE whose name ends in a no-break space,
// a second encoder STUDIO, a second decoder SPARE (the edits apply to it) and
// a decoder BROKEN of 18 lines.
QString writeSite(const QTemporaryDir& dir, const QByteArray& spareEdits = {})
{
    const QString path = dir.filePath(u"nms.ini"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write(record(kEncoderKey, kEncoder) + record(kDecoderKey, kDecoder, "NAME=TX SITE\xa0") +
               record(u"02:00:C6:12:00:0E"_s, kEncoder, "IP=198.18.0.14") +
               record(kSpareKey, kDecoder,
                      "NAME=SPARE|IP=198.18.0.13|SN=2003|REMOTE=198.18.0.14|INPUT=1|SDL=1|"
                      "SDT=1|SDM=0|BUF=0|SFN=0|" +
                          spareEdits) +
               record(u"02:00:C6:12:00:0F"_s, kDecoder, "NAME=BROKEN|IP=198.18.0.15|BOUND=0"));
    return path;
}

} // namespace

class tst_NmsCtlPieces : public QObject {
    Q_OBJECT
private slots:
    void init() { QLocale::setDefault(QLocale::c()); }

    // The window's selection and the CLI on the same hand-made file, after
    // one encoder: they agree on whether the record loads and on every
    // value shown, and show what `expected` lists. The exporter labels each
    // element with what list prints of it.
    void facesAgreeOnRecords_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QByteArray>("edits"); // of the decoder's record
        QTest::addColumn<QByteArray>("extra"); // sections after it
        QTest::addColumn<QString>("expected"); // "key=value|..." or "refused"
        const QString dec = kDecoderKey;
        const QByteArray none;
        addRow("decoder as discovery writes it", dec, none, none,
               "role=DECODER|version=3.40|bound=0|sfn=1|buf=5|att=20|sdm=1|sdl=40|sdt=50");
        addRow("encoder: no decoder values", kEncoderKey, none, none,
               "role=ENCODER|buf=|att=|sdm=|sdl=|sdt=");
        addRow("17 keys and a line '=stray'", dec, QByteArray("=stray"), none, "refused");
        addRow("a bare BOUND line in 17 lines", dec, QByteArray("-SN|BOUND"), none,
               "bound=0|serial=");
        addRow("18 lines, the first 740 characters long", dec, "^NOTE=" + QByteArray(740, 'x'),
               none, "name=TX SITE");
        addRow("one MAC in two sections", dec, none, record(dec.toLower(), kDecoder, "NAME=OTHER"),
               "nodes=2|name=TX SITE");
        addRow("version with a comma", dec, QByteArray("VER=3,4"), none, "version=3.40");
        addRow("no version", dec, QByteArray("-VER"), none, "version=2.00");
        addRow("SFN 7", dec, QByteArray("SFN=7"), none, "sfn=0");
        addRow("decoder without its four values", dec, QByteArray("-BUF|-SDM|-SDL|-SDT"), none,
               "buf=1|sdm=0|sdl=37|sdt=43");
        addRow("attenuation below its bar", dec, QByteArray("ATT=10"), none, "att=|buf=5");
        addRow("buffer above its bar", dec, QByteArray("BUF=9"), none, "buf=|att=20");
        addRow("name ending in a no-break space", dec, QByteArray("NAME=TX SITE\xa0"), none,
               u"name=TX SITE\u00a0"_s);
        addRow("address longer than its field", dec, QByteArray("IP=198.018.009.0010"), none,
               "refused");
        addRow("name longer than its field", dec, QByteArray("NAME=TX SITE 123456789"), none,
               "refused");
        addRow("input beyond its list", dec, QByteArray("INPUT=2"), none, "refused");
        addRow("bound beyond the encoders", dec, QByteArray("-SN|BOUND=2"), none, "refused");
        addRow("bound to the encoder", dec, QByteArray("-SN|BOUND=1"), none, "bound=1");
        addRow("role missing", dec, QByteArray("-ROLE"), none, "refused");
        addRow("role 5", dec, QByteArray("ROLE=5"), none, "role=UNKNOWN|buf=|att=");
    }
    void facesAgreeOnRecords()
    {
        QFETCH(QString, element);
        QFETCH(QByteArray, edits);
        QFETCH(QByteArray, extra);
        QFETCH(QString, expected);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record(kEncoderKey, kEncoder) + record(kDecoderKey, kDecoder, edits) + extra);
        f.list.Load_Config();
        ui.scrlAtten->setValue(kKeptAtt);
        ui.scrlBuffer->setValue(kKeptBuf);
        ui.cmbSilDetMode->setCurrentIndex(kKeptSdm);
        ui.scrlSilDetLevel->setValue(kKeptSdl);
        ui.scrlSilDetTime->setValue(kKeptSdt);
        f.selection.SelectElement(element);
        const QStringList window = windowShows(f);

        const ElementDatabase database = ElementDatabase::load(f.iniPath, kExitUsage);
        QCOMPARE(database.elements().size(), ui.TreeView1->topLevelItemCount());
        const QStringList cli = cliShows(database, element);
        QCOMPARE(cli, window);
        QCOMPARE(exporterLabels(f.iniPath), listedLabels(database));

        const QStringList names = HeadlessPanel::shownNames();
        for (const QString& expectation : expected.split(u'|')) {
            const QString name = expectation.section(u'=', 0, 0);
            const QString value = expectation.section(u'=', 1);
            if (expectation == u"refused"_s)
                QVERIFY2(cli.constFirst().startsWith(u"refused: The data stored"_s),
                         qPrintable(cli.join(u'|')));
            else if (name == u"nodes"_s)
                QCOMPARE(QString::number(database.elements().size()), value);
            else
                QCOMPARE(name + u'=' + cli.value(names.indexOf(name)), expectation);
        }
    }

    void resolvesElements_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("expected"); // node key, or the refusal
        addRow("MAC with colons, lower case", "02:00:c6:12:00:0c", kDecoderKey);
        addRow("MAC without colons", "0200c612000b", kEncoderKey);
        addRow("name, any case, blanks around", " spare ", kSpareKey);
        addRow("name with its no-break space", u"tx site\u00a0"_s, kDecoderKey);
        addRow("name without its no-break space", "TX SITE",
               "2 no element 'TX SITE' in the database");
        addRow("IP address with leading zeros", "198.18.0.013", kSpareKey);
        addRow("ambiguous name lists the matches", "studio",
               "2 'studio' is ambiguous: it names STUDIO [02:00:C6:12:00:0B], STUDIO "
               "[02:00:C6:12:00:0E]");
        addRow("unknown", "02:00:c6:12:00:ff", "2 no element '02:00:c6:12:00:ff' in the database");
    }
    void resolvesElements()
    {
        QFETCH(QString, element);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const ElementDatabase database = ElementDatabase::load(writeSite(dir), kExitUsage);
        QCOMPARE(outcomeOf([&] { return database.resolve(element, kExitUsage).key; }), expected);
    }

    // The panel `set` sends for SPARE, or its refusal.
    void buildsTheSentPanel_data()
    {
        QTest::addColumn<QByteArray>("spareEdits");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("expected");
        const QByteArray none;
        const QString fields = u"mac=02:00:C6:12:00:0D|name=TX SITE\u00a0|ip=198.18.0.13|"
                               u"remote=198.18.0.11|serial=2003|input=0|sfn=1|buf=5|att=20|sdm=1|"
                               u"sdl=40|sdt=50"_s;
        addRow("bound is never written", none, QString(), QStringList{u"BOUND=1"_s},
               "2 bound=1: the bound encoder is read from the record, never written: the window "
               "does not write it, and a decoder's record has no room for one more line");
        addRow("decoder setting on an encoder", none, QString(), QStringList{u"buf=1"_s},
               "2 buf=1: only a decoder has this setting");
        addRow("address that does not fit its field", none, QString(),
               QStringList{u"gw=198.018.009.0010"_s},
               "2 gw=198.018.009.0010: at most 15 characters");
        addRow("audio choice out of range", none, QString(), QStringList{u"tx=2"_s},
               "2 tx=2: Please verify that all audio fields are correct!");
        addRow("unknown key", none, QString(), QStringList{u"sfn=1"_s},
               "2 unknown key 'sfn' (keys: name, ip, mask, gw, remote, input, type, tx, buf, sdm, "
               "sdl, sdt)");
        addRow("buffer the record cannot give", QByteArray("BUF=9"), QString(),
               QStringList{u"sdl=3"_s},
               "2 the record of spare holds no buf its control can take; give buf=VALUE");
        addRow("clone: the failed unit's configuration, the spare's own address", none,
               u"tx site\u00a0"_s, QStringList(), fields);
        addRow("clone with the address named", none, kDecoderKey,
               QStringList{u"ip=198.18.0.99"_s, u"sdl=7"_s},
               QString(fields)
                   .replace(u"198.18.0.13"_s, u"198.18.0.99"_s)
                   .replace(u"sdl=40"_s, u"sdl=7"_s));
        addRow("clone across roles", none, kEncoderKey, QStringList(),
               "2 SPARE is DECODER and STUDIO is ENCODER: the roles differ");
        addRow("clone from a refused record", none, u"broken"_s, QStringList(),
               "2 BROKEN [02:00:C6:12:00:0F]: The data stored in your computer about this "
               "element, is corrupted (1). Cannot load this element info.");
        addRow("clone to a refused record", QByteArray("SDL=1|BOUND=0"), kDecoderKey, QStringList(),
               "2 SPARE [02:00:C6:12:00:0D]: The data stored in your computer about this element, "
               "is corrupted (1). Cannot load this element info.");
    }
    void buildsTheSentPanel()
    {
        QFETCH(QByteArray, spareEdits);
        QFETCH(QString, from);
        QFETCH(QStringList, settings);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = writeSite(dir, spareEdits);
        const QString element = QString::fromLatin1(QTest::currentDataTag()).contains(u"encoder"_s)
                                    ? u"STUDIO"_s
                                    : u"spare"_s;
        QCOMPARE(outcomeOf([&] {
                     const ElementDatabase database = ElementDatabase::load(path, kExitUsage);
                     const SettingChanges changes =
                         SettingChanges::parse(settings, kExitUsage, !from.isEmpty());
                     const QString target = element == u"STUDIO"_s ? kEncoderKey : element;
                     QStringList names;
                     for (const QString& pair : expected.split(u'|'))
                         names << pair.section(u'=', 0, 0);
                     return fieldsOf(SetCommand::panelFor(database, target, from, changes), names);
                 }),
                 expected);
    }

    void rendersOutput_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");
        addRow("table aligns, no trailing blanks", int(OutputTable::Format::Table),
               "NAME         IP\nSTUDIO, \"A\"  198.18.0.11\nDEC\xc3\xa9\r\nX\n");
        addRow("csv quotes and doubles, CRLF", int(OutputTable::Format::Csv),
               "NAME,IP\r\n\"STUDIO, \"\"A\"\"\",198.18.0.11\r\n\"DEC\xc3\xa9\r\nX\",\r\n");
        addRow("json, one document", int(OutputTable::Format::Json),
               "[\n    {\n        \"ip\": \"198.18.0.11\",\n        \"name\": \"STUDIO, "
               "\\\"A\\\"\"\n    },\n    {\n        \"ip\": \"\",\n        \"name\": "
               "\"DEC\xc3\xa9\\r\\nX\"\n    }\n]\n");
    }
    void rendersOutput()
    {
        QFETCH(int, format);
        QFETCH(QString, expected);
        OutputTable table({u"NAME"_s, u"IP"_s});
        table.addRow({u"STUDIO, \"A\""_s, u"198.18.0.11"_s});
        // Latin-1 from the database, written as UTF-8.
        table.addRow({QString::fromLatin1("DEC\xe9\r\nX")});
        QCOMPARE(table.render(OutputTable::Format(format)), expected);
    }

    void attenuationCodes_data()
    {
        QTest::addColumn<QString>("decibels");
        QTest::addColumn<int>("code"); // -1: refused
        addRow("mute is the bar's minimum", "MUTE", 14);
        addRow("0 dB", "0", 255);
        addRow("half steps", "-27.5", 200);
        addRow("lowest", "-120", 15);
        addRow("below the range", "-120.5", -1);
        addRow("not a half step", "-0.3", -1);
        addRow("positive", "1", -1);
        addRow("text", "loud", -1);
    }
    void attenuationCodes()
    {
        QFETCH(QString, decibels);
        QFETCH(int, code);
        QCOMPARE(AttenuateCommand::codeFor(decibels).value_or(-1), code);
    }

    void listenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected"); // host|port, or empty: refused
        addRow("IPv4", "127.0.0.1:9798", "127.0.0.1|9798");
        addRow("every address", ":9100", "|9100");
        addRow("IPv6 in brackets", "[::1]:9798", "::1|9798");
        addRow("IPv6 without brackets", "::1:9798", "");
        addRow("port 0", "127.0.0.1:0", "");
        addRow("no port", "127.0.0.1", "");
        addRow("a name, not an address", "localhost:9798", "");
    }
    void listenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QString host;
        quint16 port = 0;
        const bool ok = ServeCommand::parseListen(text, host, port);
        QCOMPARE(ok ? host + u'|' + QString::number(port) : QString(), expected);
    }

    // A lane whose socket is gone for good (a helper that cannot start
    // again) takes no address; the open lane carries the round, and with
    // none open every address counts as not sent.
    void sweepSkipsDeadLanes_data()
    {
        QTest::addColumn<bool>("oneOpen");
        QTest::addColumn<qint32>("expected");
        QTest::newRow("one lane gone") << true << qint32(echo_status::Success);
        QTest::newRow("every lane gone") << false << qint32(echo_status::NotSent);
    }
    void sweepSkipsDeadLanes()
    {
        QFETCH(bool, oneOpen);
        QFETCH(qint32, expected);
        FakeIcmpSocket gone;
        FakeIcmpSocket live;
        gone.openSucceeds = false;
        live.openSucceeds = oneOpen;
        live.open();
        EchoSweep sweep({&gone, &live});
        QList<qint32> statuses;
        connect(&sweep, &EchoSweep::echoed, this, [&](int, qint32 status, quint32) {
            statuses << status;
            QTimer::singleShot(0, &live, [&live] { live.finish(echo_status::Success, 1); });
        });
        QSignalSpy finished(&sweep, &EchoSweep::finished);
        sweep.start({u"198.18.0.11"_s, u"198.18.0.12"_s, u"198.18.0.13"_s});
        if (oneOpen)
            live.finish(echo_status::Success, 1);
        QVERIFY(finished.count() == 1 || finished.wait(2000));
        QCOMPARE(statuses, QList<qint32>(3, expected));
        QVERIFY(gone.sent.isEmpty());
    }

    // Label values escaped; a zero peak is silence (-Inf, an alarm); no
    // round trip before an answer; no samples before the first round.
    void rendersMetrics()
    {
        const ListedElement element{u"02:00:C6:12:00:0B"_s, u"A \"B\"\\\nC"_s, u"ENCODER"_s,
                                    u"198.18.0.11"_s,       u"3.40"_s,         u"100001"_s};
        ElementReading reading;
        reading.peak = 0;
        reading.levelVerdict = LevelRule::Verdict::Silent;
        const QString page = QString::fromUtf8(
            MetricsPage::render({element}, {{element.mac, reading}}, MetricsPage::Totals{}));
        const QString labels = u"{mac=\"02:00:C6:12:00:0B\",name=\"A \\\"B\\\"\\\\\\nC\","
                               u"role=\"ENCODER\"}"_s;
        QVERIFY2(page.contains(u"veltrino_element_level_dbfs"_s + labels + u" -Inf\n"_s),
                 qPrintable(page));
        QVERIFY(page.contains(u"veltrino_element_level_alarm"_s + labels + u" 1\n"_s));
        QVERIFY(page.contains(u"veltrino_element_up"_s + labels + u" 0\n"_s));
        QVERIFY(!page.contains(u"veltrino_element_rtt_seconds{"_s));
        // Before its first round an element is listed, not called down.
        const QString unpolled =
            QString::fromUtf8(MetricsPage::render({element}, {}, MetricsPage::Totals{}));
        QVERIFY(unpolled.contains(u"veltrino_element_info{"_s));
        QVERIFY(!unpolled.contains(u"veltrino_element_up{"_s));
    }
};

QTEST_MAIN(tst_NmsCtlPieces)
#include "tst_NmsCtlPieces.moc"
