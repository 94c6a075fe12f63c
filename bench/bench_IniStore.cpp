#include <benchmark/benchmark.h>

#include <chrono>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
        bytes +=
            "NAME=" + QByteArray("ELEMENT " + QByteArray::number(i)).leftJustified(16, ' ') + "\n";
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

// A hand-edited nms.ini of short lines, as large as asked: every line the
// same ("" for blank lines, "[]" for empty section headers).
bool writeFileOfLines(const QString& path, qint64 bytes, const QByteArray& line)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray one = line + '\n';
    QByteArray chunk;
    while (chunk.size() + one.size() <= (1 << 20))
        chunk += one;
    for (qint64 left = bytes; left > 0;) {
        const qint64 piece = std::min<qint64>(left, chunk.size() - chunk.size() % one.size());
        if (file.write(chunk.constData(), piece) != piece)
            return false;
        left -= piece;
    }
    return true;
}

// Runs the work in a child process and returns its peak resident memory in
// bytes; the work's own duration in seconds comes back through a pipe.
template <typename Work> long peakOfChild(Work work, double& seconds)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const auto start = std::chrono::steady_clock::now();
        work();
        const double took =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        (void)!::write(channel[1], &took, sizeof took);
        ::_exit(0);
    }
    ::close(channel[1]);
    seconds = 0;
    (void)!::read(channel[0], &seconds, sizeof seconds);
    ::close(channel[0]);
    int status = 0;
    struct rusage usage {};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child || !WIFEXITED(status))
        return -1;
    return usage.ru_maxrss * 1024L;
}

// Start-up on a large file of short lines: the element list reads every
// section name, then the role and name of each. Memory is the peak of a
// process that does only that, less the peak of one that does nothing;
// the limit is 8 bytes per byte of file.
void BM_OpenFileOfShortLines(benchmark::State& state)
{
    const qint64 bytes = state.range(0) * 1024 * 1024;
    const QByteArray line = state.range(1) == 0 ? QByteArray() : QByteArray("[]");
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("nms.ini"));
    if (!writeFileOfLines(path, bytes, line)) {
        state.SkipWithError("cannot write the file");
        return;
    }
    double idle = 0;
    const long baseline = peakOfChild([] {}, idle);
    long peak = 0;
    for (auto _ : state) {
        double seconds = 0;
        peak = peakOfChild(
            [&] {
                nms::PrivateProfileStore store;
                nms::IniRoutines ini{store};
                benchmark::DoNotOptimize(rebuildElementList(ini, path));
            },
            seconds);
        if (peak < 0 || baseline < 0) {
            state.SkipWithError("the child process failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    const double grown = static_cast<double>(std::max(0L, peak - baseline));
    state.counters["peak_MiB"] = grown / (1024.0 * 1024.0);
    state.counters["per_byte"] = grown / static_cast<double>(bytes);
    state.SetLabel(line.isEmpty() ? "empty lines" : "[] lines");
}
BENCHMARK(BM_OpenFileOfShortLines)
    ->ArgsProduct({{1, 16, 64}, {0, 1}})
    ->ArgNames({"MiB", "brackets"})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
