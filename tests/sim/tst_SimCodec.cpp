#include <QtTest>

#include "../../sim/FieldOverride.h"
#include "../../sim/SimCodec.h"

#include <cmath>

Q_DECLARE_METATYPE(nms::sim::ElementState)

using namespace nms::sim;

namespace {

ElementState encoderState()
{
    ElementState s;
    s.ip = {198, 18, 0, 11};
    s.mask = {255, 255, 255, 0};
    s.gw = {198, 18, 0, 254};
    s.remote = {10, 0, 0, 1};
    s.input = 1;
    s.type = 0;
    s.tx = 1;
    s.name = SimCodec::nameFromText(QStringLiteral("ENC-01"));
    s.role = ElementState::kEncoder;
    s.serial = 0x01020304;
    s.versionMajor = 3;
    s.versionMinor = 4;
    s.sfn = 1;
    s.buf = 5;
    s.att = 99; // not carried by an encoder
    return s;
}

ElementState decoderState()
{
    ElementState s;
    s.ip = {198, 18, 0, 12};
    s.mask = {255, 255, 0, 0};
    s.gw = {0, 0, 0, 0};
    s.remote = {198, 18, 0, 11};
    s.input = 0;
    s.type = 1;
    s.tx = 0;
    s.name = SimCodec::nameFromText(QStringLiteral("dec-02 lower"));
    s.role = ElementState::kDecoder;
    s.serial = 0x12345678;
    s.versionMajor = 1;
    s.versionMinor = 12;
    s.sfn = 0;
    s.buf = 8;
    s.att = 200;
    s.sdm = 2;
    s.sdl = 154;
    s.sdt = 220;
    return s;
}

// Written out from the byte tables, field by field.
const QByteArray kEncoder44 = QByteArray::fromHex("c612000b"
                                                  "ffffff00"
                                                  "c61200fe"
                                                  "0a000001"
                                                  "010001"
                                                  "454e432d303120202020202020202020"
                                                  "01"
                                                  "01020304"
                                                  "0304"
                                                  "01"
                                                  "05");
const QByteArray kDecoder48 = QByteArray::fromHex("c612000c"
                                                  "ffff0000"
                                                  "00000000"
                                                  "c612000b"
                                                  "000100"
                                                  "6465632d3032206c6f77657220202020"
                                                  "02"
                                                  "12345678"
                                                  "c8"
                                                  "010c"
                                                  "00"
                                                  "08"
                                                  "02"
                                                  "9a"
                                                  "dc");

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
        QTest::newRow("encoder complete") << encoderState() << 44 << kEncoder44;
        QTest::newRow("decoder complete") << decoderState() << 48 << kDecoder48;
        QTest::newRow("encoder cut to 40") << encoderState() << 40 << kEncoder44.left(40);
        QTest::newRow("decoder cut to 41, attenuation only")
            << decoderState() << 41 << kDecoder48.left(41);
        QTest::newRow("decoder cut to 44") << decoderState() << 44 << kDecoder48.left(44);
        QTest::newRow("encoder padded to 48 with zeros")
            << encoderState() << 48 << kEncoder44 + QByteArray(4, '\0');
        QTest::newRow("too long for the station: 49")
            << decoderState() << 49 << kDecoder48 + QByteArray(1, '\0');
        QTest::newRow("empty") << decoderState() << 0 << QByteArray();
    }
    void feedback()
    {
        QFETCH(ElementState, state);
        QFETCH(int, length);
        QFETCH(QByteArray, expected);
        QCOMPARE(SimCodec::encodeFeedback(state, length).toHex(), expected.toHex());
    }

    void defaultLength_data()
    {
        QTest::addColumn<int>("role");
        QTest::addColumn<int>("length");
        QTest::newRow("encoder") << 1 << 44;
        QTest::newRow("decoder") << 2 << 48;
        QTest::newRow("unknown role 0 uses the encoder layout") << 0 << 44;
    }
    void defaultLength()
    {
        QFETCH(int, role);
        QFETCH(int, length);
        ElementState state;
        state.role = quint8(role);
        QCOMPARE(SimCodec::defaultFeedbackLength(state), length);
    }

    void serialIsBigEndian_data()
    {
        QTest::addColumn<quint32>("serial");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("32768") << 32768u << QByteArray::fromHex("00008000");
        QTest::newRow("largest signed") << 0x7fffffffu << QByteArray::fromHex("7fffffff");
        QTest::newRow("high bit set") << 0x80000000u << QByteArray::fromHex("80000000");
        QTest::newRow("zero") << 0u << QByteArray::fromHex("00000000");
    }
    void serialIsBigEndian()
    {
        QFETCH(quint32, serial);
        QFETCH(QByteArray, bytes);
        ElementState state = encoderState();
        state.serial = serial;
        QCOMPARE(SimCodec::encodeFeedback(state, 44).mid(36, 4).toHex(), bytes.toHex());
    }

    void configuration_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<ElementState>("expected");

        const QByteArray common = QByteArray::fromHex("c0a8010a"
                                                      "ffffff00"
                                                      "c0a801fe"
                                                      "0a000001"
                                                      "010100"
                                                      "53545544494f20412020202020202020");
        ElementState shortResult = decoderState();
        shortResult.ip = {192, 168, 1, 10};
        shortResult.mask = {255, 255, 255, 0};
        shortResult.gw = {192, 168, 1, 254};
        shortResult.remote = {10, 0, 0, 1};
        shortResult.input = 1;
        shortResult.type = 1;
        shortResult.tx = 0;
        shortResult.name = SimCodec::nameFromText(QStringLiteral("STUDIO A"));
        ElementState longResult = shortResult;
        longResult.sfn = 1;
        longResult.buf = 3;
        longResult.sdm = 1;
        longResult.sdl = 77;
        longResult.sdt = 219;

        QTest::newRow("35 bytes keeps the decoder fields") << common << true << shortResult;
        QTest::newRow("40 bytes") << common + QByteArray::fromHex("0103014ddb") << true
                                  << longResult;
        QTest::newRow("34 bytes refused") << common.left(34) << false << decoderState();
        QTest::newRow("36 bytes refused")
            << common + QByteArray(1, '\1') << false << decoderState();
        QTest::newRow("41 bytes refused")
            << common + QByteArray::fromHex("0103014ddb00") << false << decoderState();
        QTest::newRow("empty refused") << QByteArray() << false << decoderState();
        QTest::newRow("paging request refused")
            << SimCodec::pagingRequest() << false << decoderState();
    }
    void configuration()
    {
        QFETCH(QByteArray, packet);
        QFETCH(bool, accepted);
        QFETCH(ElementState, expected);
        ElementState state = decoderState();
        QCOMPARE(SimCodec::decodeConfiguration(packet, state), accepted);
        // Compare through the feedback image: every reported byte at once.
        QCOMPARE(SimCodec::encodeFeedback(state, 48).toHex(),
                 SimCodec::encodeFeedback(expected, 48).toHex());
    }

    void configurationRoundTripsThroughFeedback()
    {
        // Bytes 0..34 of the feedback mirror the configuration packet.
        const QByteArray packet = kEncoder44.left(35);
        ElementState state;
        QVERIFY(SimCodec::decodeConfiguration(packet, state));
        QCOMPARE(SimCodec::encodeFeedback(state, 44).left(35).toHex(), packet.toHex());
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
        QTest::newRow("-12") << -12.0 << 2107123;
        QTest::newRow("-20") << -20.0 << 838861;
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

    void overrides_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("allowDefault");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("serial=0") << "serial=0" << true << 36 << QByteArray::fromHex("00000000");
        QTest::newRow("bare serial") << "serial" << true << 36 << QByteArray::fromHex("00000000");
        QTest::newRow("sn alias, hex")
            << "sn=0x80000000" << false << 36 << QByteArray::fromHex("80000000");
        QTest::newRow("bare role") << "role" << true << 35 << QByteArray::fromHex("07");
        QTest::newRow("role=0") << "role=0" << false << 35 << QByteArray::fromHex("00");
        QTest::newRow("bare input") << "input" << true << 16 << QByteArray::fromHex("02");
        QTest::newRow("bare tx") << "tx" << true << 18 << QByteArray::fromHex("02");
        QTest::newRow("ip=0.0.0.0") << "ip=0.0.0.0" << true << 0 << QByteArray::fromHex("00000000");
        QTest::newRow("gw disagrees")
            << "gw=198.18.0.99" << false << 8 << QByteArray::fromHex("c6120063");
        QTest::newRow("version 1.12") << "ver=1.12" << false << 40 << QByteArray::fromHex("010c");
        QTest::newRow("bare version") << "version" << true << 40 << QByteArray::fromHex("ffff");
        QTest::newRow("bare name injects lines")
            << "name" << true << 19 << QByteArray::fromHex("4241440d0a5b4556494c5d01007fff20");
        QTest::newRow("name escapes") << "name=a\\tb\\\\c\\x41" << false << 19
                                      << QByteArray::fromHex("610962 5c6341 20202020202020202020");
    }
    void overrides()
    {
        QFETCH(QString, setting);
        QFETCH(bool, allowDefault);
        QFETCH(int, offset);
        QFETCH(QByteArray, bytes);
        QString error;
        const auto parsed = FieldOverride::parse(setting, allowDefault, &error);
        QVERIFY2(parsed.has_value(), qPrintable(error));
        ElementState state = encoderState();
        QVERIFY(parsed->apply(state));
        QCOMPARE(SimCodec::encodeFeedback(state, 44).mid(offset, bytes.size()).toHex(),
                 bytes.toHex());
    }

    void badOverrides_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("allowDefault");
        QTest::newRow("unknown field") << "colour=1" << true;
        QTest::newRow("byte too large") << "input=256" << true;
        QTest::newRow("three-part address") << "ip=1.2.3" << true;
        QTest::newRow("address part too large") << "mask=255.255.256.0" << true;
        QTest::newRow("serial too large") << "serial=4294967296" << true;
        QTest::newRow("version without dot") << "version=34" << true;
        QTest::newRow("bad escape") << "name=a\\q" << true;
        QTest::newRow("short hex escape") << "name=a\\x4" << true;
        QTest::newRow("disagree needs a value") << "gw" << false;
    }
    void badOverrides()
    {
        QFETCH(QString, setting);
        QFETCH(bool, allowDefault);
        QString error;
        QVERIFY(!FieldOverride::parse(setting, allowDefault, &error).has_value());
        QVERIFY(!error.isEmpty());
    }
};

QTEST_GUILESS_MAIN(SimCodecTest)
#include "tst_SimCodec.moc"
