#include <QtTest>

#include "TableRow.h"
#include "protocol/LevelPacket.h"
#include "protocol/LevelRule.h"

using namespace nms;
using nms::test::addRow;

namespace {

// A packet of zero samples with the given 24-bit big-endian sample at the
// given index.
QByteArray packetWith(int index, qint32 value)
{
    QByteArray packet(LevelPacket::kLength, '\0');
    for (int i = 0; i < 3; ++i)
        packet[index * 3 + i] = char(value >> (16 - 8 * i));
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

    // The bar rounds halves to even: 2^20 and 3 x 2^20 are exactly 262.5
    // and 787.5 twips. The caption shows the level in dBFS. Only the first
    // 479 samples are read; the rest of the scan (negatives skipped, short
    // datagrams) is the fuzz harness's to check.
    void peakToMeter_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<qint32>("peak");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("caption");
        addRow("half, in the last group read", 478, 1 << 22, 1050, "-6dBFS");
        addRow("eighth, 262.5 down", 100, 1 << 20, 262, "-18.1dBFS");
        addRow("787.5 up", 100, 3 * (1 << 20), 788, "-8.5dBFS");
        addRow("only positive sample in the unread last group", 479, 1000, 0, "-oodBFS");
    }
    void peakToMeter()
    {
        QFETCH(int, index);
        QFETCH(qint32, peak);
        QFETCH(int, width);
        QFETCH(QString, caption);
        const qint32 read = LevelPacket::peak(packetWith(index, peak));
        QCOMPARE(LevelPacket::meterWidthTwips(read), width);
        QCOMPARE(LevelPacket::levelCaption(read), caption);
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
