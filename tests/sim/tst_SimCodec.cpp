#include <QtTest>

#include "../../sim/FieldOverride.h"
#include "../../sim/SimCodec.h"
#include "TableRow.h"
#include "protocol/LevelPacket.h"

Q_DECLARE_METATYPE(nms::sim::ElementState)

using namespace nms::sim;
using nms::LevelPacket;
using nms::test::addRow;

namespace {

// The encoder's attenuation (99) is not carried in its feedback.
ElementState encoderState()
{
    return ElementState(Address{198, 18, 0, 11}, Address{255, 255, 255, 0},
                        Address{198, 18, 0, 254}, Address{10, 0, 0, 1}, 1, 0, 1,
                        SimCodec::nameFromText(QStringLiteral("ENC-01")), ElementState::kEncoder,
                        0x01020304, 3, 4, 1, 5, 99);
}

ElementState decoderState()
{
    return ElementState(Address{198, 18, 0, 12}, Address{255, 255, 0, 0}, Address{0, 0, 0, 0},
                        Address{198, 18, 0, 11}, 0, 1, 0,
                        SimCodec::nameFromText(QStringLiteral("dec-02 lower")),
                        ElementState::kDecoder, 0x12345678, 1, 12, 0, 8, 200, 2, 154, 220);
}

// Written out from the byte tables, field by field: ip, mask, gw, remote,
// input type tx, name, role, serial, then the encoder's version, SFN and
// buffer, or the decoder's attenuation, version, SFN, buffer, and silence
// mode, level and time.
const QByteArray kEncoder44 = QByteArray::fromHex(
    "c612000b ffffff00 c61200fe 0a000001 010001 454e432d303120202020202020202020 01 01020304"
    "0304 01 05");
const QByteArray kDecoder48 = QByteArray::fromHex(
    "c612000c ffff0000 00000000 c612000b 000100 6465632d3032206c6f77657220202020 02 12345678"
    "c8 010c 00 08 02 9a dc");

qint32 sampleAt(const QByteArray& packet, int index)
{
    const qint32 bits = quint8(packet[3 * index]) << 16 | quint8(packet[3 * index + 1]) << 8 |
                        quint8(packet[3 * index + 2]);
    return bits >= 0x800000 ? bits - 0x1000000 : bits;
}

} // namespace

// Whether a configuration is taken, what it writes and that the feedback
// reads back through the station's decoder are the simcodec fuzz harness's
// invariants; these rows hold the bytes themselves.
class SimCodecTest : public QObject {
    Q_OBJECT
private slots:
    // One row per feedback length class; -1: the element's own length.
    void feedback_data()
    {
        QTest::addColumn<ElementState>("state");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("expected");
        addRow("encoder complete", encoderState(), -1, kEncoder44);
        addRow("decoder complete", decoderState(), -1, kDecoder48);
        addRow("encoder cut to 40", encoderState(), 40, kEncoder44.left(40));
        addRow("decoder cut to 41, attenuation only", decoderState(), 41, kDecoder48.left(41));
        addRow("encoder padded to 48 with zeros", encoderState(), 48,
               kEncoder44 + QByteArray(4, '\0'));
    }
    void feedback()
    {
        QFETCH(ElementState, state);
        QFETCH(int, length);
        QFETCH(QByteArray, expected);
        if (length < 0)
            length = SimCodec::defaultFeedbackLength(state);
        QCOMPARE(SimCodec::encodeFeedback(state, length).toHex(), expected.toHex());
    }

    // A 35-byte configuration leaves the decoder's own fields as they were.
    void shortConfigurationKeepsTheDecoderFields()
    {
        const QByteArray common = QByteArray::fromHex(
            "c0a8010a ffffff00 c0a801fe 0a000001 010100 53545544494f20412020202020202020");
        ElementState state = decoderState();
        QVERIFY(SimCodec::decodeConfiguration(common, state));
        QCOMPARE(SimCodec::encodeFeedback(state, 48).toHex(),
                 QByteArray(common + kDecoder48.mid(35)).toHex());
    }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("paging");
        QTest::addColumn<bool>("level");
        addRow("paging", QByteArray("IPMPXSTL ORBELUND PAGING REQUEST"), true, false);
        addRow("paging lower case", QByteArray("ipmpxstl orbelund paging request"), false, false);
        addRow("paging with NUL", QByteArray("IPMPXSTL ORBELUND PAGING REQUEST", 33), false, false);
        addRow("VOL", QByteArray("VOL"), false, true);
        addRow("vol", QByteArray("vol"), false, false);
    }
    void requests()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, paging);
        QFETCH(bool, level);
        QCOMPARE(SimCodec::isPagingRequest(datagram), paging);
        QCOMPARE(SimCodec::isLevelRequest(datagram), level);
    }

    // The tone's crest (sample 12) is the peak, its trough (sample 36) the
    // crest negated, and the station shows the level asked for.
    void levelPacketTone_data()
    {
        QTest::addColumn<double>("dbfs");
        QTest::addColumn<QByteArray>("crest");
        addRow("0 dBFS limited to full scale minus 1", 0.0, QByteArray::fromHex("7fffff"));
        addRow("-138.5 dBFS is one step", -138.5, QByteArray::fromHex("000001"));
        addRow("far below one step is silence", -200.0, QByteArray(3, '\0'));
    }
    void levelPacketTone()
    {
        QFETCH(double, dbfs);
        QFETCH(QByteArray, crest);
        const qint32 peak = SimCodec::peakForDbfs(dbfs);
        const QByteArray packet = SimCodec::encodeLevelPacket(peak);
        QCOMPARE(packet.size(), 1440);
        QCOMPARE(packet.mid(36, 3).toHex(), crest.toHex());
        QCOMPARE(packet.left(3).toHex(), QByteArray("000000"));
        for (int i = 0; i + 24 < 480; ++i)
            QCOMPARE(sampleAt(packet, i + 24), -sampleAt(packet, i));
        if (peak > 0)
            QCOMPARE(LevelPacket::levelDbfs(LevelPacket::peak(packet)), dbfs);
    }

    // A setting that is refused (offset -1) names why.
    void overrides_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("allowDefault");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char* setting, bool allowDefault, int offset = -1,
                            const char* hex = "") {
            QTest::newRow(setting) << QString::fromLatin1(setting) << allowDefault << offset
                                   << QByteArray::fromHex(hex);
        };
        row("serial", true, 36, "00000000");
        row("sn=0x80000000", false, 36, "80000000");
        row("version", true, 40, "ffff");
        row("name", true, 19, "4241440d0a5b4556494c5d01007fff20"); // injects lines
        row("name=a\\tb\\\\c\\x41", false, 19, "610962 5c6341 20202020202020202020");
        row("colour=1", true);
        row("version=34", true);
        row("gw", false); // disagreeing needs a value
    }
    void overrides()
    {
        QFETCH(QString, setting);
        QFETCH(bool, allowDefault);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QString error;
        const auto parsed = FieldOverride::parse(setting, allowDefault, &error);
        QCOMPARE(parsed.has_value(), offset >= 0);
        QCOMPARE(error.isEmpty(), offset >= 0);
        if (!parsed)
            return;
        ElementState state = encoderState();
        QVERIFY(parsed->apply(state));
        QCOMPARE(SimCodec::encodeFeedback(state, 44).mid(offset, bytes.size()).toHex(),
                 bytes.toHex());
    }
};

QTEST_GUILESS_MAIN(SimCodecTest)
#include "tst_SimCodec.moc"
