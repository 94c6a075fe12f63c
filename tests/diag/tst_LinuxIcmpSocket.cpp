#include <QtTest>

#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <QtEndian>

#include <arpa/inet.h>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/capability.h>
#include <optional>
#include <sched.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "FakeNetRawCapability.h"
#include "TableColumns.h"
#include "platform/IcmpPacket.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNetRawCapability.h"
#include "platform/QtTimer.h"

using namespace nms;
using nms::test::FakeNetRawCapability;
using nms::test::TableColumns;
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

// The lab: the test's namespace H joined by a veth pair to P.
//   H 198.18.7.1/24 --- P 198.18.7.2/24
// H reaches 198.18.9.0/24 and 198.18.10.0/24 through P, which refuses the
// first (an unreachable route) and has no route for the second;
// 198.18.8.0/24 is unreachable on H itself; nothing routes 198.19.x;
// 198.18.7.250 resolves to a MAC nobody has, so requests vanish (left to ARP,
// a failed resolution from an earlier test would report it unreachable).
// A third namespace L sits behind P (198.18.12.1/30 --- 198.18.12.2/30), and
// the two send 198.18.11.0/24 to each other until the time to live runs out.
const quint32 kHostAddress = ipv4(198, 18, 7, 1);
const quint32 kPeerAddress = ipv4(198, 18, 7, 2);
const quint32 kUnusedAddress = ipv4(198, 18, 7, 250);

// Calls of `ip`, split at ";" and then at blanks; "~" is a blank inside one.
const char* const kLabSteps[] = {
    "netns add P; netns add L; -n H link set lo up; -n P link set lo up",
    "-n H link add vh type veth peer name vp netns P; -n P link add vq type veth peer name vr "
    "netns L",
    "-n H addr add 198.18.7.1/24 dev vh; -n P addr add 198.18.7.2/24 dev vp",
    "-n P addr add 198.18.12.1/30 dev vq; -n L addr add 198.18.12.2/30 dev vr",
    "-n H link set vh up; -n P link set vp up; -n P link set vq up; -n L link set vr up",
    "-n H route add 198.18.9.0/24 via 198.18.7.2; -n H route add 198.18.10.0/24 via 198.18.7.2",
    "-n H route add unreachable 198.18.8.0/24; -n P route add unreachable 198.18.9.0/24",
    "-n H route add 198.18.11.0/24 via 198.18.7.2; -n P route add 198.18.11.0/24 via 198.18.12.2",
    "-n L route add 198.18.11.0/24 via 198.18.12.1; -n L route add 198.18.7.0/24 via 198.18.12.1",
    "-n H neigh add 198.18.7.250 lladdr 02:00:00:00:00:fa dev vh nud permanent",
    "netns exec H sysctl -qw net.ipv4.ping_group_range=0~2147483647",
    "netns exec P sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratelimit=0",
    "netns exec L sysctl -qw net.ipv4.ip_forward=1 net.ipv4.icmp_ratelimit=0",
};

QString namespaceName(char role)
{
    return QStringLiteral("vnping%1%2").arg(::getpid()).arg(QLatin1Char(role));
}

// Runs `ip` with the step's arguments, H, P and L standing for the
// namespaces. The output if it succeeded, else nothing.
std::optional<QString> ip(const QString& step)
{
    QStringList arguments = step.split(QLatin1Char(' '));
    for (QString& argument : arguments) {
        if (argument.size() == 1 && QStringLiteral("HPL").contains(argument))
            argument = namespaceName(argument[0].toLower().toLatin1());
        argument.replace(QLatin1Char('~'), QLatin1Char(' '));
    }
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("ip"), arguments);
    if (!process.waitForFinished(kCommandBoundMs)) {
        process.kill();
        process.waitForFinished(kCommandBoundMs);
        return std::nullopt;
    }
    const QString output = QString::fromLocal8Bit(process.readAll());
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning().noquote() << QStringLiteral("ip") << arguments << output;
        return std::nullopt;
    }
    return output;
}

class NetworkLab {
public:
    ~NetworkLab() { tearDown(); }

    // Empty on success, otherwise why the lab could not be built.
    QString build()
    {
        if (!ip(QStringLiteral("netns add H")))
            return QStringLiteral("cannot create network namespaces");
        m_created = true;
        for (const char* line : kLabSteps) {
            for (const QString& step : QString::fromLatin1(line).split(QStringLiteral("; "))) {
                if (!ip(step))
                    return QStringLiteral("failed: ip ") + step;
            }
        }
        return QString();
    }

    void tearDown()
    {
        if (std::exchange(m_created, false))
            for (const char* step : {"netns del H", "netns del P", "netns del L"})
                ip(QLatin1String(step));
    }

    QString host() const { return namespaceName('h'); }
    QString peer() const { return namespaceName('p'); }

    // How many echo requests the peer has received so far.
    int peerEchoRequests() const
    {
        const QStringList fields = ip(QStringLiteral("netns exec P nstat -asz IcmpInEchos"))
                                       .value_or(QString())
                                       .split(QRegularExpression(QStringLiteral("\\s+")));
        const qsizetype name = fields.indexOf(QStringLiteral("IcmpInEchos"));
        return name >= 0 && name + 1 < fields.size() ? fields[name + 1].toInt() : -1;
    }

private:
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
        const bool entered = fd >= 0 && ::setns(fd, CLONE_NEWNET) == 0;
        if (fd >= 0)
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

// Sends a hand-made IPv4 packet from inside the peer namespace, so that an
// answer can be forged with any source address. False if it could not.
bool forge(const QString& peerNamespace, quint32 source, const QByteArray& icmp)
{
    NamespaceSwitch inPeer;
    if (!inPeer.enter(peerNamespace))
        return false;
    const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    inPeer.leave();
    if (fd < 0)
        return false;
    // Version 4, 20-byte header, time to live 64, ICMP.
    QByteArray packet = QByteArray::fromHex("4500000000000000400100000000000000000000") + icmp;
    qToBigEndian(source, packet.data() + 12);
    qToBigEndian(kHostAddress, packet.data() + 16);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(kHostAddress);
    const bool sent = ::sendto(fd, packet.constData(), packet.size(), 0,
                               reinterpret_cast<const sockaddr*>(&to), sizeof to) == packet.size();
    ::close(fd);
    return sent;
}

QByteArray icmpMessage(quint8 type, quint16 id, quint16 seq, const QByteArray& payload)
{
    QByteArray icmp = IcmpPacket::echoRequest(id, seq).left(IcmpPacket::kHeaderSize) + payload;
    icmp[0] = char(type);
    qToBigEndian(quint16(0), icmp.data() + 2);
    qToBigEndian(IcmpPacket::internetChecksum(icmp), icmp.data() + 2);
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

// The state `setcap cap_net_raw+p` gives an installed program: CAP_NET_RAW
// permitted but not effective. Then the route is settled for a raw socket.
// The exit code of the forked child that does it: 0 when the socket is kept
// and the right is gone for good, 1 when the state could not be made.
int settleAsInstalledProgram()
{
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3]{};
    if (::syscall(SYS_capget, &header, data) != 0)
        return 1;
    data[0].effective &= ~(1U << CAP_NET_RAW);
    data[0].permitted |= 1U << CAP_NET_RAW;
    if (::syscall(SYS_capset, &header, data) != 0 || ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) >= 0)
        return 1;
    LinuxNetRawCapability capability;
    const int fd = LinuxIcmpSocket::settleRoute(capability, Preference::RawOnly);
    const unsigned long long netRaw = 1ULL << CAP_NET_RAW;
    if (fd < 0)
        return 2;
    if ((capabilityLine("CapEff:") | capabilityLine("CapPrm:")) & netRaw)
        return 3;
    return capability.raise() || ::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP) >= 0 ? 4 : 0;
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

// The socket's kind and what the echo comes to.
using OutcomeColumns = TableColumns<Preference, quint32, qint32>;
using ForgeryColumns = TableColumns<Preference, QString, qint32>;

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
        TableColumns<Preference, int>::add(); // kind, milliseconds the window is busy
        QTest::newRow("automatic") << Preference::Automatic << 0;
        // The window is busy for a while before it reads the answer: the
        // round trip still ends when the kernel received it.
        QTest::newRow("datagram, busy window") << Preference::DatagramOnly << 400;
        QTest::newRow("raw, busy window") << Preference::RawOnly << 400;
    }
    void loopbackAnswers()
    {
        const auto [preference, busyMs] = TableColumns<Preference, int>::fetch();
        // A socket keeps the namespace it was made in: the test's own, or for
        // the busy rows the lab's, which allows both kinds, when there is one.
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
        TableColumns<qint64, qint64, quint32>::add(); // sent and answered at (us), round trip
        // Across a millisecond boundary of the clock, yet under 1 ms.
        QTest::newRow("within the first ms") << qint64(999'800) << qint64(1'000'300) << 0U;
        QTest::newRow("exactly 1 ms") << qint64(5'000'400) << qint64(5'001'400) << 1U;
        QTest::newRow("1.9 ms") << qint64(7'000'900) << qint64(7'002'800) << 1U;
    }
    void roundTripCountsWholeMillisecondsElapsed()
    {
        const auto [sentAtUs, answeredAtUs, roundTripMs] =
            TableColumns<qint64, qint64, quint32>::fetch();
        QCOMPARE(LinuxIcmpSocket::roundTripMs(timeOfUs(sentAtUs), timeOfUs(answeredAtUs)),
                 roundTripMs);
    }

    // With a fake capability the test process keeps its own rights; the real
    // one runs in a forked child, which checks in /proc/self/status that the
    // right is gone.
    void settlingTheRouteGivesUpNetRaw_data()
    {
        // Kind, the real capability (else a fake), its calls, the kept socket's type.
        TableColumns<Preference, bool, QStringList, int>::add();
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
        const auto [preference, realCapability, calls, keptSocketType] =
            TableColumns<Preference, bool, QStringList, int>::fetch();
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
            QCOMPARE(WEXITSTATUS(status), 0);
            return;
        }
        FakeNetRawCapability capability;
        const int fd = LinuxIcmpSocket::settleRoute(capability, preference);
        QCOMPARE(capability.calls, calls);
        QCOMPARE(fd >= 0 ? socketType(fd) : -1, keptSocketType);
        if (fd < 0)
            return;
        // Every ping goes through the kept socket, and closing keeps it.
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

    void outcomeOfEcho_data()
    {
        OutcomeColumns::add();
        for (const Preference preference : {Preference::DatagramOnly, Preference::RawOnly}) {
            const char* kind = preference == Preference::DatagramOnly ? "datagram" : "raw";
            const auto row = [&](const char* name, quint32 destination, qint32 status) {
                QTest::addRow("%s: %s", kind, name) << preference << destination << status;
            };
            row("live peer", kPeerAddress, echo_status::Success);
            row("nobody there", kUnusedAddress, echo_status::RequestTimedOut);
            row("no route", ipv4(198, 19, 200, 1), echo_status::DestinationNetUnreachable);
            row("unreachable here", ipv4(198, 18, 8, 5), echo_status::DestinationHostUnreachable);
            row("router: host unreachable", ipv4(198, 18, 9, 5),
                echo_status::DestinationHostUnreachable);
            row("router: net unreachable", ipv4(198, 18, 10, 5),
                echo_status::DestinationNetUnreachable);
            row("routing loop", ipv4(198, 18, 11, 5), echo_status::TtlExpiredTransit);
        }
    }
    void outcomeOfEcho()
    {
        const auto [preference, destination, status] = OutcomeColumns::fetch();
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        const int before = m_lab.peerEchoRequests();
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(destination));
        QVERIFY(spy.isEmpty());
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, status);
        QVERIFY(status == echo_status::Success ? outcome.roundTripMs < LinuxIcmpSocket::kTimeoutMs
                                               : outcome.roundTripMs == 0);
        QCOMPARE(m_lab.peerEchoRequests() - before, destination == kPeerAddress ? 1 : 0);
        QCOMPARE(spy.size(), 1);
    }

    void forgedAnswerIsNotTaken_data()
    {
        ForgeryColumns::add();
        for (const Preference preference : {Preference::DatagramOnly, Preference::RawOnly}) {
            const char* kind = preference == Preference::DatagramOnly ? "datagram" : "raw";
            // The control: a faithful answer is taken, so the forgeries do
            // reach the socket.
            QTest::addRow("%s: faithful", kind) << preference << "faithful" << echo_status::Success;
            for (const char* forgery : {"other identifier", "earlier sequence", "other payload",
                                        "other source", "request instead of reply", "bad checksum"})
                QTest::addRow("%s: %s", kind, forgery)
                    << preference << forgery << echo_status::RequestTimedOut;
        }
    }
    void forgedAnswerIsNotTaken()
    {
        const auto [preference, forgery, status] = ForgeryColumns::fetch();
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        const auto is = [&](const char* name) { return forgery == QLatin1String(name); };
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kUnusedAddress));
        QByteArray icmp = icmpMessage(
            is("request instead of reply") ? IcmpPacket::kEchoRequest : IcmpPacket::kEchoReply,
            quint16(socket->identifier() + is("other identifier")),
            quint16(socket->sequence() - is("earlier sequence")),
            is("other payload") ? QByteArray("hellp") : IcmpPacket::echoPayload());
        icmp[3] = char(icmp[3] ^ is("bad checksum"));
        QVERIFY2(forge(m_lab.peer(), is("other source") ? kPeerAddress : kUnusedAddress, icmp),
                 "cannot send a raw packet from the peer namespace");
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, status);
    }

    // One echo at a time: a second one meanwhile is refused, and closing
    // abandons the one out without a report. Then, as the ping test does it,
    // the socket is closed in the report of one echo and opened again for the
    // next.
    void closingAbandonsTheEcho_data()
    {
        TableColumns<Preference>::add();
        QTest::newRow("datagram") << Preference::DatagramOnly;
        QTest::newRow("raw") << Preference::RawOnly;
    }
    void closingAbandonsTheEcho()
    {
        const auto [preference] = TableColumns<Preference>::fetch();
        LinuxIcmpSocket* socket = openInLab(preference);
        if (!socket)
            return;
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kPeerAddress));
        QVERIFY(!socket->sendEcho(kPeerAddress));
        socket->close();
        QVERIFY(!socket->sendEcho(kPeerAddress));
        QVERIFY(!spy.wait(LinuxIcmpSocket::kTimeoutMs + 500));
        QList<qint32> statuses;
        connect(socket, &IcmpSocket::echoFinished, socket, [&, socket](qint32 status) {
            statuses << status;
            socket->close();
            if (statuses.size() < 3 && socket->open())
                socket->sendEcho(kPeerAddress);
        });
        QVERIFY(socket->open());
        QVERIFY(socket->sendEcho(kPeerAddress));
        QTRY_COMPARE_WITH_TIMEOUT(statuses.size(), 3, kOutcomeBoundMs);
        QCOMPARE(statuses, (QList<qint32>{0, 0, 0}));
        QCOMPARE(spy.size(), 3);
    }

private:
    // A socket of the kind, opened in the lab's host namespace; skips the
    // test when the lab or the kind is not available.
    LinuxIcmpSocket* openInLab(Preference preference)
    {
        auto socket = std::make_unique<LinuxIcmpSocket>(m_timers, preference);
        const QString problem =
            !m_labProblem.isEmpty() ? QStringLiteral("no test network: ") + m_labProblem
            : !socket->open()       ? QStringLiteral("cannot open this kind of ICMP socket")
                                    : QString();
        if (!problem.isEmpty()) {
            QTest::qSkip(qPrintable(problem), __FILE__, __LINE__);
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
