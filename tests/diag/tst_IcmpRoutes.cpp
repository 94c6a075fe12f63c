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
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "ManualTimer.h"
#include "TableColumns.h"
#include "platform/EchoWire.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpHelpers.h"
#include "platform/IcmpPacket.h"
#include "platform/IcmpRoute.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/QtTimer.h"

using namespace nms;
using nms::test::ManualTimerFactory;
using nms::test::TableColumns;

// The two ways this program pings: the unprivileged datagram socket, and the
// ICMP helper with its raw socket.
enum class Route { Datagram, Helper };
Q_DECLARE_METATYPE(Route)

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
    QByteArray icmp =
        QByteArray::fromStdString(IcmpPacket::echoRequest(id, seq)).left(IcmpPacket::kHeaderSize) +
        payload;
    icmp[0] = char(type);
    qToBigEndian(quint16(0), icmp.data() + 2);
    qToBigEndian(IcmpPacket::internetChecksum(icmp.toStdString()), icmp.data() + 2);
    return icmp;
}

QString helperPath()
{
    return qEnvironmentVariable("NMS_BUILD_DIR") + QStringLiteral("/veltrino-nms-icmp");
}

const char* routeName(Route route)
{
    return route == Route::Datagram ? "datagram" : "helper";
}

// The helper started by hand on packet pipes, as the programs start it.
class HelperPipes {
public:
    ~HelperPipes()
    {
        for (const int fd : {m_requests, m_answers})
            if (fd >= 0)
                ::close(fd);
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool start()
    {
        int requests[2];
        int answers[2];
        if (::pipe2(requests, O_DIRECT | O_CLOEXEC) != 0 ||
            ::pipe2(answers, O_DIRECT | O_CLOEXEC) != 0)
            return false;
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, requests[0], 0);
        ::posix_spawn_file_actions_adddup2(&actions, answers[1], 1);
        const QByteArray path = helperPath().toLocal8Bit();
        char* const argv[] = {const_cast<char*>(path.constData()), nullptr};
        const bool spawned =
            ::posix_spawn(&m_pid, path.constData(), &actions, nullptr, argv, environ) == 0;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(requests[0]);
        ::close(answers[1]);
        m_requests = requests[1];
        m_answers = answers[0];
        const std::optional<echo_wire::Answer> ready = read();
        return spawned && ready && ready->outcome == echo_wire::Outcome::Ready;
    }

    std::optional<echo_wire::Answer> ask(const QByteArray& message)
    {
        if (::write(m_requests, message.constData(), size_t(message.size())) != message.size())
            return std::nullopt;
        return read();
    }

    // A field of /proc/PID/status.
    QString status(const QString& field) const
    {
        QFile file(QStringLiteral("/proc/%1/status").arg(m_pid));
        if (!file.open(QIODevice::ReadOnly))
            return QString();
        for (const QString& line : QString::fromLatin1(file.readAll()).split(u'\n'))
            if (line.startsWith(field))
                return line.mid(field.size()).trimmed();
        return QString();
    }

    QStringList descriptors() const
    {
        QStringList fds = QDir(QStringLiteral("/proc/%1/fd").arg(m_pid))
                              .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
        std::sort(fds.begin(), fds.end(),
                  [](const QString& a, const QString& b) { return a.toInt() < b.toInt(); });
        return fds;
    }

    // Closes the request pipe; true when the helper then ends by itself.
    bool endsWhenPipeCloses()
    {
        ::close(std::exchange(m_requests, -1));
        for (int waited = 0; waited < kOutcomeBoundMs; waited += 10) {
            int status = 0;
            if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = 0;
                return WIFEXITED(status) && WEXITSTATUS(status) == 0;
            }
            QThread::msleep(10);
        }
        return false;
    }

private:
    std::optional<echo_wire::Answer> read()
    {
        pollfd answers{m_answers, POLLIN, 0};
        char message[echo_wire::kAnswerSize + 1];
        if (::poll(&answers, 1, kOutcomeBoundMs) != 1)
            return std::nullopt;
        const ssize_t length = ::read(m_answers, message, sizeof message);
        return echo_wire::readAnswer(
            std::string_view(message, size_t(std::max<ssize_t>(length, 0))));
    }

    pid_t m_pid = 0;
    int m_requests = -1;
    int m_answers = -1;
};

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

// The route and what the echo comes to.
using OutcomeColumns = TableColumns<Route, quint32, qint32>;
// The route, the forgery, when it is sent and how long the window is then
// busy (ms), and the status.
using ForgeryColumns = TableColumns<Route, QString, int, int, qint32>;

} // namespace

class IcmpRoutesTest : public QObject {
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

    // The route is chosen at each open: the datagram socket where the
    // namespace's ping_group_range lets root's group in (the lab's H), else
    // the helper (P keeps the default "1 0"). Helpers are started ahead only
    // for the helper route, and that route gives as many sockets at once as
    // IcmpHelpers bounds, each carrying its own echo.
    void routeFollowsPingGroupRange_data()
    {
        TableColumns<char, Route>::add(); // namespace, route
        QTest::newRow("range allows") << 'h' << Route::Datagram;
        QTest::newRow("range \"1 0\"") << 'p' << Route::Helper;
    }
    void routeFollowsPingGroupRange()
    {
        const auto [space, route] = TableColumns<char, Route>::fetch();
        if (!m_labProblem.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no test network: ") + m_labProblem));
        IcmpHelpers helpers(helperPath().toStdString());
        LinuxIcmpSocket datagram(m_timers);
        HelperIcmpSocket helper(m_timers, helpers);
        IcmpRoute icmp(datagram, helper);
        NamespaceSwitch inSpace;
        QVERIFY(inSpace.enter(namespaceName(space)));
        helpers.startAhead(2);
        QCOMPARE(helpers.startedAhead(), route == Route::Helper ? 2 : 0);
        QVERIFY(icmp.open());
        std::vector<std::unique_ptr<IcmpSocket>> lanes;
        for (auto lane = icmp.sibling(); lane && lanes.size() < 20; lane = icmp.sibling()) {
            QVERIFY(lane->open());
            lanes.push_back(std::move(lane));
        }
        inSpace.leave();
        QCOMPARE(icmp.active(), route == Route::Datagram ? static_cast<IcmpSocket*>(&datagram)
                                                         : static_cast<IcmpSocket*>(&helper));
        QCOMPARE(int(lanes.size()), route == Route::Helper ? IcmpHelpers::kMaxRunning - 1 : 20);
        lanes.push_back(nullptr); // the route's own socket goes last
        QList<QSignalSpy*> spies;
        const quint32 address = space == 'h' ? kHostAddress : kPeerAddress;
        for (auto& lane : lanes) {
            IcmpSocket& socket = lane ? *lane : static_cast<IcmpSocket&>(icmp);
            spies.append(new QSignalSpy(&socket, &IcmpSocket::echoFinished));
            QVERIFY(socket.sendEcho(address));
        }
        for (QSignalSpy* spy : spies)
            QCOMPARE(awaitOutcome(*spy).status, echo_status::Success);
        qDeleteAll(spies);
    }

    void outcomeOfEcho_data()
    {
        OutcomeColumns::add();
        for (const Route route : {Route::Datagram, Route::Helper}) {
            const auto row = [&](const char* name, quint32 destination, qint32 status) {
                QTest::addRow("%s: %s", routeName(route), name) << route << destination << status;
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
        const auto [route, destination, status] = OutcomeColumns::fetch();
        IcmpSocket* socket = openInLab(route);
        if (!socket)
            return;
        const int before = m_lab.peerEchoRequests();
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(destination));
        QVERIFY(spy.isEmpty()); // never reported from within the call
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
        for (const Route route : {Route::Datagram, Route::Helper}) {
            const char* kind = routeName(route);
            // The control: a faithful answer is taken, so the forgeries do
            // reach the socket.
            QTest::addRow("%s: faithful", kind)
                << route << "faithful" << 0 << 0 << echo_status::Success;
            for (const char* forgery : {"other identifier", "earlier sequence", "other payload",
                                        "other source", "request instead of reply", "bad checksum"})
                QTest::addRow("%s: %s", kind, forgery)
                    << route << forgery << 0 << 0 << echo_status::RequestTimedOut;
            // Judged by the kernel's arrival, not by when the window reads it.
            QTest::addRow("%s: in time, read late", kind)
                << route << "faithful" << 0 << 1500 << echo_status::Success;
            QTest::addRow("%s: late reply", kind)
                << route << "faithful" << 1100 << 0 << echo_status::RequestTimedOut;
        }
    }
    void forgedAnswerIsNotTaken()
    {
        const auto [route, forgery, forgeAtMs, busyMs, status] = ForgeryColumns::fetch();
        IcmpSocket* socket = openInLab(route);
        if (!socket)
            return;
        const auto is = [&](const char* name) { return forgery == QLatin1String(name); };
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(kUnusedAddress));
        const auto [identifier, sequence] = keyOf(route, socket);
        QByteArray icmp = icmpMessage(
            is("request instead of reply") ? IcmpPacket::kEchoRequest : IcmpPacket::kEchoReply,
            quint16(identifier + is("other identifier")),
            quint16(sequence - is("earlier sequence")),
            is("other payload") ? QByteArray("hellp") : QByteArray("hello"));
        icmp[3] = char(icmp[3] ^ is("bad checksum"));
        QThread::msleep(forgeAtMs);
        QVERIFY2(forge(m_lab.peer(), is("other source") ? kPeerAddress : kUnusedAddress, icmp),
                 "cannot send a raw packet from the peer namespace");
        QThread::msleep(busyMs);
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, status);
        QVERIFY(outcome.roundTripMs < 200);
    }

    // One echo at a time: a second one meanwhile is refused, and closing
    // abandons the one out without a report. Then, as the ping test does it,
    // the socket is closed in the report of one echo and opened again for the
    // next.
    void closingAbandonsTheEcho_data()
    {
        TableColumns<Route>::add();
        QTest::newRow("datagram") << Route::Datagram;
        QTest::newRow("helper") << Route::Helper;
    }
    void closingAbandonsTheEcho()
    {
        const auto [route] = TableColumns<Route>::fetch();
        IcmpSocket* socket = openInLab(route);
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

    // A helper that stops answering (here a stand-in that says it is ready,
    // then reads nothing): echoes its caller gave up on never block the
    // program on the full request pipe, and the guard replaces the helper.
    void stuckHelperNeverBlocks()
    {
        QTemporaryDir dir;
        const QString stub = dir.filePath(QStringLiteral("stuck-helper"));
        QFile script(stub);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/usr/bin/env python3\nimport os, time\n"
                     "os.write(1, bytes([1] + [0] * 31))\ntime.sleep(30)\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        ManualTimerFactory timers;
        IcmpHelpers helpers(stub.toStdString());
        HelperIcmpSocket socket(timers, helpers);
        // Far more than the pipe holds: without a bound, the write blocks.
        for (int echo = 0; echo < 64; ++echo) {
            QVERIFY(socket.open());
            QVERIFY(socket.sendEcho(kPeerAddress));
            socket.close();
        }
        QVERIFY(socket.open());
        QVERIFY(socket.sendEcho(kPeerAddress));
        QSignalSpy spy(&socket, &IcmpSocket::echoFinished);
        timers.timer(QStringLiteral("tmrEchoGuard"))->fire();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), echo_status::RequestTimedOut);
        QVERIFY(!socket.isOpen());
    }

    // The helper on its own pipes: it refuses every message that is not a
    // request, sending nothing, and ends when its parent closes the request
    // pipe. It has then given up every capability and kept no descriptor
    // but its pipes and its socket.
    void helperRefusesAndEnds_data()
    {
        TableColumns<QByteArray>::add(); // the message
        const QByteArray request = QByteArray::fromStdString(
            echo_wire::encodeRequest({kPeerAddress, 0x1234, 7, IcmpPacket::echoPayload()}));
        QTest::newRow("short") << request.left(9);
        QTest::newRow("payload cut") << request.chopped(1);
        QTest::newRow("long") << request + 'x';
        QTest::newRow("beyond the largest") << request.left(9) + char(65) + QByteArray(65, 'x');
        QByteArray version = request;
        version[0] = char(2);
        QTest::newRow("other version") << version;
        QTest::newRow("to 0.0.0.0") << QByteArray::fromStdString(
            echo_wire::encodeRequest({0, 0x1234, 7, IcmpPacket::echoPayload()}));
        QTest::newRow("to the broadcast") << QByteArray::fromStdString(
            echo_wire::encodeRequest({0xFFFFFFFFU, 0x1234, 7, IcmpPacket::echoPayload()}));
        QTest::newRow("to a multicast group") << QByteArray::fromStdString(
            echo_wire::encodeRequest({0xE0000001U, 0x1234, 7, IcmpPacket::echoPayload()}));
    }
    void helperRefusesAndEnds()
    {
        const auto [message] = TableColumns<QByteArray>::fetch();
        if (!m_labProblem.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no test network: ") + m_labProblem));
        HelperPipes helper;
        QVERIFY2(helper.start(), "the helper did not start");
        QCOMPARE(helper.status(QStringLiteral("CapEff:")), QStringLiteral("0000000000000000"));
        QCOMPARE(helper.status(QStringLiteral("CapPrm:")), QStringLiteral("0000000000000000"));
        QCOMPARE(helper.status(QStringLiteral("CapInh:")), QStringLiteral("0000000000000000"));
        QCOMPARE(helper.status(QStringLiteral("CapAmb:")), QStringLiteral("0000000000000000"));
        QCOMPARE(helper.status(QStringLiteral("NoNewPrivs:")), QStringLiteral("1"));
        QCOMPARE(helper.descriptors(),
                 (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("3")}));
        const int before = m_lab.peerEchoRequests();
        const std::optional<echo_wire::Answer> answer = helper.ask(message);
        QVERIFY(answer);
        QCOMPARE(int(answer->outcome), int(echo_wire::Outcome::Refused));
        QCOMPARE(m_lab.peerEchoRequests(), before);
        // Still serving, then gone with its parent's pipe.
        const std::optional<echo_wire::Answer> reply = helper.ask(QByteArray::fromStdString(
            echo_wire::encodeRequest({kPeerAddress, 0x1234, 8, "hello"})));
        QVERIFY(reply);
        QCOMPARE(int(reply->outcome), int(echo_wire::Outcome::Reply));
        QVERIFY(helper.endsWhenPipeCloses());
    }

private:
    // A socket of the route, opened in the lab's host namespace; skips the
    // test when the lab or the route is not available.
    IcmpSocket* openInLab(Route route)
    {
        std::unique_ptr<IcmpSocket> socket;
        if (route == Route::Datagram)
            socket = std::make_unique<LinuxIcmpSocket>(m_timers);
        else
            socket = std::make_unique<HelperIcmpSocket>(m_timers, m_helpers);
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

    static std::pair<quint16, quint16> keyOf(Route route, IcmpSocket* socket)
    {
        if (route == Route::Datagram) {
            const auto* datagram = static_cast<LinuxIcmpSocket*>(socket);
            return {datagram->identifier(), datagram->sequence()};
        }
        const auto* helper = static_cast<HelperIcmpSocket*>(socket);
        return {helper->identifier(), helper->sequence()};
    }

    NetworkLab m_lab;
    NamespaceSwitch m_inHost;
    QString m_labProblem;
    QtTimerFactory m_timers;
    IcmpHelpers m_helpers{helperPath().toStdString()};
    std::vector<std::unique_ptr<IcmpSocket>> m_sockets;
};

QTEST_MAIN(IcmpRoutesTest)
#include "tst_IcmpRoutes.moc"
