#include "cli/ServeCommand.h"

#include <sys/resource.h>

#include <memory>
#include <vector>

#include <QEventLoop>
#include <QHostAddress>

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/ElementCatalog.h"
#include "cli/Exporter.h"
#include "cli/InterruptSignals.h"
#include "cli/MetricsHttpServer.h"
#include "platform/IcmpSocket.h"

namespace nms::cli {

namespace {

const QString kListen = QStringLiteral("listen");
const QString kInterval = QStringLiteral("interval");
constexpr int kMaxIntervalSeconds = 86400;
// Echoes in flight at once, each on its own socket (on the helper route,
// IcmpHelpers bounds them lower, as each is a process).
constexpr int kEchoLanes = 32;
// Descriptors for the HTTP server's connections and the sockets.
constexpr rlim_t kWantedFiles = MetricsHttpServer::kMaxConnections + 256;

const QString kDescription = QStringLiteral(
    "The Prometheus exporter: every --interval seconds it pings each element (every element of "
    "the database when none is named) and asks each for its audio level (\"VOL\"), concurrently "
    "and bounded, and serves the last finished round at http://ADDR:PORT/metrics. The database "
    "is read again when its file changes; a file that cannot be read keeps the last good list "
    "and counts veltrino_database_read_errors_total. Levels need UDP port 2976, as the window "
    "does: while the window holds it, the exporter still pings and serves, reports the levels "
    "unavailable (veltrino_level_polling 0) and tries the port again every round; it holds the "
    "port only while a round asks for levels, so the window can start between rounds. Level "
    "rule, "
    "shared with check: every element is asked; one that has never answered has no level, which "
    "is no alarm; one that answered before and then stops, or whose level is below "
    "--silence-dbfs, is (veltrino_element_level_alarm 1). An element's labels are what list "
    "prints for it; a record the window refuses to load keeps only its MAC and name, is never "
    "up, and its refusal goes to stderr. HTTP is read-only. SIGTERM or Ctrl-C "
    "ends it with status 0; 1 when it cannot listen or ping.");

// Room for the HTTP server's connections: a service's default soft limit of
// 1024 descriptors would refuse clients long before the server's own bound.
void raiseFileLimit()
{
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur >= kWantedFiles)
        return;
    files.rlim_cur = std::min(files.rlim_max, kWantedFiles);
    ::setrlimit(RLIMIT_NOFILE, &files);
}

} // namespace

bool ServeCommand::parseListen(const QString& text, QString& host, quint16& port)
{
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok);
    if (!ok || number == 0 || number > 65535)
        return false;
    host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(QLatin1Char(':')))
        return false; // an IPv6 address needs its brackets
    port = quint16(number);
    return host.isEmpty() || !QHostAddress(host).isNull();
}

int ServeCommand::run(const QStringList& arguments)
{
    CommandLine line(QStringLiteral("serve"), kDescription, m_defaultDatabase, kExitUsage);
    line.addElementsPositional();
    line.addOption(QCommandLineOption(
        kListen,
        QStringLiteral("Listen on ADDR:PORT (default 127.0.0.1:%1); :PORT listens on every "
                       "address.")
            .arg(kDefaultPort),
        QStringLiteral("ADDR:PORT"), QStringLiteral("127.0.0.1:%1").arg(kDefaultPort)));
    line.addOption(QCommandLineOption(
        kInterval, QStringLiteral("Seconds between polling rounds (default 15, at least 1)."),
        QStringLiteral("seconds"), QStringLiteral("15")));
    line.addSilenceOption(QStringLiteral("A level below this is an alarm"));
    line.parse(arguments);
    QString host;
    quint16 port = 0;
    if (!parseListen(line.value(kListen), host, port))
        line.refuse(QStringLiteral("--listen needs ADDR:PORT, [IPV6]:PORT or :PORT"));
    Exporter::Settings settings{line.databasePath(), line.positional(),
                                line.intValue(kInterval, 1, kMaxIntervalSeconds),
                                line.silenceDbfs()};

    ElementCatalog(settings.databasePath, settings.wanted).refuseUnknown(kExitUsage);

    if (!m_socket.open())
        throw CliError{kExitFailure, QStringLiteral("Windows Sockets not responding correctly. "
                                                    "Unable to init sockets")};
    // More echoes at once, on more sockets of the route ping uses: a silent
    // element holds its lane for the whole time-out.
    std::vector<std::unique_ptr<IcmpSocket>> extraSockets;
    std::vector<IcmpSocket*> sockets{&m_socket};
    while (int(sockets.size()) < kEchoLanes) {
        std::unique_ptr<IcmpSocket> socket = m_socket.sibling();
        if (!socket || !socket->open())
            break;
        sockets.push_back(socket.get());
        extraSockets.push_back(std::move(socket));
    }

    raiseFileLimit();
    MetricsHttpServer server;
    const QString listenError = server.listen(QHostAddress(host), port);
    if (!listenError.isEmpty())
        throw CliError{
            kExitFailure,
            QStringLiteral("serve: cannot listen on %1: %2").arg(line.value(kListen), listenError)};
    Exporter exporter(settings, m_dialogs, m_clock, sockets, server);
    exporter.start();
    QEventLoop loop;
    QObject::connect(&m_interrupts, &InterruptSignals::interrupted, &loop, &QEventLoop::quit);
    if (!m_interrupts.raised())
        loop.exec();
    return kExitOk;
}

} // namespace nms::cli
