#include <benchmark/benchmark.h>

#include <QByteArray>

#include "protocol/ConfigurationPacket.h"
#include "protocol/LevelPacket.h"

// Level packets arrive up to 20 times a second while monitoring is on; their
// evaluation runs on the window's thread and must stay far below a frame.
static void BM_LevelPacketEvaluation(benchmark::State& state)
{
    QByteArray packet(nms::LevelPacket::kLength, '\0');
    for (int i = 0; i < packet.size(); ++i)
        packet[i] = char((i * 37) & 0x7F);
    for (auto _ : state) {
        const qint32 peak = nms::LevelPacket::peak(packet);
        benchmark::DoNotOptimize(nms::LevelPacket::meterWidthTwips(peak));
        benchmark::DoNotOptimize(nms::LevelPacket::levelCaption(peak));
    }
}
BENCHMARK(BM_LevelPacketEvaluation);

static void BM_ConfigurationPacketBuild(benchmark::State& state)
{
    nms::ConfigurationPacket::Fields fields;
    fields.elementIP = QStringLiteral("198.18.0.20");
    fields.elementMask = QStringLiteral("255.255.0.0");
    fields.elementGW = QStringLiteral("198.18.0.1");
    fields.remoteIP = QStringLiteral("198.18.0.30");
    fields.elementName = QStringLiteral("Studio a");
    fields.decoder = true;
    for (auto _ : state)
        benchmark::DoNotOptimize(nms::ConfigurationPacket::build(fields));
}
BENCHMARK(BM_ConfigurationPacketBuild);

BENCHMARK_MAIN();
