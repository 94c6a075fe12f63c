#include <QtTest>

#include "TableRow.h"
#include "protocol/LevelPacket.h"
#include "protocol/LevelRule.h"

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

    // The bar rounds halves to even: m x 2^20 for odd m is exactly 262.5,
    // 787.5, 1312.5, 1837.5 twips. The caption shows the level in dBFS.
    void peakToMeter_data()
    {
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("caption");
        addRow("full scale minus 1", kFullScale - 1, 2100, "0dBFS");
        addRow("half", kFullScale / 2, 1050, "-6dBFS");
        addRow("eighth, 262.5 down", 1 << 20, 262, "-18.1dBFS");
        addRow("787.5 up", 3 * (1 << 20), 788, "-8.5dBFS");
        addRow("1312.5 down", 5 * (1 << 20), 1312, "-4.1dBFS");
        addRow("1837.5 up", 7 * (1 << 20), 1838, "-1.2dBFS");
        addRow("just under a half", (1 << 20) - 1, 262, "-18.1dBFS");
        addRow("just over a half", (1 << 20) + 1, 263, "-18.1dBFS");
        addRow("tenth rounded up", 838861, 210, "-20dBFS");
        addRow("two", 2, 0, "-132.5dBFS");
        addRow("one", 1, 0, "-138.5dBFS");
        addRow("zero", 0, 0, "-oodBFS");
    }
    void peakToMeter()
    {
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        QCOMPARE(LevelPacket::peak(packetWith(100, peak)), peak);
        QCOMPARE(LevelPacket::meterWidthTwips(peak), width);
        QCOMPARE(LevelPacket::levelCaption(peak), caption);
        if (peak > 0)
            QCOMPARE(LevelPacket::levelDbfs(peak), caption.chopped(4).toDouble());
    }

    void peakScan_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<qint32>("peak");
        QByteArray negatives;
        for (int i = 0; i < 480; ++i)
            negatives += sample(-1 - i);
        addRow("all negative", negatives, 0);
        addRow("most negative is skipped, not full scale", packetWith(0, -kFullScale), 0);
        addRow("only positive sample in the unread last group", packetWith(479, 1000), 0);
        addRow("last group read", packetWith(478, kFullScale / 2), kFullScale / 2);
        QByteArray mixed = packetWith(3, 1000);
        mixed.replace(30, 3, sample(-5000000));
        mixed.replace(60, 3, sample(4000));
        mixed.replace(90, 3, sample(200));
        addRow("peak of several, negatives ignored", mixed, 4000);
        addRow("short datagram read as far as it goes", sample(300) + QByteArray(2, '\x7F'), 300);
        addRow("empty datagram", QByteArray(), 0);
    }
    void peakScan()
    {
        QFETCH(QByteArray, packet);
        QFETCH(qint32, peak);
        QCOMPARE(LevelPacket::peak(packet), peak);
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
        addRow("-6 dBFS tone", kFullScale / 2, false, int(V::Sounding));
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
};

QTEST_APPLESS_MAIN(LevelPacketTest)
#include "tst_LevelPacket.moc"
