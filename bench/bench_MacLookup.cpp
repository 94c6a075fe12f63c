// What one poll of the MAC lookup costs while many lookups wait, against
// the kernel's own neighbour table filled with thousands of entries. The
// table lives in a network namespace of this process alone (root only), on
// one end of a veth pair whose other end is in the same namespace, so
// nothing leaves it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QProcess>

#include <sched.h>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "platform/LinuxNeighbourTable.h"

namespace {

constexpr int kTableEntries = 5000;
constexpr int kWaitingLookups = 200;

bool runIp(const QStringList& arguments, const QByteArray& input = QByteArray())
{
    QProcess process;
    process.start(QStringLiteral("ip"), arguments);
    if (!input.isEmpty()) {
        process.write(input);
        process.closeWriteChannel();
    }
    return process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// Entry i sits at 198.18.(i / 250 + 1).(i % 250 + 1); the waiting lookups
// ask for 198.18.230.x, which nobody answers.
bool buildTable(int entries)
{
    if (!runIp({"link", "add", "vnbench0", "type", "veth", "peer", "name", "vnbench1"}) ||
        !runIp({"addr", "add", "198.18.0.1/15", "dev", "vnbench0"}) ||
        !runIp({"link", "set", "vnbench0", "up"}) || !runIp({"link", "set", "vnbench1", "up"}))
        return false;
    QByteArray batch;
    for (int i = 0; i < entries; ++i)
        batch += QStringLiteral("neigh add 198.18.%1.%2 lladdr 02:00:00:00:%3:%4 dev vnbench0 "
                                "nud permanent\n")
                     .arg(i / 250 + 1)
                     .arg(i % 250 + 1)
                     .arg(i / 256 % 256, 2, 16, QLatin1Char('0'))
                     .arg(i % 256, 2, 16, QLatin1Char('0'))
                     .toLatin1();
    return runIp({"-batch", "-"}, batch);
}

bool g_tableReady = false;

void BM_MacLookupPoll(benchmark::State& state)
{
    if (!g_tableReady) {
        state.SkipWithError("needs root: the neighbour table is built in a private network "
                            "namespace");
        return;
    }
    nms::test::DiscoveryFixture f;
    nms::test::ManualTimerFactory timers;
    nms::LinuxNeighbourTable table;
    nms::MacLookup lookup(f.dialogs, f.clock, timers, table, *f.ui.timerGetMAC);
    const int waiting = static_cast<int>(state.range(0));
    for (int i = 0; i < waiting; ++i)
        lookup.lookup(QStringLiteral("198.18.230.%1").arg(i + 1), nullptr, [](const QString&) {});
    nms::test::ManualTimer* poll = timers.timer(QStringLiteral("tmrMacPoll"));
    for (auto _ : state)
        poll->fire();
    if (lookup.waitingCount() != waiting)
        state.SkipWithError("a lookup finished: the table is not what the benchmark expects");
    state.counters["entries"] = kTableEntries;
}
BENCHMARK(BM_MacLookupPoll)->Arg(1)->Arg(kWaitingLookups)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Before any thread exists: the namespace is this thread's alone and
    // disappears with the process.
    const bool ownNamespace = ::geteuid() == 0 && ::unshare(CLONE_NEWNET) == 0;
    QApplication app(argc, argv);
    g_tableReady = ownNamespace && buildTable(kTableEntries);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
