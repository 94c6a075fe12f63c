#include "cli/EchoRunner.h"

#include "cli/BoundedWait.h"
#include "cli/CliError.h"
#include "platform/Clock.h"
#include "platform/IcmpSocket.h"
#include "platform/LinuxIcmpSocket.h"

namespace nms::cli {

namespace {
// The socket times an echo out after a second; this only guards against an
// outcome that never comes.
constexpr int kEchoBoundMs = LinuxIcmpSocket::kTimeoutMs + 1000;
} // namespace

bool EchoRunner::Outcome::replied() const
{
    return !interrupted && status == echo_status::Success;
}

QString EchoRunner::Outcome::text() const
{
    if (interrupted)
        return QStringLiteral("<Stopped>");
    const QString statusText = IcmpModule::EchoStatusText(status);
    if (statusText == QLatin1String("Success!"))
        return QString::number(roundTripMs) + QStringLiteral(" ms");
    return statusText;
}

EchoRunner::EchoRunner(IcmpSocket& socket, Clock& clock, InterruptSignals& interrupts,
                       QObject* parent)
    : QObject(parent)
    , m_icmp(socket)
    , m_clock(clock)
    , m_interrupts(interrupts)
{
}

EchoRunner::~EchoRunner()
{
    m_icmp.CloseSocketLayer();
}

void EchoRunner::open(int failureStatus)
{
    if (!m_icmp.OpenSocketLayer())
        throw CliError{failureStatus, QStringLiteral("Windows Sockets not responding correctly. "
                                                     "Unable to init sockets")};
}

EchoRunner::Outcome EchoRunner::echo(const QString& address)
{
    Outcome outcome;
    BoundedWait wait(m_interrupts);
    const QMetaObject::Connection finished =
        connect(&m_icmp, &IcmpModule::echoFinished, this, [&](qint32 status, quint32 roundTripMs) {
            outcome.status = status;
            outcome.roundTripMs = roundTripMs;
            outcome.elapsedUs = m_clock.nowUs() - outcome.elapsedUs;
            wait.finish();
        });
    outcome.elapsedUs = m_clock.nowUs();
    m_icmp.SendEcho(address);
    const BoundedWait::End end = wait.run(kEchoBoundMs);
    disconnect(finished);
    if (end == BoundedWait::End::Interrupted)
        outcome.interrupted = true;
    if (end != BoundedWait::End::Finished) {
        // Abandons the echo; the next one opens the socket again.
        m_icmp.CloseSocketLayer();
        m_icmp.OpenSocketLayer();
        outcome.status =
            end == BoundedWait::End::TimedOut ? echo_status::RequestTimedOut : echo_status::NotSent;
    }
    return outcome;
}

} // namespace nms::cli
