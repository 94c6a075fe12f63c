#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include "FakeIcmpSocket.h"
#include "FileBytes.h"
#include "PanelFixture.h"
#include "TableColumns.h"
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

using SentPanelColumns = TableColumns<QByteArray, QString, QString, QString, QString>;
const QString kEncoderKey = u"02:00:C6:12:00:0B"_s;
const QString kDecoderKey = u"02:00:C6:12:00:0C"_s;
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

// What the window's panel shows, in the order of the CLI's fields, or the
// refusal's box. A decoder control the selection left alone shows empty.
QStringList windowShows(PanelFixture& f)
{
    if (!f.dialogs.texts().isEmpty())
        return {u"refused: "_s + f.dialogs.texts().join(u' ').replace(u'\r', u' ')};
    FrmMainControls& ui = f.ui();
    const bool decoder = ui.lblElementType->caption() == u"DECODER"_s;
    auto value = [&](int shown, int kept = -1) {
        return (kept >= 0 && !decoder) || shown == kept ? QString() : QString::number(shown);
    };
    const Qt::CheckState sfn = ui.chkSFNEnabled->checkState();
    QStringList shown{ui.lblElementMAC->caption(), ui.txtElementName->text(),
                      ui.lblElementType->caption()};
    for (QLineEdit* field : {ui.txtElementIP, ui.txtElementMask, ui.txtElementGW, ui.txtRemoteIP})
        shown << field->text();
    shown << ui.lblSerialNumber->caption() << ui.lblVersion->caption();
    for (QComboBox* list : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX, ui.cmbEncoders})
        shown << value(list->currentIndex());
    return shown << value(sfn == Qt::Checked            ? 1
                          : sfn == Qt::PartiallyChecked ? 2
                                                        : 0)
                 << value(ui.scrlBuffer->value(), kKeptBuf)
                 << value(ui.scrlAtten->value(), kKeptAtt)
                 << value(ui.cmbSilDetMode->currentIndex(), kKeptSdm)
                 << value(ui.scrlSilDetLevel->value(), kKeptSdl)
                 << value(ui.scrlSilDetTime->value(), kKeptSdt);
}

// An encoder STUDIO, a decoder TX SITE whose name ends in a no-break space,
// a second encoder STUDIO, a second decoder SPARE (the edits apply to it) and
// a decoder BROKEN of 18 lines.
QString writeSite(const QTemporaryDir& dir, const QByteArray& spareEdits)
{
    const QString path = dir.filePath(u"nms.ini"_s);
    writeBytes(path,
               record(kEncoderKey, kEncoder) + record(kDecoderKey, kDecoder, "NAME=TX SITE\xa0") +
                   record(u"02:00:C6:12:00:0E"_s, kEncoder, "IP=198.18.0.14") +
                   record(u"02:00:C6:12:00:0D"_s, kDecoder,
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
    // value shown. What the shared selection makes of each record is the
    // selection test's; these rows are where the two faces could part.
    void facesAgreeOnRecords_data()
    {
        TableColumns<QByteArray, QByteArray>::add(); // the decoder's edits, sections after it
        const QByteArray none;
        addRow("decoder as discovery writes it", none, none);
        addRow("encoder: no decoder values", QByteArray("ROLE=1"), none);
        // The section outgrows the 750-character buffer it is read through.
        addRow("18 lines, the first 740 characters long", "^NOTE=" + QByteArray(740, 'x'), none);
        addRow("one MAC in two sections", none, record(kDecoderKey.toLower(), kDecoder, "NAME=X"));
        addRow("attenuation below its bar", QByteArray("ATT=10"), none);
        addRow("buffer above its bar", QByteArray("BUF=9"), none);
        addRow("bound to the one encoder", QByteArray("-SN|BOUND=1"), none);
        addRow("bound beyond the encoders", QByteArray("-SN|BOUND=2"), none);
        addRow("role 5", QByteArray("ROLE=5"), none);
    }
    void facesAgreeOnRecords()
    {
        const auto [edits, extra] = TableColumns<QByteArray, QByteArray>::fetch();
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        f.writeIni(record(kEncoderKey, kEncoder) + record(kDecoderKey, kDecoder, edits) + extra);
        f.list.Load_Config();
        ui.scrlAtten->setValue(kKeptAtt);
        ui.scrlBuffer->setValue(kKeptBuf);
        ui.cmbSilDetMode->setCurrentIndex(kKeptSdm);
        ui.scrlSilDetLevel->setValue(kKeptSdl);
        ui.scrlSilDetTime->setValue(kKeptSdt);
        f.selection.SelectElement(kDecoderKey);

        const ElementDatabase database = ElementDatabase::load(f.iniPath, kExitUsage);
        QCOMPARE(database.elements().size(), ui.TreeView1->topLevelItemCount());
        QString refusal;
        const auto panel = database.select(database.resolve(kDecoderKey, kExitUsage), &refusal);
        QStringList cli{u"refused: "_s + refusal};
        if (panel) {
            cli.clear();
            for (const auto& field : panel->shownFields())
                cli << field.second;
        }
        QCOMPARE(cli, windowShows(f));
        // The exporter labels each element with what list prints of it.
        ElementCatalog catalog(f.iniPath, {});
        catalog.refresh();
        const QStringList rows =
            ListCommand::render(database, OutputTable::Format::Csv).split(u"\r\n"_s);
        for (const ListedElement& e : catalog.elements()) {
            const QStringList c = rows.value(int(&e - catalog.elements().data()) + 1).split(u',');
            QCOMPARE((QStringList{e.mac, e.name, e.role, e.ip, e.version, e.serial}),
                     (QStringList{c.value(0), c.value(1), c.value(2), c.value(3), c.value(8),
                                  c.value(7)}));
        }
    }

    // The panel `set` sends: the element it names, or the refusal as
    // "<status> <message>".
    void buildsTheSentPanel_data()
    {
        // Settings blank-separated; expected "key=value|...", or the refusal.
        SentPanelColumns::add();
        const QByteArray none;
        const QString spare = u"mac=02:00:C6:12:00:0D"_s;
        addRow("MAC without colons", none, "0200c612000b", "", "type=0", "mac=02:00:C6:12:00:0B");
        addRow("name, any case, blanks around", none, " spare ", "", "type=0", spare);
        addRow("name with its no-break space", none, u"tx site\u00a0"_s, "", "type=0",
               "mac=02:00:C6:12:00:0C");
        addRow("IP address with leading zeros", none, "198.18.0.013", "", "type=0", spare);
        addRow("ambiguous name lists the matches", none, "studio", "", "type=0",
               "2 'studio' is ambiguous: it names STUDIO [02:00:C6:12:00:0B], STUDIO "
               "[02:00:C6:12:00:0E]");
        addRow("decoder setting on an encoder", none, "0200c612000b", "", "buf=1",
               "2 buf=1: only a decoder has this setting");
        addRow("unknown key", none, "spare", "", "sfn=1",
               "2 unknown key 'sfn' (keys: name, ip, mask, gw, remote, input, type, tx, buf, sdm, "
               "sdl, sdt)");
        addRow("buffer the record cannot give", QByteArray("BUF=9"), "spare", "", "sdl=3",
               "2 the record of spare holds no buf its control can take; give buf=VALUE");
        addRow("clone with the address named", none, "spare", kDecoderKey, "ip=198.18.0.99 sdl=7",
               spare + u"|name=TX SITE\u00a0|ip=198.18.0.99|remote=198.18.0.11|serial=2003|"
                       u"input=0|sfn=1|buf=5|att=20|sdm=1|sdl=7|sdt=50"_s);
        addRow("clone from a refused record", none, "spare", "broken", "",
               "2 BROKEN [02:00:C6:12:00:0F]: The data stored in your computer about this "
               "element, is corrupted (1). Cannot load this element info.");
        addRow("clone to a refused record", QByteArray("SDL=1|BOUND=0"), "spare", kDecoderKey, "",
               "2 SPARE [02:00:C6:12:00:0D]: The data stored in your computer about this element, "
               "is corrupted (1). Cannot load this element info.");
    }
    void buildsTheSentPanel()
    {
        const auto [spareEdits, element, from, settings, expected] = SentPanelColumns::fetch();
        QTemporaryDir dir;
        const QString path = writeSite(dir, spareEdits);
        QString outcome;
        try {
            const ElementDatabase database = ElementDatabase::load(path, kExitUsage);
            const SettingChanges changes = SettingChanges::parse(
                settings.split(u' ', Qt::SkipEmptyParts), kExitUsage, !from.isEmpty());
            const HeadlessPanel panel = SetCommand::panelFor(database, element, from, changes);
            QStringList shown;
            for (const auto& [name, value] : panel.shownFields()) {
                if (expected.contains(name + u'='))
                    shown << name + u'=' + value;
            }
            outcome = shown.join(u'|');
        } catch (const CliError& error) {
            outcome = QString::number(error.status) + u' ' + error.message;
        }
        QCOMPARE(outcome, expected);
    }

    // Latin-1 from the database, written as UTF-8.
    void rendersOutput()
    {
        OutputTable table({u"NAME"_s, u"IP"_s});
        table.addRow({u"STUDIO, \"A\""_s, u"198.18.0.11"_s});
        table.addRow({QString::fromLatin1("DEC\xe9\r\nX")});
        // The table aligns and leaves no trailing blanks; CSV quotes, doubles
        // and ends lines in CRLF. JSON is Qt's own writer, seen in the lab run.
        QCOMPARE(table.render(OutputTable::Format::Table),
                 u"NAME         IP\nSTUDIO, \"A\"  198.18.0.11\nDEC\u00e9\r\nX\n"_s);
        QCOMPARE(table.render(OutputTable::Format::Csv),
                 u"NAME,IP\r\n\"STUDIO, \"\"A\"\"\",198.18.0.11\r\n\"DEC\u00e9\r\nX\",\r\n"_s);
    }

    // An attenuation as its code, a listen address as host|port; empty:
    // refused.
    void parsesArguments()
    {
        QStringList parsed;
        for (const char* text : {"0", "-120", "-120.5"})
            parsed << QString::number(AttenuateCommand::codeFor(latin1(text)).value_or(-1));
        // IPv6 needs its brackets.
        for (const char* text : {"127.0.0.1:9798", ":9100", "[::1]:9798", "::1:9798", "127.0.0.1:0",
                                 "localhost:9798"}) {
            QString host;
            quint16 port = 0;
            parsed << (ServeCommand::parseListen(latin1(text), host, port)
                           ? host + u'|' + QString::number(port)
                           : QString());
        }
        QCOMPARE(parsed.join(u' '), u"255 15 -1 127.0.0.1|9798 |9100 ::1|9798   "_s);
    }

    // A lane whose socket is gone for good (a helper that cannot start
    // again) takes no address; the open lane carries the round.
    void sweepSkipsDeadLanes()
    {
        FakeIcmpSocket gone;
        FakeIcmpSocket live;
        gone.openSucceeds = false;
        live.open();
        EchoSweep sweep({&gone, &live});
        QList<qint32> statuses;
        connect(&sweep, &EchoSweep::echoed, this, [&](int, qint32 status, quint32) {
            statuses << status;
            QTimer::singleShot(0, &live, [&live] { live.finish(echo_status::Success, 1); });
        });
        QSignalSpy finished(&sweep, &EchoSweep::finished);
        sweep.start({u"198.18.0.11"_s, u"198.18.0.12"_s, u"198.18.0.13"_s});
        live.finish(echo_status::Success, 1);
        QVERIFY(finished.count() == 1 || finished.wait(2000));
        QCOMPARE(statuses, QList<qint32>(3, echo_status::Success));
        QVERIFY(gone.sent.isEmpty());
    }

    // Label values escaped; a zero peak is silence, shown as -Inf.
    void rendersMetrics()
    {
        const ListedElement element{kEncoderKey,      u"A \"B\"\\\nC"_s, u"ENCODER"_s,
                                    u"198.18.0.11"_s, u"3.40"_s,         u"100001"_s};
        ElementReading reading;
        reading.peak = 0;
        const QString page = QString::fromUtf8(
            MetricsPage::render({element}, {{element.mac, reading}}, MetricsPage::Totals{}));
        QVERIFY2(page.contains(u"veltrino_element_level_dbfs{mac=\"02:00:C6:12:00:0B\",name=\"A "
                               u"\\\"B\\\"\\\\\\nC\",role=\"ENCODER\"} -Inf\n"_s),
                 qPrintable(page));
    }
};

QTEST_MAIN(tst_NmsCtlPieces)
#include "tst_NmsCtlPieces.moc"
