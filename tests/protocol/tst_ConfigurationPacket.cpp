#include <QtTest>

#include "TableRow.h"
#include "protocol/ConfigurationPacket.h"

using namespace nms;
using nms::test::addRow;
using Fields = nms::ConfigurationPacket::Fields;

namespace {

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

class ConfigurationPacketTest : public QObject {
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
};

QTEST_APPLESS_MAIN(ConfigurationPacketTest)
#include "tst_ConfigurationPacket.moc"
