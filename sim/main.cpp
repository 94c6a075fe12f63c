#include "ElementSimulator.h"
#include "EventLog.h"
#include "SignalBridge.h"
#include "SimOptions.h"

#include <QCoreApplication>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

using namespace nms::sim;

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "veltrino-element-sim: %s\n", qPrintable(message));
    return 1;
}

// Three sockets per element: a process playing a thousand needs more
// descriptors than the usual soft limit.
void allowDescriptorsFor(int elements)
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return;
    const rlim_t wanted = rlim_t(elements) * 3 + 64;
    if (limit.rlim_cur >= wanted)
        return;
    limit.rlim_cur = std::min(std::max(wanted, limit.rlim_cur), limit.rlim_max);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("veltrino-element-sim"));
    QString error;
    const auto configs = SimOptions::parseAll(QCoreApplication::arguments(), &error);
    if (!configs)
        return fail(error + QStringLiteral("\n(see --help)"));
    EventLog log;
    if (!log.openRecord(configs->first().recordPath, &error))
        return fail(error);
    SignalBridge signalBridge;
    if (!signalBridge.install(&error))
        return fail(error);
    allowDescriptorsFor(int(configs->size()));
    std::vector<std::unique_ptr<ElementSimulator>> simulators;
    for (const SimConfig& config : *configs) {
        simulators.push_back(std::make_unique<ElementSimulator>(config, log));
        if (!simulators.back()->start(&error)) {
            log.write(QStringLiteral("ERROR ") + error);
            return fail(error);
        }
    }
    QObject::connect(&signalBridge, &SignalBridge::stopRequested, &app, [&log](int number) {
        log.write(QStringLiteral("STOP signal=%1").arg(number));
        QCoreApplication::quit();
    });
    return app.exec();
}
