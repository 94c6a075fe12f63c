#pragma once

#include <QByteArray>
#include <QString>

namespace nms {

// Evaluation of the element's audio level datagram: 1440 bytes of 24-bit
// big-endian two's complement samples. Only the positive half of the
// waveform is looked at, and only the first 479 of the 480 samples (the
// meter has always been read that way, so levels stay comparable).
class LevelPacket {
public:
    static constexpr int kLength = 1440;
    static constexpr int kSampleBytes = 3;
    static constexpr int kSamplesRead = 479;
    static constexpr qint64 kFullScale = 8388608; // 2^23
    static constexpr int kMeterFullTwips = 2100;

    // Largest non-negative sample among the samples read; 0 when there is
    // none. A shorter datagram is read only as far as it holds whole samples.
    static qint32 peak(const QByteArray& datagram);

    // Bar width for a peak: peak / full scale x 2100 twips, halves to even.
    static int meterWidthTwips(qint32 peak);

    // 20 log10(peak / full scale), rounded to one decimal, halves to even.
    // Only meaningful for peak > 0.
    static double levelDbfs(qint32 peak);

    // The level caption: "<number>dBFS", or "-oodBFS" for a zero peak.
    static QString levelCaption(qint32 peak);

    static inline const QString kNoLevelCaption = QStringLiteral("-oodBFS");
};

} // namespace nms
