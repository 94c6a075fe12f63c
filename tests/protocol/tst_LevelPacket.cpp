#include <QtTest>

#include "TableRow.h"
#include "protocol/LevelPacket.h"

using namespace nms;
using nms::test::addRow;

namespace {

constexpr qint32 kFullScale = 8388608;

QByteArray sample(qint32 value)
{
    const quint32 bits = static_cast<quint32>(value) & 0xFFFFFF;
    QByteArray bytes;
    bytes.append(char(bits >> 16)).append(char(bits >> 8)).append(char(bits));
    return bytes;
}

// A packet of zero samples with the given sample at the given index.
QByteArray packetWith(int index, qint32 value)
{
    QByteArray packet(LevelPacket::kLength, '\0');
    packet.replace(index * 3, 3, sample(value));
    return packet;
}

} // namespace

class LevelPacketTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // The captions use the operator's decimal separator; pin it.
        QLocale::setDefault(QLocale::c());
    }

    void workedValues_data()
    {
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<double>("dbfs");
        QTest::addColumn<QString>("caption");
        addRow("full scale minus 1", kFullScale - 1, 2100, 0.0, "0dBFS");
        addRow("half", kFullScale / 2, 1050, -6.0, "-6dBFS");
        addRow("quarter", kFullScale / 4, 525, -12.0, "-12dBFS");
        addRow("eighth", kFullScale / 8, 262, -18.1, "-18.1dBFS");
        addRow("tenth rounded up", 838861, 210, -20.0, "-20dBFS");
        addRow("two", 2, 0, -132.5, "-132.5dBFS");
        addRow("one", 1, 0, -138.5, "-138.5dBFS");
    }
    void workedValues()
    {
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QFETCH(double, dbfs);
        QFETCH(QString, caption);
        QCOMPARE(LevelPacket::peak(packetWith(100, peak)), peak);
        QCOMPARE(LevelPacket::meterWidthTwips(peak), width);
        QCOMPARE(LevelPacket::levelDbfs(peak), dbfs);
        QCOMPARE(LevelPacket::levelCaption(peak), caption);
    }

    void widthRoundsHalvesToEven_data()
    {
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        // m x 2^20 for odd m gives exactly 262.5, 787.5, 1312.5, 1837.5.
        addRow("262.5 down", 1 << 20, 262);
        addRow("787.5 up", 3 * (1 << 20), 788);
        addRow("1312.5 down", 5 * (1 << 20), 1312);
        addRow("1837.5 up", 7 * (1 << 20), 1838);
        addRow("just under a half", (1 << 20) - 1, 262);
        addRow("just over a half", (1 << 20) + 1, 263);
        addRow("zero", 0, 0);
    }
    void widthRoundsHalvesToEven()
    {
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QCOMPARE(LevelPacket::meterWidthTwips(peak), width);
    }

    void peakScan_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<QString>("caption");
        addRow("all zero", QByteArray(1440, '\0'), 0, "-oodBFS");
        QByteArray negatives;
        for (int i = 0; i < 480; ++i)
            negatives += sample(-1 - i);
        addRow("all negative", negatives, 0, "-oodBFS");
        addRow("most negative is skipped, not full scale", packetWith(0, -kFullScale), 0,
               "-oodBFS");
        addRow("only positive sample in the unread last group", packetWith(479, 1000), 0,
               "-oodBFS");
        addRow("last group read", packetWith(478, kFullScale / 2), kFullScale / 2, "-6dBFS");
        QByteArray mixed = packetWith(3, 1000);
        mixed.replace(30, 3, sample(-5000000));
        mixed.replace(60, 3, sample(4000));
        mixed.replace(90, 3, sample(200));
        addRow("peak of several, negatives ignored", mixed, 4000, "-66.4dBFS");
        addRow("short datagram read as far as it goes", sample(300) + QByteArray(2, '\x7F'), 300,
               "-88.9dBFS");
        addRow("empty datagram", QByteArray(), 0, "-oodBFS");
    }
    void peakScan()
    {
        QFETCH(QByteArray, packet);
        QFETCH(qint32, peak);
        QFETCH(QString, caption);
        QCOMPARE(LevelPacket::peak(packet), peak);
        QCOMPARE(LevelPacket::levelCaption(LevelPacket::peak(packet)), caption);
    }
};

QTEST_APPLESS_MAIN(LevelPacketTest)
#include "tst_LevelPacket.moc"
