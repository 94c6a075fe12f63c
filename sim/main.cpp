#include "ElementSimulator.h"
#include "EventLog.h"
#include "SignalBridge.h"
#include "SimOptions.h"

#include <QCoreApplication>

#include <cstdio>

using namespace nms::sim;

namespace {

int fail(const QString& message)
{
    std::fprintf(stderr, "veltrino-element-sim: %s\n", qPrintable(message));
    return 1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("veltrino-element-sim");
    QString error;
    const auto config = SimOptions::parse(QCoreApplication::arguments(), &error);
    if (!config)
        return fail(error + "\n(see --help)");
    EventLog log;
    if (!log.openRecord(config->recordPath, &error))
        return fail(error);
    SignalBridge signalBridge;
    if (!signalBridge.install(&error))
        return fail(error);
    ElementSimulator simulator(*config, log);
    if (!simulator.start(&error)) {
        log.write("ERROR " + error);
        return fail(error);
    }
    QObject::connect(&signalBridge, &SignalBridge::stopRequested, &app, [&log](int number) {
        log.write(QStringLiteral("STOP signal=%1").arg(number));
        QCoreApplication::quit();
    });
    return app.exec();
}
