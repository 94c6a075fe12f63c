#pragma once

#include "ElementState.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace nms::sim {

// The element's side of the wire, written from the byte tables on its own so
// that it shares no code with the station's codec. Header-only: the unit tests
// include it directly.
class SimCodec {
public:
    static constexpr int kEncoderFeedbackLength = 44;
    static constexpr int kDecoderFeedbackLength = 48;
    static constexpr int kShortConfigurationLength = 35;
    static constexpr int kDecoderConfigurationLength = 40;
    static constexpr int kLevelPacketLength = 1440;
    static constexpr int kLevelSampleCount = kLevelPacketLength / 3;
    static constexpr std::int32_t kFullScale = 8388608; // 2^23
    // One period of the test tone: 1 kHz at 48 kHz.
    static constexpr int kTonePeriod = 48;

    static QByteArray pagingRequest()
    {
        return QByteArrayLiteral("IPMPXSTL ORBELUND PAGING REQUEST");
    }
    static bool isPagingRequest(const QByteArray& datagram) { return datagram == pagingRequest(); }
    static bool isLevelRequest(const QByteArray& datagram)
    {
        return datagram == QByteArrayLiteral("VOL");
    }
    static bool isAttenuationCommand(const QByteArray& datagram) { return datagram.size() == 2; }

    static int defaultFeedbackLength(const ElementState& state)
    {
        return state.isDecoder() ? kDecoderFeedbackLength : kEncoderFeedbackLength;
    }

    // The complete feedback image is built first; a shorter length cuts it, a
    // longer one pads it with zero bytes (both are faults a test may want).
    static QByteArray encodeFeedback(const ElementState& state, int length)
    {
        QByteArray image(kDecoderFeedbackLength, '\0');
        putCommonFields(image, state);
        image[35] = char(state.role);
        putSerial(image, 36, state.serial);
        if (state.isDecoder())
            putDecoderExtension(image, state);
        else
            putEncoderExtension(image, state);
        image.resize(std::max(length, 0), '\0');
        return image;
    }

    // Applies a 35- or 40-byte configuration; any other length is refused and
    // leaves the state alone.
    static bool decodeConfiguration(const QByteArray& packet, ElementState& state)
    {
        if (packet.size() != kShortConfigurationLength &&
            packet.size() != kDecoderConfigurationLength)
            return false;
        state.ip = addressAt(packet, 0);
        state.mask = addressAt(packet, 4);
        state.gw = addressAt(packet, 8);
        state.remote = addressAt(packet, 12);
        state.input = byteAt(packet, 16);
        state.type = byteAt(packet, 17);
        state.tx = byteAt(packet, 18);
        for (int i = 0; i < 16; ++i)
            state.name[i] = byteAt(packet, 19 + i);
        if (packet.size() == kDecoderConfigurationLength) {
            state.sfn = byteAt(packet, 35);
            state.buf = byteAt(packet, 36);
            state.sdm = byteAt(packet, 37);
            state.sdl = byteAt(packet, 38);
            state.sdt = byteAt(packet, 39);
        }
        return true;
    }

    // The sample value whose level is the given dBFS, limited to the largest
    // positive 24-bit sample; 0 for no signal at all.
    static std::int32_t peakForDbfs(double dbfs)
    {
        const double amplitude = std::pow(10.0, dbfs / 20.0) * kFullScale;
        const double limited = std::clamp(std::round(amplitude), 0.0, double(kFullScale - 1));
        return std::int32_t(limited);
    }

    // 480 big-endian 24-bit two's complement samples of a sine whose crests are
    // exactly +peak and -peak; peak 0 gives silence.
    static QByteArray encodeLevelPacket(std::int32_t peak)
    {
        QByteArray packet(kLevelPacketLength, '\0');
        for (int k = 0; k < kLevelSampleCount; ++k)
            putSample(packet, k, toneSample(peak, k));
        return packet;
    }

    // The second half of each period mirrors the first exactly, so the
    // negative crest is -peak and no rounding makes the tone lopsided.
    static std::int32_t toneSample(std::int32_t peak, int index)
    {
        const int phase = index % kTonePeriod;
        constexpr int kHalf = kTonePeriod / 2;
        if (phase >= kHalf)
            return -toneSample(peak, phase - kHalf);
        if (phase == kHalf / 2)
            return peak;
        constexpr double kTwoPi = 6.283185307179586476925;
        const double value = peak * std::sin(kTwoPi * phase / kTonePeriod);
        return std::int32_t(std::lround(value));
    }

    // Latin-1 bytes of the text, cut to 16 or filled with blanks; the case is
    // kept, as an element stores what it is given.
    static NameBytes nameFromText(const QString& text)
    {
        NameBytes name;
        name.fill(' ');
        const QByteArray bytes = text.toLatin1();
        std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), 16), name.begin());
        return name;
    }

    static std::optional<Address> parseAddress(const QString& text)
    {
        const QStringList parts = text.split(QLatin1Char('.'));
        if (parts.size() != 4)
            return std::nullopt;
        Address address{};
        for (int i = 0; i < 4; ++i) {
            bool ok = false;
            const uint value = parts[i].trimmed().toUInt(&ok, 10);
            if (!ok || value > 255)
                return std::nullopt;
            address[i] = std::uint8_t(value);
        }
        return address;
    }

    static QString addressText(const Address& address)
    {
        return QStringLiteral("%1.%2.%3.%4")
            .arg(address[0])
            .arg(address[1])
            .arg(address[2])
            .arg(address[3]);
    }

private:
    static std::uint8_t byteAt(const QByteArray& bytes, int offset)
    {
        return std::uint8_t(bytes[offset]);
    }

    static Address addressAt(const QByteArray& bytes, int offset)
    {
        return {byteAt(bytes, offset), byteAt(bytes, offset + 1), byteAt(bytes, offset + 2),
                byteAt(bytes, offset + 3)};
    }

    static void putAddress(QByteArray& image, int offset, const Address& address)
    {
        for (int i = 0; i < 4; ++i)
            image[offset + i] = char(address[i]);
    }

    static void putSerial(QByteArray& image, int offset, std::uint32_t serial)
    {
        image[offset] = char((serial >> 24) & 0xFF);
        image[offset + 1] = char((serial >> 16) & 0xFF);
        image[offset + 2] = char((serial >> 8) & 0xFF);
        image[offset + 3] = char(serial & 0xFF);
    }

    // Bytes 0..34 mirror the configuration packet's first 35 bytes.
    static void putCommonFields(QByteArray& image, const ElementState& state)
    {
        putAddress(image, 0, state.ip);
        putAddress(image, 4, state.mask);
        putAddress(image, 8, state.gw);
        putAddress(image, 12, state.remote);
        image[16] = char(state.input);
        image[17] = char(state.type);
        image[18] = char(state.tx);
        for (int i = 0; i < 16; ++i)
            image[19 + i] = char(state.name[i]);
    }

    static void putEncoderExtension(QByteArray& image, const ElementState& state)
    {
        image[40] = char(state.versionMajor);
        image[41] = char(state.versionMinor);
        image[42] = char(state.sfn);
        image[43] = char(state.buf);
    }

    // A decoder puts its attenuation first and moves the version along by one.
    static void putDecoderExtension(QByteArray& image, const ElementState& state)
    {
        image[40] = char(state.att);
        image[41] = char(state.versionMajor);
        image[42] = char(state.versionMinor);
        image[43] = char(state.sfn);
        image[44] = char(state.buf);
        image[45] = char(state.sdm);
        image[46] = char(state.sdl);
        image[47] = char(state.sdt);
    }

    static void putSample(QByteArray& packet, int index, std::int32_t sample)
    {
        const std::uint32_t bits = std::uint32_t(sample) & 0xFFFFFFu;
        packet[3 * index] = char((bits >> 16) & 0xFF);
        packet[3 * index + 1] = char((bits >> 8) & 0xFF);
        packet[3 * index + 2] = char(bits & 0xFF);
    }
};

} // namespace nms::sim
