#include <QtTest>

#include "TableRow.h"
#include "protocol/ConfigurationPacket.h"

using namespace nms;
using nms::test::addRow;

namespace {

// The decoder's values are set for an encoder too, which must not send them.
// ip mask gw remote, input type tx, name, then the decoder's.
ConfigurationPacket::Fields fields(bool decoder, int mode = 2, int level = 154, int time = 220)
{
    return ConfigurationPacket::Fields(
        QStringLiteral("192.168.1.10"), QStringLiteral("255.255.255.0"),
        QStringLiteral("192.168.1.1"), QStringLiteral("10.0.0.1"), 1, 0, 1,
        QStringLiteral("Studio a"), decoder, 1, 5, mode, level, time);
}

const QByteArray kEncoderPacket =
    QByteArray::fromHex("C0A8010A FFFFFF00 C0A80101 0A000001 01 00 01") +
    QByteArray("STUDIO A        ");

} // namespace

Q_DECLARE_METATYPE(nms::ConfigurationPacket::Fields)

class ConfigurationPacketTest : public QObject {
    Q_OBJECT
private slots:
    void wholePacket_data()
    {
        QTest::addColumn<ConfigurationPacket::Fields>("packetFields");
        QTest::addColumn<QByteArray>("expected");
        addRow("encoder: 35 bytes, no decoder values", fields(false), kEncoderPacket);
        addRow("decoder: 40 bytes", fields(true),
               kEncoderPacket + QByteArray::fromHex("0105029ADC"));
        addRow("no mode selected sends auto detect", fields(true, -1, 37, 0),
               kEncoderPacket + QByteArray::fromHex("0105002500"));
        addRow("above a byte is capped", fields(true, 1, 300, 0),
               kEncoderPacket + QByteArray::fromHex("010501FF00"));
    }
    void wholePacket()
    {
        QFETCH(ConfigurationPacket::Fields, packetFields);
        QFETCH(QByteArray, expected);
        QCOMPARE(ConfigurationPacket::build(packetFields).value_or("<none>").toHex(' '),
                 expected.toHex(' '));
    }

    // Field 0..3: ip, mask, gw, remote. No bytes: no packet is built.
    void addressBytes_data()
    {
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("bytes");
        addRow("leading zeros read as decimal", 0, "192.168.001.010",
               QByteArray::fromHex("C0A8010A"));
        addRow("blanks around digits", 3, " 10. 0 .0.1 ", QByteArray::fromHex("0A000001"));
        addRow("extremes", 1, "0.255.0.255", QByteArray::fromHex("00FF00FF"));
        addRow("ip three parts", 0, "10.0.0", QByteArray());
        addRow("remote letters", 3, "10.0.0.x", QByteArray());
    }
    void addressBytes()
    {
        QFETCH(int, field);
        QFETCH(QString, address);
        QFETCH(QByteArray, bytes);
        ConfigurationPacket::Fields f = fields(false);
        QString* addresses[] = {&f.elementIP, &f.elementMask, &f.elementGW, &f.remoteIP};
        *addresses[field] = address;
        const auto packet = ConfigurationPacket::build(f);
        QCOMPARE(packet.has_value(), !bytes.isEmpty());
        if (packet)
            QCOMPARE(packet->mid(4 * field, 4).toHex(), bytes.toHex());
    }

    // Through the 16-character upper-case padding, then one byte a character.
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
    }
    void nameBytes()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        ConfigurationPacket::Fields f = fields(false);
        f.elementName = name;
        QCOMPARE(ConfigurationPacket::build(f)->mid(19, 16).toHex(' '), bytes.toHex(' '));
    }
};

QTEST_APPLESS_MAIN(ConfigurationPacketTest)
#include "tst_ConfigurationPacket.moc"
