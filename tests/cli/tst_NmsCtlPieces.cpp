#include <QtTest>

#include "RecordingDialogs.h"
#include "TableRow.h"
#include "cli/AttenuateCommand.h"
#include "cli/CliError.h"
#include "cli/ElementDatabase.h"
#include "cli/MetricsPage.h"
#include "cli/OutputTable.h"
#include "cli/PanelValues.h"
#include "cli/ServeCommand.h"
#include "cli/SetCommand.h"
#include "cli/SettingChanges.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/FeedbackRecord.h"

using namespace nms;
using namespace nms::cli;
using namespace nms::test;
using namespace Qt::StringLiterals;

namespace {

StoredElement record(const QString& section, const QString& name, const QString& ip, int role)
{
    QString text =
        u"name=%1,ip=%2,mask=255.255.255.0,gw=198.18.0.254,remote=198.18.0.12,input=0,"
        u"type=1,tx=0,role=%3,sn=100001,ver=3.4,sfn=1,buf=2"_s.arg(name.leftJustified(16), ip)
            .arg(role);
    if (role == 2)
        text += u",att=255,sdm=0,sdl=50,sdt=30"_s;
    QList<std::pair<QString, QString>> keys;
    for (const QString& pair : text.split(u','))
        keys.append({pair.section(u'=', 0, 0), pair.section(u'=', 1)});
    return StoredElement(section, keys);
}

// Two encoders of the same name, one decoder.
ElementDatabase siteDatabase()
{
    return ElementDatabase({record(u"0200C612000B"_s, u"STUDIO"_s, u"198.18.0.11"_s, 1),
                            record(u"0200C612000C"_s, u"TX SITE"_s, u"198.18.0.12"_s, 2),
                            record(u"0200C612000D"_s, u"STUDIO"_s, u"198.18.0.13"_s, 1)});
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

PanelValues panelFor(const ElementDatabase& database, const QString& element,
                     const SettingChanges& changes)
{
    PanelValues panel = PanelValues::fromRecord(database.resolve(element, kExitUsage),
                                                database.encoderCount(), kExitUsage);
    changes.applyTo(panel, database.encoderCount(), kExitUsage);
    return panel;
}

} // namespace

class tst_NmsCtlPieces : public QObject {
    Q_OBJECT
private slots:
    void resolvesElements_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("expected"); // section, or the refusal
        addRow("MAC with colons, lower case", "02:00:c6:12:00:0c", "0200C612000C");
        addRow("MAC without colons", "0200c612000b", "0200C612000B");
        addRow("name, trimmed, any case", " tx site ", "0200C612000C");
        addRow("IP address with leading zeros", "198.18.0.013", "0200C612000D");
        addRow("ambiguous name lists the matches", "studio",
               "2 'studio' is ambiguous: it names STUDIO [02:00:C6:12:00:0B], STUDIO "
               "[02:00:C6:12:00:0D]");
        addRow("unknown", "02:00:c6:12:00:ff", "2 no element '02:00:c6:12:00:ff' in the database");
        addRow("MAC of wrong length is a name", "0200C612000",
               "2 no element '0200C612000' in the database");
    }
    void resolvesElements()
    {
        QFETCH(QString, element);
        QFETCH(QString, expected);
        const ElementDatabase database = siteDatabase();
        QCOMPARE(outcomeOf([&] { return database.resolve(element, kExitUsage).section(); }),
                 expected);
    }

    // The configuration `set` sends for a stored record plus the changes,
    // or the refusal, with the window's check texts where it has them.
    void buildsConfigurations_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("expected"); // packet in hex, or the refusal
        const QString tx = u"TX SITE"_s;
        addRow("decoder: name and silence level", tx, QStringList{u"name=Tx b"_s, u"sdl=100"_s},
               "c612000cffffff00c61200fec612000c00010054582042202020202020202020202020010200641e");
        addRow("encoder: new address, analog input", u"0200C612000B"_s,
               QStringList{u"ip=10.0.0.1"_s, u"INPUT=1"_s},
               "0a000001ffffff00c61200fec612000c01010053545544494f20202020202020202020");
        addRow("decoder setting on an encoder", u"198.18.0.11"_s, QStringList{u"buf=1"_s},
               "2 buf=1: only a decoder has this setting");
        addRow("address out of range", tx, QStringList{u"gw=198.18.0.256"_s},
               "2 gw=198.18.0.256: Please verify that all IP fields are correct!");
        addRow("audio choice out of range", tx, QStringList{u"tx=2"_s},
               "2 tx=2: Please verify that all audio fields are correct!");
        addRow("empty name", tx, QStringList{u"name="_s},
               "2 name=: Please verify that the name field is correct!");
        addRow("silence time above its bar", tx, QStringList{u"sdt=221"_s},
               "2 sdt=221: a whole number from 1 to 220 is needed");
        addRow("bound beyond the encoders", tx, QStringList{u"bound=3"_s},
               "2 bound=3: a whole number from 0 to 2 is needed");
        addRow("unknown key", tx, QStringList{u"sfn=1"_s},
               "2 unknown key 'sfn' (keys: name, ip, mask, gw, remote, input, type, tx, bound, "
               "buf, sdm, sdl, sdt)");
        addRow("key given twice", tx, QStringList{u"ip=1.2.3.4"_s, u"IP=1.2.3.5"_s},
               "2 key 'ip' given twice");
        addRow("no equals sign", tx, QStringList{u"ip"_s}, "2 'ip' is not KEY=VALUE");
    }
    void buildsConfigurations()
    {
        QFETCH(QString, element);
        QFETCH(QStringList, settings);
        QFETCH(QString, expected);
        const ElementDatabase database = siteDatabase();
        QCOMPARE(outcomeOf([&] {
                     const PanelValues panel =
                         panelFor(database, element, SettingChanges::parse(settings, kExitUsage));
                     return QString::fromLatin1(ConfigurationPacket::build(panel.packetFields())
                                                    .value_or(QByteArray())
                                                    .toHex());
                 }),
                 expected);
    }

    // An answer confirmed by the window's confirmation on the panel `set`
    // builds: the keys of the record it changes, the boxes, the exit status.
    void confirmsAnswers_data()
    {
        QTest::addColumn<QString>("reportedMac");
        QTest::addColumn<QString>("reportedGw");
        QTest::addColumn<QString>("expected");
        const QString mac = u"02:00:C6:12:00:0C"_s;
        addRow("agreement: values of the element, bars' ranges, bound kept", mac, "198.18.0.254",
               "sn=100002,att=14,sdl=154,sdt=1,bound=2"
               "|New configuration has been sucessfuly saved and loaded!|0");
        addRow("gateway disagrees: kept, said, bound not kept", mac, "198.18.0.99",
               "sn=100002,att=14,sdl=154,sdt=1"
               "|An error occured while saving 'Element GW': Feedback is corrupted.|1");
        addRow("answer of another element: nothing stored", "02:00:C6:12:00:0D", "198.18.0.254",
               "|The response received does not match the selected element. Cannot save this "
               "element info.|1");
    }
    void confirmsAnswers()
    {
        QFETCH(QString, reportedMac);
        QFETCH(QString, reportedGw);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"nms.ini"_s);
        const ElementDatabase site = siteDatabase();
        const StoredElement& element = site.resolve(u"TX SITE"_s, kExitUsage);
        PrivateProfileStore store;
        QVERIFY(IniRoutines(store).WriteKeysToINI(element.section(), element.keys(), path));
        const SettingChanges changes = SettingChanges::parse({u"bound=2"_s}, kExitUsage);
        PanelValues panel = panelFor(site, element.section(), changes);
        // mac, ip, mask, gw, remote, input, type, tx, name, role, sn, ver, sfn, buf,
        // att, sdm, sdl, sdt, and all of the last six carried.
        const FeedbackRecord answer(reportedMac, u"198.18.0.12"_s, u"255.255.255.0"_s, reportedGw,
                                    u"198.18.0.12"_s, 0, 1, 0, u"TX SITE         "_s, 2, 100002,
                                    3.4, 1, 2, 0, 0, 200, 0, true, true, true, true, true, true);
        const ElementDatabase before = ElementDatabase::load(path, kExitUsage);
        RecordingDialogs dialogs;
        const int status = SetCommand::confirmAnswer(dialogs, path, panel, changes, answer);

        // The keys the confirmation changed or added, and "-key" for one it removed.
        const ElementDatabase after = ElementDatabase::load(path, kExitUsage);
        const StoredElement& was = before.resolve(element.section(), kExitUsage);
        const StoredElement& is = after.resolve(element.section(), kExitUsage);
        QStringList changed;
        for (const auto& [key, value] : is.keys()) {
            if (!was.has(key) || was.value(key) != value)
                changed << key + u'=' + value;
        }
        for (const auto& [key, value] : was.keys()) {
            if (!is.has(key))
                changed << u'-' + key;
        }
        QCOMPARE(changed.join(u',') + u'|' + dialogs.texts().join(u',').replace(u'\r', u' ') +
                     u'|' + QString::number(status),
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

    // Label values escaped; a zero peak is silence (-Inf, an alarm); no
    // round trip before an answer.
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
    }
};

QTEST_GUILESS_MAIN(tst_NmsCtlPieces)
#include "tst_NmsCtlPieces.moc"
