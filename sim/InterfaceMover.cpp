#include "InterfaceMover.h"

#include "SimCodec.h"

#include <QProcess>
#include <QStandardPaths>

namespace nms::sim {

namespace {

constexpr int kIpCommandTimeoutMs = 3000;

quint32 toValue(const Address& a)
{
    return (quint32(a[0]) << 24) | (quint32(a[1]) << 16) | (quint32(a[2]) << 8) | quint32(a[3]);
}

} // namespace

InterfaceMover::InterfaceMover(QString interfaceName)
    : m_interface(std::move(interfaceName))
    , m_ipProgram(QStandardPaths::findExecutable(
          QStringLiteral("ip"), {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin"),
                                 QStringLiteral("/usr/bin"), QStringLiteral("/bin")}))
{
}

bool InterfaceMover::isTestRange(const Address& address)
{
    return address[0] == 198 && (address[1] & 0xFE) == 18;
}

int InterfaceMover::prefixLength(const Address& mask)
{
    const quint32 value = toValue(mask);
    const int ones = __builtin_popcount(value);
    const quint32 expected = ones == 0 ? 0u : ~quint32(0) << (32 - ones);
    return value == expected ? ones : -1;
}

bool InterfaceMover::sameSubnet(const Address& a, const Address& b, const Address& mask)
{
    const quint32 m = toValue(mask);
    return (toValue(a) & m) == (toValue(b) & m);
}

QString InterfaceMover::move(const Address& ip, const Address& mask, const Address& gw)
{
    const int prefix = prefixLength(mask);
    if (!isTestRange(ip))
        return refuse(QStringLiteral("address outside 198.18.0.0/15"));
    if (prefix < 8 || prefix > 30)
        return refuse(QStringLiteral("mask is not a contiguous prefix from /8 to /30"));
    if (m_ipProgram.isEmpty())
        return QStringLiteral("INTERFACE-FAILED reason=no ip program");
    const QString cidr = QStringLiteral("%1/%2").arg(SimCodec::addressText(ip)).arg(prefix);
    QString problem;
    if (!runIp({QStringLiteral("-4"), QStringLiteral("addr"), QStringLiteral("flush"),
                QStringLiteral("dev"), m_interface},
               &problem) ||
        !runIp({QStringLiteral("addr"), QStringLiteral("add"), cidr, QStringLiteral("brd"),
                QStringLiteral("+"), QStringLiteral("dev"), m_interface},
               &problem))
        return QStringLiteral("INTERFACE-FAILED reason=") + problem;
    return QStringLiteral("INTERFACE dev=%1 addr=%2 %3")
        .arg(m_interface, cidr, applyRoute(gw, ip, mask));
}

// A gateway of 0.0.0.0 means no default route; one outside the test range or
// the new subnet is reported and left out.
QString InterfaceMover::applyRoute(const Address& gw, const Address& ip, const Address& mask)
{
    const QString gwText = SimCodec::addressText(gw);
    QString problem;
    if (toValue(gw) == 0) {
        runIp({QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("del"),
               QStringLiteral("default")},
              &problem);
        return QStringLiteral("gw=none");
    }
    if (!isTestRange(gw) || !sameSubnet(gw, ip, mask))
        return QStringLiteral("gw=") + gwText + QStringLiteral(" route=refused");
    if (!runIp({QStringLiteral("-4"), QStringLiteral("route"), QStringLiteral("replace"),
                QStringLiteral("default"), QStringLiteral("via"), gwText, QStringLiteral("dev"),
                m_interface},
               &problem))
        return QStringLiteral("gw=") + gwText + QStringLiteral(" route=failed");
    return QStringLiteral("gw=") + gwText;
}

QString InterfaceMover::refuse(const QString& reason) const
{
    return QStringLiteral("INTERFACE-REFUSED dev=%1 reason=%2").arg(m_interface, reason);
}

bool InterfaceMover::runIp(const QStringList& arguments, QString* problem) const
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(m_ipProgram, arguments);
    if (!process.waitForFinished(kIpCommandTimeoutMs)) {
        process.kill();
        process.waitForFinished(kIpCommandTimeoutMs);
        *problem = QStringLiteral("ip ") + arguments.join(QLatin1Char(' ')) +
                   QStringLiteral(": did not finish");
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        *problem = QStringLiteral("ip ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ") +
                   QString::fromLocal8Bit(process.readAll()).simplified();
        return false;
    }
    return true;
}

} // namespace nms::sim
