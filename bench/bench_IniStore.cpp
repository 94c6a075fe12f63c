#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "db/IniRoutines.h"
#include "db/PrivateProfileStore.h"

namespace {

constexpr int kElements = 1000;

// A database as discovery leaves it: encoders with 13 keys and decoders
// with 17, alternating.
QByteArray databaseOf(int elements)
{
    QByteArray bytes;
    for (int i = 0; i < elements; ++i) {
        const bool encoder = i % 2 == 0;
        bytes += "[" +
                 QByteArray::number(0x001A2B000000LL + i, 16).toUpper().rightJustified(12, '0') +
                 "]\n";
        bytes += "NAME=" + ("ELEMENT " + QByteArray::number(i)).leftJustified(16, ' ') + "\n";
        bytes += "IP=198.18." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250) +
                 "\nMASK=255.254.0.0\nGW=198.18.0.1\nREMOTE=198.18.0.2\nINPUT=0\nTYPE=1\nTX=0\n";
        bytes += "ROLE=" + QByteArray(encoder ? "1" : "2") +
                 "\nSN=" + QByteArray::number(100000 + i) + "\nVER=3.4\nSFN=0\nBUF=1\n";
        if (!encoder)
            bytes += "ATT=255\nSDM=0\nSDL=37\nSDT=43\n";
    }
    return bytes;
}

struct Fixture {
    QTemporaryDir dir;
    QString path;
    nms::PrivateProfileStore store;
    nms::IniRoutines ini{store};

    Fixture()
    {
        path = dir.filePath(QStringLiteral("nms.ini"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly))
            file.write(databaseOf(kElements));
    }
};

// What the element list does for every rebuild: all section names, then
// role and name of each section.
int rebuildElementList(nms::IniRoutines& ini, const QString& path)
{
    QStringList sections;
    ini.LoadIniSectionsLB(sections, path);
    int encoders = 0;
    for (const QString& section : sections) {
        const bool encoder = ini.ReadFromINI(section, QStringLiteral("role"), path).toInt() == 1;
        const QString name = ini.ReadFromINI(section, QStringLiteral("name"), path);
        encoders += encoder && !name.isEmpty() ? 1 : 0;
    }
    return encoders;
}

void BM_RebuildElementListOf1000(benchmark::State& state)
{
    Fixture fixture;
    if (rebuildElementList(fixture.ini, fixture.path) != kElements / 2)
        state.SkipWithError("the database did not read back");
    for (auto _ : state)
        benchmark::DoNotOptimize(rebuildElementList(fixture.ini, fixture.path));
}
BENCHMARK(BM_RebuildElementListOf1000)->Unit(benchmark::kMillisecond);

// The first rebuild after another program changed the file: one parse.
void BM_RebuildAfterExternalChange(benchmark::State& state)
{
    Fixture fixture;
    const QByteArray bytes = databaseOf(kElements);
    for (auto _ : state) {
        state.PauseTiming();
        QFile file(fixture.path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
        file.close();
        state.ResumeTiming();
        benchmark::DoNotOptimize(rebuildElementList(fixture.ini, fixture.path));
    }
}
BENCHMARK(BM_RebuildAfterExternalChange)->Unit(benchmark::kMillisecond);

// One key written into a database of 1000 elements (an attenuation change),
// including the flush to disk.
void BM_WriteOneKeyInto1000(benchmark::State& state)
{
    Fixture fixture;
    int value = 14;
    for (auto _ : state) {
        value = value == 255 ? 14 : value + 1;
        if (!fixture.ini.WriteToINI(QStringLiteral("001A2B000001"), QStringLiteral("att"),
                                    QString::number(value), fixture.path))
            state.SkipWithError("write failed");
    }
}
BENCHMARK(BM_WriteOneKeyInto1000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
