#include <QtTest>

#include "../../sim/FieldOverride.h"
#include "../../sim/SimCodec.h"
#include "protocol/LevelPacket.h"

using namespace nms::sim;
using nms::LevelPacket;

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

} // namespace

// Whether a configuration is taken, what it writes and that the feedback
// reads back through the station's decoder are the simcodec fuzz harness's
// invariants; these rows hold the bytes themselves.
class SimCodecTest : public QObject {
    Q_OBJECT
private slots:
    // One row per feedback length class.
    void feedback()
    {
        const std::tuple<ElementState, int, QByteArray> rows[] = {
            {encoderState(), 44, kEncoder44},
            {decoderState(), 48, kDecoder48},
            {encoderState(), 40, kEncoder44.left(40)},
            {decoderState(), 41, kDecoder48.left(41)},              // attenuation only
            {encoderState(), 48, kEncoder44 + QByteArray(4, '\0')}, // padded with zeros
        };
        QCOMPARE(SimCodec::defaultFeedbackLength(encoderState()), 44);
        QCOMPARE(SimCodec::defaultFeedbackLength(decoderState()), 48);
        for (const auto& [state, length, expected] : rows)
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

    // The tone's crest (sample 12) is the peak, and the station shows the
    // level asked for.
    void levelPacketTone()
    {
        const std::pair<double, const char*> rows[] = {
            {0.0, "7fffff"},    // limited to full scale minus 1
            {-138.5, "000001"}, // one step
            {-200.0, "000000"}, // far below one step: silence
        };
        for (const auto& [dbfs, crest] : rows) {
            const qint32 peak = SimCodec::peakForDbfs(dbfs);
            const QByteArray packet = SimCodec::encodeLevelPacket(peak);
            QCOMPARE(packet.size(), 1440);
            QCOMPARE(packet.mid(36, 3).toHex(), QByteArray(crest));
            if (peak > 0)
                QCOMPARE(LevelPacket::levelDbfs(LevelPacket::peak(packet)), dbfs);
        }
    }

    // A setting that is refused (offset -1) names why.
    void overrides()
    {
        const std::tuple<const char*, bool, int, const char*> rows[] = {
            {"serial", true, 36, "00000000"},
            {"sn=0x80000000", false, 36, "80000000"},
            {"version", true, 40, "ffff"},
            {"name", true, 19, "4241440d0a5b4556494c5d01007fff20"}, // injects lines
            {"name=a\\tb\\\\c\\x41", false, 19, "610962 5c6341 20202020202020202020"},
            {"colour=1", true, -1, ""},
            {"version=34", true, -1, ""},
            {"gw", false, -1, ""}, // disagreeing needs a value
        };
        for (const auto& [setting, allowDefault, offset, hex] : rows) {
            QString error;
            const auto parsed =
                FieldOverride::parse(QString::fromLatin1(setting), allowDefault, &error);
            ElementState state = encoderState();
            const bool applied = parsed && error.isEmpty() && parsed->apply(state);
            QVERIFY2(applied == (offset >= 0) && (applied || !error.isEmpty()), setting);
            const QByteArray bytes = QByteArray::fromHex(hex);
            QCOMPARE(SimCodec::encodeFeedback(state, 44).mid(offset, bytes.size()).toHex(),
                     bytes.toHex());
        }
    }
};

QTEST_GUILESS_MAIN(SimCodecTest)
#include "tst_SimCodec.moc"
