#include <QtTest>

#include "../../sim/FieldOverride.h"
#include "../../sim/SimCodec.h"

#include <cmath>

Q_DECLARE_METATYPE(nms::sim::ElementState)

using namespace nms::sim;

namespace {

ElementState encoderState()
{
    return {.ip = {198, 18, 0, 11},
            .mask = {255, 255, 255, 0},
            .gw = {198, 18, 0, 254},
            .remote = {10, 0, 0, 1},
            .input = 1,
            .type = 0,
            .tx = 1,
            .name = SimCodec::nameFromText(QStringLiteral("ENC-01")),
            .role = ElementState::kEncoder,
            .serial = 0x01020304,
            .versionMajor = 3,
            .versionMinor = 4,
            .sfn = 1,
            .buf = 5,
            .att = 99}; // att: not carried by an encoder
}

ElementState decoderState()
{
    return {.ip = {198, 18, 0, 12},
            .mask = {255, 255, 0, 0},
            .gw = {0, 0, 0, 0},
            .remote = {198, 18, 0, 11},
            .input = 0,
            .type = 1,
            .tx = 0,
            .name = SimCodec::nameFromText(QStringLiteral("dec-02 lower")),
            .role = ElementState::kDecoder,
            .serial = 0x12345678,
            .versionMajor = 1,
            .versionMinor = 12,
            .sfn = 0,
            .buf = 8,
            .att = 200,
            .sdm = 2,
            .sdl = 154,
            .sdt = 220};
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
    const quint32 bits = (quint32(quint8(packet[3 * index])) << 16) |
                         (quint32(quint8(packet[3 * index + 1])) << 8) |
                         quint32(quint8(packet[3 * index + 2]));
    return (bits & 0x800000u) ? qint32(bits) - 0x1000000 : qint32(bits);
}

// What the station shows for a packet: the largest positive sample among
// the first 479 groups, in dBFS rounded to a tenth.
double stationLevel(const QByteArray& packet)
{
    qint32 peak = 0;
    for (int i = 0; i < 479; ++i)
        peak = std::max(peak, sampleAt(packet, i));
    return std::round(200.0 * std::log10(peak / 8388608.0)) / 10.0;
}

} // namespace

class SimCodecTest : public QObject {
    Q_OBJECT
private slots:
    void feedback_data()
    {
        QTest::addColumn<ElementState>("state");
        QTest::addColumn<int>("length");
        QTest::addColumn<QByteArray>("expected");
        // -1: the element's own length.
        QTest::newRow("encoder complete") << encoderState() << -1 << kEncoder44;
        QTest::newRow("decoder complete") << decoderState() << -1 << kDecoder48;
        QTest::newRow("encoder cut to 40") << encoderState() << 40 << kEncoder44.left(40);
        QTest::newRow("decoder cut to 41, attenuation only")
            << decoderState() << 41 << kDecoder48.left(41);
        QTest::newRow("decoder cut to 44") << decoderState() << 44 << kDecoder48.left(44);
        QTest::newRow("encoder padded to 48 with zeros")
            << encoderState() << 48 << kEncoder44 + QByteArray(4, '\0');
        QTest::newRow("too long for the station: 49")
            << decoderState() << 49 << kDecoder48 + QByteArray(1, '\0');
        QTest::newRow("empty") << decoderState() << 0 << QByteArray();
        ElementState unset = encoderState();
        unset.role = 0;
        QByteArray unsetBytes = kEncoder44;
        unsetBytes[35] = 0;
        QTest::newRow("role 0 uses the encoder layout") << unset << -1 << unsetBytes;
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

    // What the element reports after a configuration: a 35-byte one sets
    // bytes 0..34 of its feedback, a 40-byte one also SFN, buffer and the
    // silence detector (bytes 43..47).
    void configuration_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QByteArray>("feedback");
        const QByteArray common = QByteArray::fromHex(
            "c0a8010a ffffff00 c0a801fe 0a000001 010100 53545544494f20412020202020202020");
        const QByteArray tail = QByteArray::fromHex("0103014ddb");
        QTest::newRow("35 bytes keeps the decoder fields")
            << common << true << common + kDecoder48.mid(35);
        QTest::newRow("40 bytes") << common + tail << true << common + kDecoder48.mid(35, 8) + tail;
        QTest::newRow("34 bytes refused") << common.left(34) << false << kDecoder48;
        QTest::newRow("36 bytes refused") << common + '\1' << false << kDecoder48;
        QTest::newRow("41 bytes refused") << common + tail + '\0' << false << kDecoder48;
        QTest::newRow("paging request refused") << SimCodec::pagingRequest() << false << kDecoder48;
    }
    void configuration()
    {
        QFETCH(QByteArray, packet);
        QFETCH(bool, accepted);
        QFETCH(QByteArray, feedback);
        ElementState state = decoderState();
        QCOMPARE(SimCodec::decodeConfiguration(packet, state), accepted);
        QCOMPARE(SimCodec::encodeFeedback(state, 48).toHex(), feedback.toHex());
    }

    void requests_data()
    {
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<bool>("paging");
        QTest::addColumn<bool>("level");
        QTest::newRow("paging") << QByteArray("IPMPXSTL ORBELUND PAGING REQUEST") << true << false;
        QTest::newRow("paging lower case")
            << QByteArray("ipmpxstl orbelund paging request") << false << false;
        QTest::newRow("paging with NUL")
            << QByteArray("IPMPXSTL ORBELUND PAGING REQUEST", 33) << false << false;
        QTest::newRow("VOL") << QByteArray("VOL") << false << true;
        QTest::newRow("vol") << QByteArray("vol") << false << false;
    }
    void requests()
    {
        QFETCH(QByteArray, datagram);
        QFETCH(bool, paging);
        QFETCH(bool, level);
        QCOMPARE(SimCodec::isPagingRequest(datagram), paging);
        QCOMPARE(SimCodec::isLevelRequest(datagram), level);
    }

    void peakForDbfs_data()
    {
        QTest::addColumn<double>("dbfs");
        QTest::addColumn<int>("peak");
        QTest::newRow("-6") << -6.0 << 4204263;
        QTest::newRow("0 is limited to full scale minus 1") << 0.0 << 8388607;
        QTest::newRow("-138.5 is one step") << -138.5 << 1;
        QTest::newRow("far below one step is silence") << -200.0 << 0;
    }
    void peakForDbfs()
    {
        QFETCH(double, dbfs);
        QFETCH(int, peak);
        QCOMPARE(SimCodec::peakForDbfs(dbfs), peak);
    }

    void levelPacketTone_data()
    {
        QTest::addColumn<int>("peak");
        QTest::addColumn<QByteArray>("crest");
        QTest::addColumn<QByteArray>("trough");
        QTest::addColumn<double>("shown");
        QTest::newRow("-6 dBFS") << 4204263 << QByteArray::fromHex("4026e7")
                                 << QByteArray::fromHex("bfd919") << -6.0;
        QTest::newRow("full scale")
            << 8388607 << QByteArray::fromHex("7fffff") << QByteArray::fromHex("800001") << 0.0;
        QTest::newRow("one step") << 1 << QByteArray::fromHex("000001")
                                  << QByteArray::fromHex("ffffff") << -138.5;
    }
    void levelPacketTone()
    {
        QFETCH(int, peak);
        QFETCH(QByteArray, crest);
        QFETCH(QByteArray, trough);
        QFETCH(double, shown);
        const QByteArray packet = SimCodec::encodeLevelPacket(peak);
        QCOMPARE(packet.size(), 1440);
        // The first crest is sample 12 (bytes 36..38), the first trough sample 36.
        QCOMPARE(packet.mid(36, 3).toHex(), crest.toHex());
        QCOMPARE(packet.mid(108, 3).toHex(), trough.toHex());
        QCOMPARE(packet.left(3).toHex(), QByteArray("000000"));
        for (int i = 0; i < 480; ++i) {
            QVERIFY2(std::abs(sampleAt(packet, i)) <= peak, qPrintable(QString::number(i)));
            if (i + 24 < 480)
                QCOMPARE(sampleAt(packet, i + 24), -sampleAt(packet, i));
        }
        QCOMPARE(stationLevel(packet), shown);
    }

    void levelPacketSilence() { QCOMPARE(SimCodec::encodeLevelPacket(0), QByteArray(1440, '\0')); }

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
        row("role", true, 35, "07");
        row("role=0", false, 35, "00");
        row("input", true, 16, "02");
        row("tx", true, 18, "02");
        row("ip=0.0.0.0", true, 0, "00000000");
        row("gw=198.18.0.99", false, 8, "c6120063");
        row("ver=1.12", false, 40, "010c");
        row("version", true, 40, "ffff");
        row("name", true, 19, "4241440d0a5b4556494c5d01007fff20"); // injects lines
        row("name=a\\tb\\\\c\\x41", false, 19, "610962 5c6341 20202020202020202020");
        row("colour=1", true);
        row("input=256", true);
        row("ip=1.2.3", true);
        row("mask=255.255.256.0", true);
        row("serial=4294967296", true);
        row("version=34", true);
        row("name=a\\q", true);
        row("name=a\\x4", true);
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
