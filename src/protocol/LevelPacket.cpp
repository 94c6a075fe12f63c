#include "protocol/LevelPacket.h"

#include <algorithm>

#include "db/TextHelpers.h"

namespace nms {
namespace {

qint32 sampleAt(const QByteArray& datagram, int offset)
{
    const auto hi = static_cast<quint8>(datagram[offset]);
    const auto mid = static_cast<quint8>(datagram[offset + 1]);
    const auto lo = static_cast<quint8>(datagram[offset + 2]);
    return (qint32(hi) << 16) | (qint32(mid) << 8) | qint32(lo);
}

bool isNegativeSample(const QByteArray& datagram, int offset)
{
    return static_cast<quint8>(datagram[offset]) >= 0x80;
}

} // namespace

qint32 LevelPacket::peak(const QByteArray& datagram)
{
    const int samples = std::min<qsizetype>(kSamplesRead, datagram.size() / kSampleBytes);
    qint32 peak = 0;
    for (int i = 0; i < samples; ++i) {
        const int offset = i * kSampleBytes;
        if (isNegativeSample(datagram, offset))
            continue;
        peak = std::max(peak, sampleAt(datagram, offset));
    }
    return peak;
}

int LevelPacket::meterWidthTwips(qint32 peak)
{
    // Exact integer arithmetic: peak x 2100 fits easily in 64 bits, and the
    // tie test is then free of floating-point noise.
    const qint64 numerator = qint64(std::max(peak, 0)) * kMeterFullTwips;
    qint64 quotient = numerator / kFullScale;
    const qint64 twiceRemainder = 2 * (numerator % kFullScale);
    if (twiceRemainder > kFullScale || (twiceRemainder == kFullScale && (quotient & 1)))
        ++quotient;
    return static_cast<int>(quotient);
}

double LevelPacket::levelDbfs(qint32 peak)
{
    const double ratio = double(peak) / double(kFullScale);
    return text::RoundToTenthHalfEven(20.0 * text::Log10(ratio));
}

QString LevelPacket::levelCaption(qint32 peak)
{
    if (peak <= 0)
        return kNoLevelCaption;
    return text::ShortestNumber(levelDbfs(peak)) + QStringLiteral("dBFS");
}

} // namespace nms
