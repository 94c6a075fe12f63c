#include <QtTest>

#include "protocol/ConfigurationPacket.h"

using namespace nms;

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

ConfigurationPacket::Fields decoderFields()
{
    ConfigurationPacket::Fields f = encoderFields();
    f.decoder = true;
    f.sfnEnabled = 1;
    f.buffer = 5;
    f.silDetMode = 2;
    f.silDetLevel = 154;
    f.silDetTime = 220;
    return f;
}

QByteArray expectedHead()
{
    return QByteArray::fromHex("C0A8010A"
                               "FFFFFF00"
                               "C0A80101"
                               "0A000001"
                               "01"
                               "00"
                               "01") +
           QByteArray("STUDIO A        ");
}

} // namespace

class ConfigurationPacketTest : public QObject {
    Q_OBJECT
private slots:
    void wholePacket_data()
    {
        QTest::addColumn<bool>("decoder");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("encoder: 35 bytes") << false << expectedHead();
        QTest::newRow("decoder: 40 bytes")
            << true << expectedHead() + QByteArray::fromHex("0105029ADC");
    }
    void wholePacket()
    {
        QFETCH(bool, decoder);
        QFETCH(QByteArray, expected);
        const auto packet = ConfigurationPacket::build(decoder ? decoderFields() : encoderFields());
        QVERIFY(packet.has_value());
        QCOMPARE(packet->size(), decoder ? 40 : 35);
        QCOMPARE(packet->toHex(' '), expected.toHex(' '));
    }

    void decoderFieldsIgnoredForEncoder()
    {
        ConfigurationPacket::Fields f = decoderFields();
        f.decoder = false;
        QCOMPARE(ConfigurationPacket::build(f).value(), expectedHead());
    }

    void addressBytes_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("ten net") << "10.0.0.1" << QByteArray::fromHex("0A000001");
        QTest::newRow("leading zeros read as decimal")
            << "192.168.001.010" << QByteArray::fromHex("C0A8010A");
        QTest::newRow("blanks around digits") << " 10. 0 .0.1 " << QByteArray::fromHex("0A000001");
        QTest::newRow("extremes") << "0.255.0.255" << QByteArray::fromHex("00FF00FF");
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
        QTest::newRow("ip three parts") << 0 << "10.0.0";
        QTest::newRow("mask above 255") << 1 << "255.255.256.0";
        QTest::newRow("gw empty") << 2 << "";
        QTest::newRow("remote letters") << 3 << "10.0.0.x";
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
        QTest::newRow("short, lower case") << "abc" << QByteArray("ABC             ");
        QTest::newRow("twenty characters cut to sixteen")
            << "abcdefghijklmnopqrst" << QByteArray("ABCDEFGHIJKLMNOP");
        QTest::newRow("only spaces") << "   " << QByteArray(16, ' ');
        QTest::newRow("Latin-1 letters keep their byte")
            << QString::fromUtf8("caf\u00e9") << QByteArray("CAF\xC9            ");
        QTest::newRow("outside Latin-1 becomes a question mark")
            << QString::fromUtf8("\u0141odz") << QByteArray("?ODZ            ");
        QTest::newRow("letter whose upper case leaves Latin-1 keeps its byte")
            << QString::fromUtf8("\u00ff") << QByteArray("\xFF               ");
        QTest::newRow("no NUL from a code ending in 00")
            << QString::fromUtf8("\u0100x") << QByteArray("?X              ");
        QTest::newRow("sharp s keeps its byte, nothing cut")
            << QString::fromUtf8("gro\u00dfe stra\u00dfe 12a")
            << QByteArray("GRO\xDF"
                          "E STRA\xDF"
                          "E 12A");
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
        QTest::newRow("no mode selected sends auto detect")
            << -1 << 37 << QByteArray::fromHex("0105002500");
        QTest::newRow("above a byte is capped") << 1 << 300 << QByteArray::fromHex("010501FF00");
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
