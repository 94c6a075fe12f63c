#include <QtTest>

#include "TableRow.h"
#include "protocol/ConfigurationPacket.h"

using namespace nms;
using nms::test::addRow;

namespace {

ConfigurationPacket::Fields encoderFields()
{
    ConfigurationPacket::Fields f;
    f.elementIP = QStringLiteral("192.168.1.10");
    f.elementMask = QStringLiteral("255.255.255.0");
    f.elementGW = QStringLiteral("192.168.1.1");
    f.remoteIP = QStringLiteral("10.0.0.1");
    f.audioInput = 1;
    f.audioType = 0;
    f.audioTX = 1;
    f.elementName = QStringLiteral("Studio a");
    return f;
}

// The decoder's values, also set for an encoder, which must not send them.
ConfigurationPacket::Fields decoderFields(bool decoder = true)
{
    ConfigurationPacket::Fields f = encoderFields();
    f.decoder = decoder;
    f.sfnEnabled = 1;
    f.buffer = 5;
    f.silDetMode = 2;
    f.silDetLevel = 154;
    f.silDetTime = 220;
    return f;
}

const QByteArray kEncoderPacket = QByteArray::fromHex("C0A8010A"
                                                      "FFFFFF00"
                                                      "C0A80101"
                                                      "0A000001"
                                                      "01"
                                                      "00"
                                                      "01") +
                                  QByteArray("STUDIO A        ");

} // namespace

Q_DECLARE_METATYPE(nms::ConfigurationPacket::Fields)

class ConfigurationPacketTest : public QObject {
    Q_OBJECT
private slots:
    void wholePacket_data()
    {
        QTest::addColumn<ConfigurationPacket::Fields>("fields");
        QTest::addColumn<QByteArray>("expected");
        addRow("encoder: 35 bytes", encoderFields(), kEncoderPacket);
        addRow("encoder with decoder values: 35 bytes", decoderFields(false), kEncoderPacket);
        addRow("decoder: 40 bytes", decoderFields(),
               kEncoderPacket + QByteArray::fromHex("0105029ADC"));
    }
    void wholePacket()
    {
        QFETCH(ConfigurationPacket::Fields, fields);
        QFETCH(QByteArray, expected);
        QCOMPARE(ConfigurationPacket::build(fields).value_or("<none>").toHex(' '),
                 expected.toHex(' '));
    }

    void addressBytes_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes");
        addRow("leading zeros read as decimal", "192.168.001.010", QByteArray::fromHex("C0A8010A"));
        addRow("blanks around digits", " 10. 0 .0.1 ", QByteArray::fromHex("0A000001"));
        addRow("extremes", "0.255.0.255", QByteArray::fromHex("00FF00FF"));
    }
    void addressBytes()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, bytes);
        ConfigurationPacket::Fields f = encoderFields();
        f.elementIP = address;
        f.remoteIP = address;
        const QByteArray packet = ConfigurationPacket::build(f).value();
        QCOMPARE(packet.mid(0, 4).toHex(), bytes.toHex());
        QCOMPARE(packet.mid(12, 4).toHex(), bytes.toHex());
    }

    void invalidAddressBuildsNothing_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("address");
        addRow("ip three parts", 0, "10.0.0");
        addRow("mask above 255", 1, "255.255.256.0");
        addRow("gw empty", 2, "");
        addRow("remote letters", 3, "10.0.0.x");
    }
    void invalidAddressBuildsNothing()
    {
        QFETCH(int, field);
        QFETCH(QString, address);
        ConfigurationPacket::Fields f = encoderFields();
        QString* fields[] = {&f.elementIP, &f.elementMask, &f.elementGW, &f.remoteIP};
        *fields[field] = address;
        QVERIFY(!ConfigurationPacket::build(f).has_value());
    }

    void nameBytes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        addRow("twenty characters cut to sixteen", "abcdefghijklmnopqrst",
               QByteArray("ABCDEFGHIJKLMNOP"));
        addRow("Latin-1 letters keep their byte", QString::fromUtf8("caf\u00e9"),
               QByteArray("CAF\xC9            "));
        addRow("outside Latin-1 becomes a question mark", QString::fromUtf8("\u0141odz"),
               QByteArray("?ODZ            "));
        addRow("letter whose upper case leaves Latin-1 keeps its byte", QString::fromUtf8("\u00ff"),
               QByteArray("\xFF               "));
        addRow("no NUL from a code ending in 00", QString::fromUtf8("\u0100x"),
               QByteArray("?X              "));
        addRow("sharp s keeps its byte, nothing cut",
               QString::fromUtf8("gro\u00dfe stra\u00dfe 12a"),
               QByteArray("GRO\xDF"
                          "E STRA\xDF"
                          "E 12A"));
    }
    void nameBytes()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QCOMPARE(ConfigurationPacket::encodeName(name).toHex(' '), bytes.toHex(' '));
        ConfigurationPacket::Fields f = encoderFields();
        f.elementName = name;
        QCOMPARE(ConfigurationPacket::build(f)->mid(19, 16).toHex(' '), bytes.toHex(' '));
    }

    void decoderValuesOutsideAByte_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("level");
        QTest::addColumn<QByteArray>("tail");
        addRow("no mode selected sends auto detect", -1, 37, QByteArray::fromHex("0105002500"));
        addRow("above a byte is capped", 1, 300, QByteArray::fromHex("010501FF00"));
    }
    void decoderValuesOutsideAByte()
    {
        QFETCH(int, mode);
        QFETCH(int, level);
        QFETCH(QByteArray, tail);
        ConfigurationPacket::Fields f = decoderFields();
        f.silDetMode = mode;
        f.silDetLevel = level;
        f.silDetTime = 0;
        QCOMPARE(ConfigurationPacket::build(f)->mid(35).toHex(' '), tail.toHex(' '));
    }
};

QTEST_APPLESS_MAIN(ConfigurationPacketTest)
#include "tst_ConfigurationPacket.moc"
