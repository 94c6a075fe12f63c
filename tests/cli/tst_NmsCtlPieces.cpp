#include <QtTest>

#include "RecordingDialogs.h"
#include "cli/AttenuateCommand.h"
#include "cli/CliError.h"
#include "cli/ElementDatabase.h"
#include "cli/OutputTable.h"
#include "cli/PanelValues.h"
#include "cli/SetCommand.h"
#include "cli/SettingChanges.h"
#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"
#include "protocol/ConfigurationPacket.h"
#include "protocol/FeedbackRecord.h"

using namespace nms;
using namespace nms::cli;
using namespace Qt::StringLiterals;

namespace {

using Keys = QList<std::pair<QString, QString>>;

Keys recordKeys(const QString& name, const QString& ip, int role)
{
    Keys keys{{QStringLiteral("name"), name.leftJustified(16)},
              {QStringLiteral("ip"), ip},
              {QStringLiteral("mask"), QStringLiteral("255.255.255.0")},
              {QStringLiteral("gw"), QStringLiteral("198.18.0.254")},
              {QStringLiteral("remote"), QStringLiteral("198.18.0.12")},
              {QStringLiteral("input"), QStringLiteral("0")},
              {QStringLiteral("type"), QStringLiteral("1")},
              {QStringLiteral("tx"), QStringLiteral("0")},
              {QStringLiteral("role"), QString::number(role)},
              {QStringLiteral("sn"), QStringLiteral("100001")},
              {QStringLiteral("ver"), QStringLiteral("3.4")},
              {QStringLiteral("sfn"), QStringLiteral("1")},
              {QStringLiteral("buf"), QStringLiteral("2")}};
    if (role == 2) {
        keys += Keys{{QStringLiteral("att"), QStringLiteral("255")},
                     {QStringLiteral("sdm"), QStringLiteral("0")},
                     {QStringLiteral("sdl"), QStringLiteral("50")},
                     {QStringLiteral("sdt"), QStringLiteral("30")}};
    }
    return keys;
}

// Two encoders of the same name, one decoder.
ElementDatabase siteDatabase()
{
    return ElementDatabase(
        {StoredElement(QStringLiteral("0200C612000B"),
                       recordKeys(QStringLiteral("STUDIO"), QStringLiteral("198.18.0.11"), 1)),
         StoredElement(QStringLiteral("0200C612000C"),
                       recordKeys(QStringLiteral("TX SITE"), QStringLiteral("198.18.0.12"), 2)),
         StoredElement(QStringLiteral("0200C612000D"),
                       recordKeys(QStringLiteral("STUDIO"), QStringLiteral("198.18.0.13"), 1))});
}

QString refusalOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CliError& error) {
        return QString::number(error.status) + QLatin1Char(' ') + error.message;
    }
    return QString();
}

} // namespace

class tst_NmsCtlPieces : public QObject {
    Q_OBJECT
private slots:
    void resolvesElements_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QString>("expected"); // section, or the refusal
        QTest::newRow("MAC with colons, lower case") << "02:00:c6:12:00:0c"
                                                     << "0200C612000C";
        QTest::newRow("MAC without colons") << "0200c612000b"
                                            << "0200C612000B";
        QTest::newRow("name, trimmed, any case") << " tx site "
                                                 << "0200C612000C";
        QTest::newRow("IP address") << "198.18.0.13"
                                    << "0200C612000D";
        QTest::newRow("IP address with leading zeros") << "198.18.0.013"
                                                       << "0200C612000D";
        QTest::newRow("ambiguous name lists the matches")
            << "studio"
            << "2 'studio' is ambiguous: it names STUDIO [02:00:C6:12:00:0B], STUDIO "
               "[02:00:C6:12:00:0D]";
        QTest::newRow("unknown") << "02:00:c6:12:00:ff"
                                 << "2 no element '02:00:c6:12:00:ff' in the database";
        QTest::newRow("MAC of wrong length is a name")
            << "0200C612000"
            << "2 no element '0200C612000' in the database";
    }
    void resolvesElements()
    {
        QFETCH(QString, element);
        QFETCH(QString, expected);
        const ElementDatabase database = siteDatabase();
        QString found;
        const QString refusal =
            refusalOf([&] { found = database.resolve(element, kExitUsage).section(); });
        QCOMPARE(refusal.isEmpty() ? found : refusal, expected);
    }

    // The configuration `set` sends for a stored record plus the changes,
    // or the refusal, with the window's check texts where it has them.
    void buildsConfigurations_data()
    {
        QTest::addColumn<QString>("element");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("expected"); // packet in hex, or the refusal
        QTest::newRow("decoder: name and silence level")
            << "TX SITE" << QStringList{u"name=Tx b"_s, u"sdl=100"_s}
            << "c612000cffffff00c61200fec612000c000100"
               "54582042202020202020202020202020010200641e";
        QTest::newRow("encoder: new address, analog input")
            << "0200C612000B" << QStringList{u"ip=10.0.0.1"_s, u"INPUT=1"_s}
            << "0a000001ffffff00c61200fec612000c010100"
               "53545544494f20202020202020202020";
        QTest::newRow("decoder setting on an encoder")
            << "198.18.0.11" << QStringList{u"buf=1"_s}
            << "2 buf=1: only a decoder has this setting";
        QTest::newRow("address out of range")
            << "TX SITE" << QStringList{u"gw=198.18.0.256"_s}
            << "2 gw=198.18.0.256: Please verify that all IP fields are correct!";
        QTest::newRow("audio choice out of range")
            << "TX SITE" << QStringList{u"tx=2"_s}
            << "2 tx=2: Please verify that all audio fields are correct!";
        QTest::newRow("empty name") << "TX SITE" << QStringList{u"name="_s}
                                    << "2 name=: Please verify that the name field is correct!";
        QTest::newRow("silence time above its bar")
            << "TX SITE" << QStringList{u"sdt=221"_s}
            << "2 sdt=221: a whole number from 1 to 220 is needed";
        QTest::newRow("bound beyond the encoders")
            << "TX SITE" << QStringList{u"bound=3"_s}
            << "2 bound=3: a whole number from 0 to 2 is needed";
        QTest::newRow("unknown key")
            << "TX SITE" << QStringList{u"sfn=1"_s}
            << "2 unknown key 'sfn' (keys: name, ip, mask, gw, remote, input, type, tx, bound, "
               "buf, sdm, sdl, sdt)";
        QTest::newRow("key given twice")
            << "TX SITE" << QStringList{u"ip=1.2.3.4"_s, u"IP=1.2.3.5"_s}
            << "2 key 'ip' given twice";
        QTest::newRow("no equals sign")
            << "TX SITE" << QStringList{u"ip"_s} << "2 'ip' is not KEY=VALUE";
    }
    void buildsConfigurations()
    {
        QFETCH(QString, element);
        QFETCH(QStringList, settings);
        QFETCH(QString, expected);
        const ElementDatabase database = siteDatabase();
        QString packet;
        const QString refusal = refusalOf([&] {
            const SettingChanges changes = SettingChanges::parse(settings, kExitUsage);
            PanelValues panel = PanelValues::fromRecord(database.resolve(element, kExitUsage),
                                                        database.encoderCount(), kExitUsage);
            changes.applyTo(panel, database.encoderCount(), kExitUsage);
            packet = QString::fromLatin1(
                ConfigurationPacket::build(panel.packetFields()).value_or(QByteArray()).toHex());
        });
        QCOMPARE(refusal.isEmpty() ? packet : refusal, expected);
    }

    // An answer confirmed by the window's confirmation on the panel `set`
    // builds: the record it leaves, the boxes, and the exit status.
    void confirmsAnswers_data()
    {
        QTest::addColumn<QString>("reportedMac");
        QTest::addColumn<QString>("reportedGw");
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<QString>("expected");
        const QString mac = QStringLiteral("02:00:C6:12:00:0C");
        QTest::newRow("agreement: values of the element, bars' ranges, bound kept")
            << mac << "198.18.0.254" << QStringList{u"bound=2"_s}
            << "name=TX SITE,ip=198.18.0.12,mask=255.255.255.0,gw=198.18.0.254,"
               "remote=198.18.0.12,input=0,type=1,tx=0,role=2,sn=100002,ver=3.4,sfn=1,buf=2,"
               "att=14,sdm=0,sdl=154,sdt=1,bound=2"
               "|New configuration has been sucessfuly saved and loaded!|0";
        QTest::newRow("gateway disagrees: kept, said, bound not kept")
            << mac << "198.18.0.99" << QStringList{u"bound=2"_s}
            << "name=TX SITE,ip=198.18.0.12,mask=255.255.255.0,gw=198.18.0.254,"
               "remote=198.18.0.12,input=0,type=1,tx=0,role=2,sn=100002,ver=3.4,sfn=1,buf=2,"
               "att=14,sdm=0,sdl=154,sdt=1"
               "|An error occured while saving 'Element GW': Feedback is corrupted.|1";
        QTest::newRow("answer of another element: nothing stored")
            << "02:00:C6:12:00:0D"
            << "198.18.0.254" << QStringList{u"name=b"_s}
            << "name=TX SITE,ip=198.18.0.12,mask=255.255.255.0,gw=198.18.0.254,"
               "remote=198.18.0.12,input=0,type=1,tx=0,role=2,sn=100001,ver=3.4,sfn=1,buf=2,"
               "att=255,sdm=0,sdl=50,sdt=30"
               "|The response received does not match the selected element. Cannot save this "
               "element info.|1";
    }
    void confirmsAnswers()
    {
        QFETCH(QString, reportedMac);
        QFETCH(QString, reportedGw);
        QFETCH(QStringList, settings);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        const ElementDatabase site = siteDatabase();
        const StoredElement& element = site.resolve(QStringLiteral("TX SITE"), kExitUsage);
        PrivateProfileStore store;
        QVERIFY(IniRoutines(store).WriteKeysToINI(element.section(), element.keys(), path));
        const SettingChanges changes = SettingChanges::parse(settings, kExitUsage);
        PanelValues panel = PanelValues::fromRecord(element, site.encoderCount(), kExitUsage);
        changes.applyTo(panel, site.encoderCount(), kExitUsage);
        FeedbackRecord answer;
        answer.mac = reportedMac;
        answer.name = QStringLiteral("TX SITE         ");
        answer.ip = QStringLiteral("198.18.0.12");
        answer.mask = QStringLiteral("255.255.255.0");
        answer.gw = reportedGw;
        answer.remote = QStringLiteral("198.18.0.12");
        answer.type = 1;
        answer.role = 2;
        answer.sn = 100002;
        answer.ver = 3.4;
        answer.sfn = 1;
        answer.buf = 2;
        answer.att = 0;
        answer.sdl = 200;
        answer.sdt = 0;
        answer.hasSfn = answer.hasBuf = answer.hasAtt = true;
        answer.hasSdm = answer.hasSdl = answer.hasSdt = true;
        test::RecordingDialogs dialogs;
        const int status = SetCommand::confirmAnswer(dialogs, path, panel, changes, answer);

        QStringList stored;
        const ElementDatabase after = ElementDatabase::load(path, kExitUsage);
        for (const auto& [key, value] : after.resolve(element.section(), kExitUsage).keys())
            stored.append(key + QLatin1Char('=') + value);
        QStringList boxes;
        for (const MessageBoxRequest& box : std::as_const(dialogs.boxes))
            boxes.append(box.lines.join(QLatin1Char(' ')));
        QCOMPARE(stored.join(QLatin1Char(',')) + QLatin1Char('|') + boxes.join(QLatin1Char(',')) +
                     QLatin1Char('|') + QString::number(status),
                 expected);
    }

    void rendersOutput_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("expected");
        QTest::newRow("table aligns, no trailing blanks")
            << int(OutputTable::Format::Table)
            << "NAME         IP\nSTUDIO, \"A\"  198.18.0.11\nDEC\xc3\xa9\r\nX\n";
        QTest::newRow("csv quotes and doubles, CRLF")
            << int(OutputTable::Format::Csv)
            << "NAME,IP\r\n\"STUDIO, \"\"A\"\"\",198.18.0.11\r\n\"DEC\xc3\xa9\r\nX\",\r\n";
        QTest::newRow("json, one document") << int(OutputTable::Format::Json)
                                            << "[\n    {\n        \"ip\": \"198.18.0.11\",\n       "
                                               " \"name\": \"STUDIO, \\\"A\\\"\"\n"
                                               "    },\n    {\n        \"ip\": \"\",\n        "
                                               "\"name\": \"DEC\xc3\xa9\\r\\nX\"\n    }\n]\n";
    }
    void rendersOutput()
    {
        QFETCH(int, format);
        QFETCH(QString, expected);
        OutputTable table({QStringLiteral("NAME"), QStringLiteral("IP")});
        table.addRow({QStringLiteral("STUDIO, \"A\""), QStringLiteral("198.18.0.11")});
        // Latin-1 from the database, written as UTF-8.
        table.addRow({QString::fromLatin1("DEC\xe9\r\nX")});
        QCOMPARE(table.render(OutputTable::Format(format)), expected);
    }

    void attenuationCodes_data()
    {
        QTest::addColumn<QString>("decibels");
        QTest::addColumn<int>("code"); // -1: refused
        QTest::newRow("mute is the bar's minimum") << "MUTE" << 14;
        QTest::newRow("0 dB") << "0" << 255;
        QTest::newRow("half steps") << "-27.5" << 200;
        QTest::newRow("lowest") << "-120" << 15;
        QTest::newRow("below the range") << "-120.5" << -1;
        QTest::newRow("not a half step") << "-0.3" << -1;
        QTest::newRow("positive") << "1" << -1;
        QTest::newRow("text") << "loud" << -1;
    }
    void attenuationCodes()
    {
        QFETCH(QString, decibels);
        QFETCH(int, code);
        QCOMPARE(AttenuateCommand::codeFor(decibels).value_or(-1), code);
    }
};

QTEST_GUILESS_MAIN(tst_NmsCtlPieces)
#include "tst_NmsCtlPieces.moc"
