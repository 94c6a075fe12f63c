#include <QtTest>

#include <QProcess>

#include <QThread>

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FakeNetRawCapability.h"
#include "platform/IcmpPacket.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNetRawCapability.h"
#include "platform/QtTimer.h"

using namespace nms;
using nms::test::FakeNetRawCapability;
using Preference = LinuxIcmpSocket::Preference;

Q_DECLARE_METATYPE(LinuxIcmpSocket::Preference)

namespace {

// Every wait is bounded: an echo finishes within its 1000 ms time-out.
constexpr int kOutcomeBoundMs = 5000;
constexpr int kCommandBoundMs = 10000;

constexpr quint32 ipv4(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return (quint32(a) << 24) | (quint32(b) << 16) | (quint32(c) << 8) | d;
}

// The lab: the test's namespace "host" joined by a veth pair to "peer".
//   host 198.18.7.1/24 --- peer 198.18.7.2/24
// The host reaches 198.18.9.0/24 and 198.18.10.0/24 through the peer, which
// refuses the first (an unreachable route) and has no route for the second;
// 198.18.8.0/24 is unreachable on the host itself; nothing routes 198.19.x;
// 198.18.7.250 is nobody. A third namespace "loop" sits behind the peer
// (198.18.12.1/30 --- 198.18.12.2/30), and the two send 198.18.11.0/24 to
// each other until the time to live runs out.
const quint32 kHostAddress = ipv4(198, 18, 7, 1);
const quint32 kPeerAddress = ipv4(198, 18, 7, 2);
const quint32 kUnusedAddress = ipv4(198, 18, 7, 250);
const quint32 kRefusedByPeer = ipv4(198, 18, 9, 5);
const quint32 kUnroutedAtPeer = ipv4(198, 18, 10, 5);
const quint32 kRefusedByHost = ipv4(198, 18, 8, 5);
const quint32 kNoRoute = ipv4(198, 19, 200, 1);
const quint32 kRoutingLoop = ipv4(198, 18, 11, 5);

struct CommandResult {
    bool ok = false;
    QString output;
};

CommandResult runCommand(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(kCommandBoundMs)) {
        process.kill();
        process.waitForFinished(kCommandBoundMs);
        return {false, program + QStringLiteral(" did not finish")};
    }
    const bool ok = process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    return {ok, QString::fromLocal8Bit(process.readAll())};
}

class NetworkLab {
public:
    NetworkLab()
        : m_host(QStringLiteral("vnping%1h").arg(::getpid()))
        , m_peer(QStringLiteral("vnping%1p").arg(::getpid()))
        , m_loop(QStringLiteral("vnping%1l").arg(::getpid()))
    {
    }
    ~NetworkLab() { tearDown(); }

    // Empty on success, otherwise why the lab could not be built.
    QString build()
    {
        const CommandResult added = ip({QStringLiteral("netns"), QStringLiteral("add"), m_host});
        if (!added.ok)
            return QStringLiteral("cannot create network namespaces: ") + added.output;
        m_created = true;
        const QList<QStringList> steps{
            {QStringLiteral("netns"), QStringLiteral("add"), m_peer},
            {QStringLiteral("netns"), QStringLiteral("add"), m_loop},
            {QStringLiteral("-n"), m_host, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("lo"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_peer, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("lo"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_host, QStringLiteral("link"), QStringLiteral("add"),
             QStringLiteral("vh"), QStringLiteral("type"), QStringLiteral("veth"),
             QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("vp"),
             QStringLiteral("netns"), m_peer},
            {QStringLiteral("-n"), m_host, QStringLiteral("addr"), QStringLiteral("add"),
             QStringLiteral("198.18.7.1/24"), QStringLiteral("dev"), QStringLiteral("vh")},
            {QStringLiteral("-n"), m_peer, QStringLiteral("addr"), QStringLiteral("add"),
             QStringLiteral("198.18.7.2/24"), QStringLiteral("dev"), QStringLiteral("vp")},
            {QStringLiteral("-n"), m_host, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("vh"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_peer, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("vp"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_host, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("198.18.9.0/24"), QStringLiteral("via"), QStringLiteral("198.18.7.2")},
            {QStringLiteral("-n"), m_host, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("198.18.10.0/24"), QStringLiteral("via"), QStringLiteral("198.18.7.2")},
            {QStringLiteral("-n"), m_host, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("unreachable"), QStringLiteral("198.18.8.0/24")},
            {QStringLiteral("-n"), m_peer, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("unreachable"), QStringLiteral("198.18.9.0/24")},
            // The unused address resolves to a MAC nobody has: requests go out
            // and vanish. Left to ARP, a failed resolution from an earlier
            // test would report it unreachable instead.
            {QStringLiteral("-n"), m_peer, QStringLiteral("link"), QStringLiteral("add"),
             QStringLiteral("vq"), QStringLiteral("type"), QStringLiteral("veth"),
             QStringLiteral("peer"), QStringLiteral("name"), QStringLiteral("vr"),
             QStringLiteral("netns"), m_loop},
            {QStringLiteral("-n"), m_peer, QStringLiteral("addr"), QStringLiteral("add"),
             QStringLiteral("198.18.12.1/30"), QStringLiteral("dev"), QStringLiteral("vq")},
            {QStringLiteral("-n"), m_loop, QStringLiteral("addr"), QStringLiteral("add"),
             QStringLiteral("198.18.12.2/30"), QStringLiteral("dev"), QStringLiteral("vr")},
            {QStringLiteral("-n"), m_peer, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("vq"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_loop, QStringLiteral("link"), QStringLiteral("set"),
             QStringLiteral("vr"), QStringLiteral("up")},
            {QStringLiteral("-n"), m_host, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("198.18.11.0/24"), QStringLiteral("via"), QStringLiteral("198.18.7.2")},
            {QStringLiteral("-n"), m_peer, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("198.18.11.0/24"), QStringLiteral("via"),
             QStringLiteral("198.18.12.2")},
            {QStringLiteral("-n"), m_loop, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("198.18.11.0/24"), QStringLiteral("via"),
             QStringLiteral("198.18.12.1")},
            {QStringLiteral("-n"), m_loop, QStringLiteral("route"), QStringLiteral("add"),
             QStringLiteral("198.18.7.0/24"), QStringLiteral("via"), QStringLiteral("198.18.12.1")},
            {QStringLiteral("-n"), m_host, QStringLiteral("neigh"), QStringLiteral("add"),
             QStringLiteral("198.18.7.250"), QStringLiteral("lladdr"),
             QStringLiteral("02:00:00:00:00:fa"), QStringLiteral("dev"), QStringLiteral("vh"),
             QStringLiteral("nud"), QStringLiteral("permanent")},
        };
        for (const QStringList& step : steps) {
            const CommandResult result = ip(step);
            if (!result.ok)
                return QStringLiteral("ip %1: %2").arg(step.join(QLatin1Char(' ')), result.output);
        }
        const QList<QStringList> settings{
            {m_host, QStringLiteral("net.ipv4.ping_group_range=0 2147483647")},
            {m_peer, QStringLiteral("net.ipv4.ip_forward=1")},
            {m_peer, QStringLiteral("net.ipv4.icmp_ratelimit=0")},
            {m_loop, QStringLiteral("net.ipv4.ip_forward=1")},
            {m_loop, QStringLiteral("net.ipv4.icmp_ratelimit=0")},
        };
        for (const QStringList& setting : settings) {
            const CommandResult result =
                ip({QStringLiteral("netns"), QStringLiteral("exec"), setting[0],
                    QStringLiteral("sysctl"), QStringLiteral("-qw"), setting[1]});
            if (!result.ok)
                return QStringLiteral("sysctl %1: %2").arg(setting[1], result.output);
        }
        return QString();
    }

    void tearDown()
    {
        if (!m_created)
            return;
        ip({QStringLiteral("netns"), QStringLiteral("del"), m_host});
        ip({QStringLiteral("netns"), QStringLiteral("del"), m_peer});
        ip({QStringLiteral("netns"), QStringLiteral("del"), m_loop});
        m_created = false;
    }

    QString host() const { return m_host; }
    QString peer() const { return m_peer; }

    // How many echo requests the peer has received so far.
    int peerEchoRequests() const
    {
        const CommandResult result = ip({QStringLiteral("netns"), QStringLiteral("exec"), m_peer,
                                         QStringLiteral("cat"), QStringLiteral("/proc/net/snmp")});
        const QStringList lines = result.output.split(QLatin1Char('\n'));
        for (int i = 0; i + 1 < lines.size(); ++i) {
            if (!lines[i].startsWith(QStringLiteral("Icmp:")) ||
                !lines[i + 1].startsWith(QStringLiteral("Icmp:")))
                continue;
            const QStringList names = lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const QStringList values = lines[i + 1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
            const qsizetype column = names.indexOf(QLatin1String("InEchos"));
            if (column > 0 && column < values.size())
                return values[column].toInt();
        }
        return -1;
    }

private:
    static CommandResult ip(const QStringList& arguments)
    {
        return runCommand(QStringLiteral("ip"), arguments);
    }

    QString m_host;
    QString m_peer;
    QString m_loop;
    bool m_created = false;
};

// Moves the calling thread into a named network namespace and back.
class NamespaceSwitch {
public:
    NamespaceSwitch()
        : m_original(::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC))
    {
    }
    ~NamespaceSwitch()
    {
        leave();
        if (m_original >= 0)
            ::close(m_original);
    }

    bool enter(const QString& name)
    {
        const QByteArray path = QByteArray("/var/run/netns/") + name.toLocal8Bit();
        const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        const bool entered = ::setns(fd, CLONE_NEWNET) == 0;
        ::close(fd);
        return entered;
    }
    void leave()
    {
        if (m_original >= 0)
            ::setns(m_original, CLONE_NEWNET);
    }

private:
    int m_original;
};

// Sends hand-made IPv4 packets from inside the peer namespace, so that
// answers can be forged with any source address.
class Forger {
public:
    explicit Forger(const QString& peerNamespace)
    {
        NamespaceSwitch inPeer;
        if (!inPeer.enter(peerNamespace))
            return;
        m_fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    }
    ~Forger()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool isReady() const { return m_fd >= 0; }

    bool send(quint32 source, quint32 destination, const QByteArray& icmp)
    {
        QByteArray packet(20, '\0');
        packet[0] = char(0x45);
        packet[8] = char(64);
        packet[9] = char(1);
        const quint32 sourceNet = htonl(source);
        const quint32 destinationNet = htonl(destination);
        memcpy(packet.data() + 12, &sourceNet, 4);
        memcpy(packet.data() + 16, &destinationNet, 4);
        packet += icmp;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = destinationNet;
        return ::sendto(m_fd, packet.constData(), packet.size(), 0,
                        reinterpret_cast<const sockaddr*>(&to), sizeof to) == packet.size();
    }

private:
    int m_fd = -1;
};

QByteArray icmpMessage(quint8 type, quint16 id, quint16 seq, const QByteArray& payload)
{
    QByteArray icmp = IcmpPacket::echoRequest(id, seq).left(IcmpPacket::kHeaderSize) + payload;
    icmp[0] = char(type);
    icmp[2] = icmp[3] = 0;
    const quint16 sum = IcmpPacket::internetChecksum(icmp);
    icmp[2] = char(sum >> 8);
    icmp[3] = char(sum & 0xFF);
    return icmp;
}

timespec timeOfUs(qint64 us)
{
    return timespec{static_cast<time_t>(us / 1'000'000), static_cast<long>(us % 1'000'000 * 1000)};
}

// A line "CapEff:" or "CapPrm:" of /proc/self/status, read with system calls
// only (it runs in a forked child); all ones when it cannot be read.
unsigned long long capabilityLine(const char* name)
{
    char text[4096] = {};
    const int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return ~0ULL;
    const ssize_t length = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    const char* line = length > 0 ? std::strstr(text, name) : nullptr;
    return line ? std::strtoull(line + std::strlen(name), nullptr, 16) : ~0ULL;
}

// How a forked child that settled the route as an installed program would
// ended: by the exit code.
enum ChildVerdict {
    DroppedAndKept = 0,
    CouldNotPrepare = 1,
    NoSocket = 2,
    StillEffective = 3,
    StillPermitted = 4,
    CanOpenAnother = 5,
};

// The state `setcap cap_net_raw+p` gives an installed program: CAP_NET_RAW
// permitted but not effective. Then the route is settled for a raw socket.
int settleAsInstalledProgram()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return CouldNotPrepare;
    data[0].effective &= ~(1U << CAP_NET_RAW);
    data[0].permitted |= 1U << CAP_NET_RAW;
    if (::syscall(SYS_capset, &header, data) != 0 || ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) >= 0)
        return CouldNotPrepare;
    LinuxNetRawCapability capability;
    const int fd = LinuxIcmpSocket::settleRoute(capability, Preference::RawOnly);
    const unsigned long long netRaw = 1ULL << CAP_NET_RAW;
    if (fd < 0)
        return NoSocket;
    if (capabilityLine("CapEff:") & netRaw)
        return StillEffective;
    if (capabilityLine("CapPrm:") & netRaw)
        return StillPermitted;
    if (capability.raise() || ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) >= 0)
        return CanOpenAnother;
    return DroppedAndKept;
}

int socketType(int fd)
{
    int type = -1;
    socklen_t length = sizeof type;
    ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &length);
    return type;
}

struct Outcome {
    bool finished = false;
    qint32 status = 0;
    quint32 roundTripMs = 0;
};

Outcome awaitOutcome(QSignalSpy& spy)
{
    if (spy.isEmpty() && !spy.wait(kOutcomeBoundMs))
        return {};
    return {true, spy.first().at(0).value<qint32>(), spy.first().at(1).value<quint32>()};
}

void addKinds()
{
    QTest::addColumn<Preference>("preference");
    QTest::newRow("datagram") << Preference::DatagramOnly;
    QTest::newRow("raw") << Preference::RawOnly;
}

QString kindName(Preference preference)
{
    return preference == Preference::DatagramOnly ? QStringLiteral("a datagram ICMP socket")
                                                  : QStringLiteral("a raw ICMP socket");
}

} // namespace

class LinuxIcmpSocketTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (::geteuid() != 0) {
            m_labProblem = QStringLiteral("the namespace tests need root");
            return;
        }
        m_labProblem = m_lab.build();
        if (m_labProblem.isEmpty() && !m_inHost.enter(m_lab.host()))
            m_labProblem = QStringLiteral("cannot enter the test namespace");
    }
    void cleanup() { m_sockets.clear(); }
    void cleanupTestCase()
    {
        m_inHost.leave();
        m_lab.tearDown();
    }

    void loopbackAnswers_data()
    {
        QTest::addColumn<Preference>("preference");
        QTest::addColumn<int>("busyMs");
        QTest::newRow("automatic") << Preference::Automatic << 0;
        QTest::newRow("datagram") << Preference::DatagramOnly << 0;
        QTest::newRow("raw") << Preference::RawOnly << 0;
        // The window is busy for a while before it reads the answer: the
        // round trip still ends when the kernel received it.
        QTest::newRow("datagram, busy window") << Preference::DatagramOnly << 400;
        QTest::newRow("raw, busy window") << Preference::RawOnly << 400;
    }
    void loopbackAnswers()
    {
        QFETCH(Preference, preference);
        QFETCH(int, busyMs);
        // In the namespace the test was started in; a socket keeps the
        // namespace it was made in. The busy rows use the lab's, which
        // allows both kinds, when there is one.
        const bool inLab = busyMs > 0 && m_labProblem.isEmpty();
        if (!inLab)
            m_inHost.leave();
        QtTimerFactory timers;
        LinuxIcmpSocket socket(timers, preference);
        const bool opened = socket.open();
        if (m_labProblem.isEmpty())
            m_inHost.enter(m_lab.host());
        if (!opened)
            QSKIP("this process may open no ICMP socket of this kind: grant ping rights with "
                  "net.ipv4.ping_group_range or CAP_NET_RAW");
        QSignalSpy spy(&socket, &IcmpSocket::echoFinished);
        QVERIFY(socket.sendEcho(ipv4(127, 0, 0, 1)));
        QVERIFY(spy.isEmpty()); // never reported from within the call
        QThread::msleep(busyMs);
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, echo_status::Success);
        QVERIFY(!socket.isEchoPending());
        if (busyMs > 0)
            QVERIFY2(outcome.roundTripMs < quint32(busyMs),
                     qPrintable(QStringLiteral("%1 ms").arg(outcome.roundTripMs)));
    }

    void roundTripCountsWholeMillisecondsElapsed_data()
    {
        QTest::addColumn<qint64>("sentAtUs");
        QTest::addColumn<qint64>("answeredAtUs");
        QTest::addColumn<quint32>("roundTripMs");
        // Across a millisecond boundary of the clock, yet under 1 ms.
        QTest::newRow("within the first ms") << qint64(999'800) << qint64(1'000'300) << 0U;
        QTest::newRow("just under 1 ms") << qint64(5'000'001) << qint64(5'001'000) << 0U;
        QTest::newRow("exactly 1 ms") << qint64(5'000'400) << qint64(5'001'400) << 1U;
        QTest::newRow("1.9 ms") << qint64(7'000'900) << qint64(7'002'800) << 1U;
        QTest::newRow("slow") << qint64(1'000'000) << qint64(1'873'999) << 873U;
    }
    void roundTripCountsWholeMillisecondsElapsed()
    {
        QFETCH(qint64, sentAtUs);
        QFETCH(qint64, answeredAtUs);
        QFETCH(quint32, roundTripMs);
        QCOMPARE(LinuxIcmpSocket::roundTripMs(timeOfUs(sentAtUs), timeOfUs(answeredAtUs)),
                 roundTripMs);
    }

    // How the program settles its ICMP route at start-up. With a fake
    // capability the test process keeps its own rights; the real one runs
    // in a forked child, which checks in /proc/self/status that the right is
    // gone.
    void settlingTheRouteGivesUpNetRaw_data()
    {
        QTest::addColumn<Preference>("preference");
        QTest::addColumn<bool>("realCapability");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("keptSocketType");
        // The lab's namespace allows the datagram socket: nothing is raised.
        QTest::newRow("datagram allowed")
            << Preference::Automatic << false << QStringList{QStringLiteral("drop")} << -1;
        QTest::newRow("raw route")
            << Preference::RawOnly << false
            << QStringList{QStringLiteral("raise"), QStringLiteral("drop")} << int(SOCK_RAW);
        QTest::newRow("raw route, installed with cap_net_raw+p")
            << Preference::RawOnly << true << QStringList() << int(SOCK_RAW);
    }
    void settlingTheRouteGivesUpNetRaw()
    {
        QFETCH(Preference, preference);
        QFETCH(bool, realCapability);
        QFETCH(QStringList, calls);
        QFETCH(int, keptSocketType);
        if (!m_labProblem.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no test network: ") + m_labProblem));
        if (realCapability) {
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0)
                ::_exit(settleAsInstalledProgram());
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), int(DroppedAndKept));
            return;
        }
        FakeNetRawCapability capability;
        const int fd = LinuxIcmpSocket::settleRoute(capability, preference);
        QCOMPARE(capability.calls, calls);
        QCOMPARE(fd >= 0 ? socketType(fd) : -1, keptSocketType);
        if (fd < 0)
            return;
        // The kept socket is the one every ping goes through, and closing
        // the socket layer keeps it.
        LinuxIcmpSocket socket(m_timers);
        socket.keepRawSocket(fd);
        for (int echo = 0; echo < 2; ++echo) {
            QVERIFY(socket.open());
            QCOMPARE(socket.kind(), LinuxIcmpSocket::Kind::Raw);
            QSignalSpy spy(&socket, &IcmpSocket::echoFinished);
            QVERIFY(socket.sendEcho(kPeerAddress));
            QCOMPARE(awaitOutcome(spy).status, echo_status::Success);
            socket.close();
            QCOMPARE(socketType(fd), int(SOCK_RAW));
        }
    }

    void livePeerAnswersOneEcho_data() { addKinds(); }
    void livePeerAnswersOneEcho()
    {
        QFETCH(Preference, preference);
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        const int before = m_lab.peerEchoRequests();
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kPeerAddress));
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, echo_status::Success);
        QVERIFY(outcome.roundTripMs < LinuxIcmpSocket::kTimeoutMs);
        QCOMPARE(m_lab.peerEchoRequests() - before, 1);
        QCOMPARE(spy.size(), 1);
    }

    void outcomeOfUnansweredEcho_data()
    {
        QTest::addColumn<Preference>("preference");
        QTest::addColumn<quint32>("destination");
        QTest::addColumn<qint32>("status");
        for (const Preference preference : {Preference::DatagramOnly, Preference::RawOnly}) {
            const char* kind = preference == Preference::DatagramOnly ? "datagram" : "raw";
            QTest::addRow("%s: nobody there", kind)
                << preference << kUnusedAddress << echo_status::RequestTimedOut;
            QTest::addRow("%s: no route", kind)
                << preference << kNoRoute << echo_status::DestinationNetUnreachable;
            QTest::addRow("%s: unreachable here", kind)
                << preference << kRefusedByHost << echo_status::DestinationHostUnreachable;
            QTest::addRow("%s: router reports host unreachable", kind)
                << preference << kRefusedByPeer << echo_status::DestinationHostUnreachable;
            QTest::addRow("%s: router reports net unreachable", kind)
                << preference << kUnroutedAtPeer << echo_status::DestinationNetUnreachable;
            QTest::addRow("%s: routing loop", kind)
                << preference << kRoutingLoop << echo_status::TtlExpiredTransit;
        }
    }
    void outcomeOfUnansweredEcho()
    {
        QFETCH(Preference, preference);
        QFETCH(quint32, destination);
        QFETCH(qint32, status);
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(destination));
        QVERIFY(spy.isEmpty());
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, status);
        QCOMPARE(outcome.roundTripMs, 0U);
        QCOMPARE(spy.size(), 1);
    }

    void forgedAnswerIsNotTaken_data()
    {
        QTest::addColumn<Preference>("preference");
        QTest::addColumn<QString>("forgery");
        QTest::addColumn<qint32>("status");
        for (const Preference preference : {Preference::DatagramOnly, Preference::RawOnly}) {
            const char* kind = preference == Preference::DatagramOnly ? "datagram" : "raw";
            // The control: a faithful answer is taken, so the forgeries below
            // do reach the socket.
            QTest::addRow("%s: faithful", kind) << preference << "faithful" << echo_status::Success;
            for (const char* forgery : {"other identifier", "earlier sequence", "other payload",
                                        "other source", "request instead of reply", "bad checksum"})
                QTest::addRow("%s: %s", kind, forgery)
                    << preference << forgery << echo_status::RequestTimedOut;
        }
    }
    void forgedAnswerIsNotTaken()
    {
        QFETCH(Preference, preference);
        QFETCH(QString, forgery);
        QFETCH(qint32, status);
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        Forger forger(m_lab.peer());
        QVERIFY2(forger.isReady(), "cannot open a raw socket in the peer namespace");
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kUnusedAddress));
        quint16 id = socket->identifier();
        quint16 seq = socket->sequence();
        QByteArray payload = IcmpPacket::echoPayload();
        quint32 source = kUnusedAddress;
        quint8 type = IcmpPacket::kEchoReply;
        if (forgery == QStringLiteral("other identifier"))
            id = quint16(id + 1);
        else if (forgery == QStringLiteral("earlier sequence"))
            seq = quint16(seq - 1);
        else if (forgery == QStringLiteral("other payload"))
            payload = "hellp";
        else if (forgery == QStringLiteral("other source"))
            source = kPeerAddress;
        else if (forgery == QStringLiteral("request instead of reply"))
            type = IcmpPacket::kEchoRequest;
        QByteArray icmp = icmpMessage(type, id, seq, payload);
        if (forgery == QStringLiteral("bad checksum"))
            icmp[3] = char(icmp[3] ^ 0x01);
        QVERIFY(forger.send(source, kHostAddress, icmp));
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, status);
    }

    void otherPingerDoesNotSatisfyOurs_data() { addKinds(); }
    void otherPingerDoesNotSatisfyOurs()
    {
        QFETCH(Preference, preference);
        LinuxIcmpSocket* ours = openInLab(preference);
        LinuxIcmpSocket* theirs = openInLab(preference);
        if (!ours || !theirs)
            return;
        QSignalSpy ourSpy(ours, &IcmpSocket::echoFinished);
        QSignalSpy theirSpy(theirs, &IcmpSocket::echoFinished);
        QVERIFY(ours->sendEcho(kUnusedAddress));
        QVERIFY(theirs->sendEcho(kPeerAddress));
        const Outcome theirOutcome = awaitOutcome(theirSpy);
        QVERIFY(theirOutcome.finished);
        QCOMPARE(theirOutcome.status, echo_status::Success);
        const Outcome ourOutcome = awaitOutcome(ourSpy);
        QVERIFY(ourOutcome.finished);
        QCOMPARE(ourOutcome.status, echo_status::RequestTimedOut);
    }

    void secondEchoWhileOneIsOutIsRefused_data() { addKinds(); }
    void secondEchoWhileOneIsOutIsRefused()
    {
        QFETCH(Preference, preference);
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kUnusedAddress));
        QVERIFY(!socket->sendEcho(kPeerAddress));
        const Outcome outcome = awaitOutcome(spy);
        QCOMPARE(outcome.status, echo_status::RequestTimedOut);
        QCOMPARE(spy.size(), 1);
    }

    void closingAbandonsTheEcho_data() { addKinds(); }
    void closingAbandonsTheEcho()
    {
        QFETCH(Preference, preference);
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kPeerAddress));
        socket->close();
        QVERIFY(!socket->sendEcho(kPeerAddress));
        QVERIFY(!spy.wait(LinuxIcmpSocket::kTimeoutMs + 500));
        // Open again, and the next echo is answered on its own.
        QVERIFY(socket->open());
        QVERIFY(socket->sendEcho(kPeerAddress));
        QCOMPARE(awaitOutcome(spy).status, echo_status::Success);
        QCOMPARE(spy.size(), 1);
    }

    void closingWithinTheReportOpensCleanly_data() { addKinds(); }
    void closingWithinTheReportOpensCleanly()
    {
        // As the ping test does it: close the socket in the report of one
        // echo, open it again and send the next.
        QFETCH(Preference, preference);
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        QList<qint32> statuses;
        connect(socket, &IcmpSocket::echoFinished, socket, [&, socket](qint32 status) {
            statuses << status;
            socket->close();
            if (statuses.size() < 3 && socket->open())
                socket->sendEcho(kPeerAddress);
        });
        QVERIFY(socket->sendEcho(kPeerAddress));
        QTRY_COMPARE_WITH_TIMEOUT(statuses.size(), 3, kOutcomeBoundMs);
        QCOMPARE(statuses, (QList<qint32>{0, 0, 0}));
    }

private:
    // A socket of the kind, opened in the lab's host namespace; skips the
    // test when the lab or the kind is not available.
    LinuxIcmpSocket* openInLab(Preference preference)
    {
        if (!m_labProblem.isEmpty()) {
            QTest::qSkip(qPrintable(QStringLiteral("no test network: ") + m_labProblem), __FILE__,
                         __LINE__);
            return nullptr;
        }
        auto socket = std::make_unique<LinuxIcmpSocket>(m_timers, preference);
        if (!socket->open()) {
            QTest::qSkip(qPrintable(QStringLiteral("cannot open ") + kindName(preference)),
                         __FILE__, __LINE__);
            return nullptr;
        }
        m_sockets.push_back(std::move(socket));
        return m_sockets.back().get();
    }

    NetworkLab m_lab;
    NamespaceSwitch m_inHost;
    QString m_labProblem;
    QtTimerFactory m_timers;
    std::vector<std::unique_ptr<LinuxIcmpSocket>> m_sockets;
};

QTEST_MAIN(LinuxIcmpSocketTest)
#include "tst_LinuxIcmpSocket.moc"
