// The level datagram evaluation against any datagram: the peak is the largest
// of the positive whole samples read, found by a plain scan; the bar is its
// rounded share of the meter and the caption reads back as its level.
#include <cmath>

#include "FuzzCheck.h"
#include "protocol/LevelPacket.h"

using namespace nms;
using namespace nms::fuzz;

NMS_FUZZ_TARGET(datagram)
{
    qint32 scanned = 0;
    for (int i = 0; i < LevelPacket::kSamplesRead && 3 * i + 2 < datagram.size(); ++i)
        if (at(datagram, 3 * i) < 0x80)
            scanned = std::max(scanned, qint32(at(datagram, 3 * i, 3)));
    const qint32 peak = LevelPacket::peak(datagram);
    require(peak == scanned, "peak differs from a scan of the samples", QString::number(peak));

    const int width = LevelPacket::meterWidthTwips(peak);
    const double share = double(peak) / LevelPacket::kFullScale;
    require(std::fabs(width - share * LevelPacket::kMeterFullTwips) <= 0.5 &&
                LevelPacket::meterWidthTwips(peak + 1) >= width,
            "bar width not the rounded share of the meter", QString::number(width));

    const QString caption = LevelPacket::levelCaption(peak);
    const double dbfs = caption.chopped(4).toDouble();
    require(peak == 0 ? caption == LevelPacket::kNoLevelCaption
                      : caption.endsWith(QStringLiteral("dBFS")) &&
                            std::fabs(dbfs - 20 * std::log10(share)) <= 0.05 + 1e-9 &&
                            dbfs == LevelPacket::levelDbfs(peak),
            "caption does not read as the level", caption);
}
