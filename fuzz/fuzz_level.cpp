// The level datagram evaluation against any datagram: the peak is checked
// against a plain scan of the samples, and the bar width and caption derived
// from it must stay within the meter.
#include <cmath>

#include "FuzzCheck.h"
#include "protocol/LevelPacket.h"

using namespace nms;
using nms::fuzz::require;

namespace {

// Positive samples only, as the meter reads them.
qint32 scannedPeak(const QByteArray& d)
{
    qint32 best = 0;
    for (int i = 0; i < LevelPacket::kSamplesRead && 3 * i + 2 < d.size(); ++i) {
        const quint8 high = nms::fuzz::at(d, 3 * i);
        if (!(high & 0x80))
            best = std::max(best, (qint32(high) << 16) | nms::fuzz::be16(d, 3 * i + 1));
    }
    return best;
}

void checkWidth(qint32 peak)
{
    const int width = LevelPacket::meterWidthTwips(peak);
    const double exact = double(peak) * LevelPacket::kMeterFullTwips / LevelPacket::kFullScale;
    require(width >= 0 && width <= LevelPacket::kMeterFullTwips, "bar wider than the meter",
            QString::number(width));
    require(std::fabs(width - exact) <= 0.5, "bar width not the rounded share of full scale",
            QStringLiteral("%1 for peak %2").arg(width).arg(peak));
    if (peak < LevelPacket::kFullScale - 1)
        require(LevelPacket::meterWidthTwips(peak + 1) >= width, "bar shrinks as the peak grows");
}

void checkCaption(qint32 peak)
{
    const QString caption = LevelPacket::levelCaption(peak);
    if (peak == 0) {
        require(caption == LevelPacket::kNoLevelCaption, "silence not shown as no level");
        return;
    }
    const double dbfs = LevelPacket::levelDbfs(peak);
    // The quietest sample, 1, is -138.5 dBFS.
    require(std::isfinite(dbfs) && dbfs <= 0.0 && dbfs >= -138.5, "level out of range",
            QString::number(dbfs));
    require(caption.endsWith(QStringLiteral("dBFS")), "caption lacks its unit");
    bool ok = false;
    const double shown = caption.chopped(4).toDouble(&ok);
    require(ok && shown == dbfs, "caption does not read as the level", caption);
}

} // namespace

NMS_FUZZ_TARGET(datagram)
{
    const qint32 peak = LevelPacket::peak(datagram);
    require(peak == scannedPeak(datagram), "peak differs from a scan of the samples",
            QString::number(peak));
    require(peak >= 0 && peak < LevelPacket::kFullScale, "peak outside the positive half");
    checkWidth(peak);
    checkCaption(peak);
}
