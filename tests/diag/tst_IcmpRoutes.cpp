#include <QtTest>

#include <QtEndian>

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "LabNetwork.h"
#include "ManualTimer.h"
#include "TableColumns.h"
#include "platform/EchoWire.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpHelperProcess.h"
#include "platform/IcmpHelpers.h"
#include "platform/IcmpPacket.h"
#include "platform/IcmpRoute.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/QtTimer.h"

using namespace nms;
using namespace nms::test;

// The two ways this program pings: the unprivileged datagram socket, and the
// ICMP helper with its raw socket.
enum class Route { Datagram, Helper };
Q_DECLARE_METATYPE(Route)

namespace {

// Every wait is bounded: an echo finishes within its 1000 ms time-out.
constexpr int kOutcomeBoundMs = 5000;

constexpr quint32 ipv4(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return (quint32(a) << 24) | (quint32(b) << 16) | (quint32(c) << 8) | d;
}

// The lab with its router (scripts/lab up 1, router); the test runs in the
// station's namespace, whose ping_group_range it opens to root's group.
const QString kStationNs = QStringLiteral("vlab-nms");
const QString kElementNs = QStringLiteral("vlab-el1");
constexpr quint32 kStation = ipv4(198, 18, 0, 1);
constexpr quint32 kElement = ipv4(198, 18, 0, 11);
constexpr quint32 kNobody = ipv4(198, 18, 0, 250);
constexpr qint32 kAbandoned = -2;

std::string helperPath()
{
    return qEnvironmentVariable("NMS_BUILD_DIR").toStdString() + "/veltrino-nms-icmp";
}

// How many echo requests element 1 has received so far.
int elementEchoRequests()
{
    const QStringList fields =
        LabNetwork::output(QStringLiteral("ip"),
                           {QStringLiteral("netns"), QStringLiteral("exec"), kElementNs,
                            QStringLiteral("nstat"), QStringLiteral("-asz"),
                            QStringLiteral("IcmpInEchos")})
            .value_or(QString())
            .simplified()
            .split(u' ');
    const qsizetype name = fields.indexOf(QStringLiteral("IcmpInEchos"));
    return name >= 0 && name + 1 < fields.size() ? fields[name + 1].toInt() : -1;
}

// Sends a hand-made IPv4 packet to the station from element 1's namespace,
// so that an answer can carry any source address. False if it could not.
bool forge(quint32 source, const QByteArray& icmp)
{
    int fd = -1;
    if (const InNamespace inElement(kElementNs); inElement)
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    if (fd < 0)
        return false;
    // Version 4, 20-byte header, time to live 64, ICMP.
    QByteArray packet = QByteArray::fromHex("4500000000000000400100000000000000000000") + icmp;
    qToBigEndian(source, packet.data() + 12);
    qToBigEndian(kStation, packet.data() + 16);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(kStation);
    const bool sent = ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
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

// Writes one request to a helper and reads its answer, bounded in time.
std::optional<echo_wire::Answer> ask(const IcmpHelperProcess& helper,
                                     const echo_wire::Request& request)
{
    const std::string message = echo_wire::encodeRequest(request);
    if (::write(helper.requests(), message.data(), message.size()) != ssize_t(message.size()))
        return std::nullopt;
    pollfd answers{helper.answers(), POLLIN, 0};
    char answer[echo_wire::kAnswerSize + 1];
    if (::poll(&answers, 1, kOutcomeBoundMs) != 1)
        return std::nullopt;
    const ssize_t length = ::read(helper.answers(), answer, sizeof answer);
    return echo_wire::readAnswer(std::string_view(answer, size_t(std::max<ssize_t>(length, 0))));
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

void addRoutes(const char* name, const std::function<void(QTestData&)>& rest = {})
{
    for (const Route route : {Route::Datagram, Route::Helper}) {
        QTestData& row =
            QTest::addRow("%s: %s", route == Route::Datagram ? "datagram" : "helper", name)
            << route;
        if (rest)
            rest(row);
    }
}

// The route, the destination, the answer forged (if any), how long the window
// is busy after sending (ms), and what the echo comes to.
using OutcomeColumns = TableColumns<Route, quint32, QString, int, qint32>;

} // namespace

class IcmpRoutesTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        m_problem = m_lab.up({QStringLiteral("router")});
        if (m_problem.isEmpty() &&
            !LabNetwork::output(QStringLiteral("ip"),
                                {QStringLiteral("netns"), QStringLiteral("exec"), kStationNs,
                                 QStringLiteral("sysctl"), QStringLiteral("-qw"),
                                 QStringLiteral("net.ipv4.ping_group_range=0 2147483647")}))
            m_problem = QStringLiteral("cannot set the station's ping_group_range");
        if (m_problem.isEmpty() && !m_inStation.emplace(kStationNs))
            m_problem = QStringLiteral("cannot enter the station's namespace");
    }
    void init()
    {
        if (!m_problem.isEmpty())
            QSKIP(qPrintable(QStringLiteral("no lab: ") + m_problem));
    }
    void cleanup() { m_sockets.clear(); }
    void cleanupTestCase() { m_inStation.reset(); }

    // The route is chosen at each open: the datagram socket where the
    // namespace's ping_group_range lets root's group in (the station), else
    // the helper (an element keeps the default "1 0"). Helpers are started
    // ahead only for the helper route, and that route gives as many sockets
    // at once as IcmpHelpers bounds, each carrying its own echo.
    void routeFollowsPingGroupRange_data()
    {
        TableColumns<QString, Route, quint32>::add(); // namespace, route, pinged
        QTest::newRow("range allows") << kStationNs << Route::Datagram << kElement;
        QTest::newRow("range \"1 0\"") << kElementNs << Route::Helper << kStation;
    }
    void routeFollowsPingGroupRange()
    {
        const auto [space, route, address] = TableColumns<QString, Route, quint32>::fetch();
        IcmpHelpers helpers(helperPath());
        LinuxIcmpSocket datagram(m_timers);
        HelperIcmpSocket helper(m_timers, helpers);
        IcmpRoute icmp(datagram, helper);
        std::vector<std::unique_ptr<IcmpSocket>> lanes;
        {
            const InNamespace inSpace(space);
            QVERIFY(inSpace);
            helpers.startAhead(2);
            QCOMPARE(helpers.startedAhead(), route == Route::Helper ? 2 : 0);
            QVERIFY(icmp.open());
            for (auto lane = icmp.sibling(); lane && lanes.size() < 20; lane = icmp.sibling()) {
                QVERIFY(lane->open());
                lanes.push_back(std::move(lane));
            }
        }
        QCOMPARE(icmp.active(), route == Route::Datagram ? static_cast<IcmpSocket*>(&datagram)
                                                         : static_cast<IcmpSocket*>(&helper));
        QCOMPARE(int(lanes.size()), route == Route::Helper ? IcmpHelpers::kMaxRunning - 1 : 20);
        lanes.push_back(nullptr); // the route's own socket goes last
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (auto& lane : lanes) {
            IcmpSocket& socket = lane ? *lane : static_cast<IcmpSocket&>(icmp);
            spies.push_back(std::make_unique<QSignalSpy>(&socket, &IcmpSocket::echoFinished));
            QVERIFY(socket.sendEcho(address));
        }
        for (auto& spy : spies)
            QCOMPARE(awaitOutcome(*spy).status, echo_status::Success);
    }

    // What each kind of failure the network gives comes to (the router's
    // networks are 198.18.4-6; 198.18.7 is unreachable in the station
    // itself). Forged answers to an echo nobody answers: matching is the
    // packet reader's (its own rows and fuzz harness), but each route hands
    // it the source and the checksum, and judges time by the kernel's
    // arrival, not by when the window, busy for a while, reads it.
    void outcomeOfEcho_data()
    {
        OutcomeColumns::add();
        const auto row = [](const char* name, quint32 destination, qint32 status,
                            const char* forgery = "", int busyMs = 0) {
            addRoutes(name, [&](QTestData& data) {
                data << destination << QString::fromLatin1(forgery) << busyMs << status;
            });
        };
        row("live element", kElement, echo_status::Success);
        row("nobody there", kNobody, echo_status::RequestTimedOut);
        row("no route", ipv4(198, 19, 200, 1), echo_status::DestinationNetUnreachable);
        row("unreachable here", ipv4(198, 18, 7, 5), echo_status::DestinationHostUnreachable);
        row("router: host unreachable", ipv4(198, 18, 4, 5),
            echo_status::DestinationHostUnreachable);
        row("router: net unreachable", ipv4(198, 18, 5, 5), echo_status::DestinationNetUnreachable);
        row("routing loop", ipv4(198, 18, 6, 5), echo_status::TtlExpiredTransit);
        // The control: a faithful forgery is taken, so the others do reach the socket.
        row("forged, faithful", kNobody, echo_status::Success, "faithful");
        row("forged, other source", kNobody, echo_status::RequestTimedOut, "other source");
        row("forged, bad checksum", kNobody, echo_status::RequestTimedOut, "bad checksum");
        row("in time, read late", kElement, echo_status::Success, "", 1500);
        // Closing abandons the echo: no report follows.
        row("closed at once", kElement, kAbandoned, "close");
    }
    void outcomeOfEcho()
    {
        const auto [route, destination, forgery, busyMs, status] = OutcomeColumns::fetch();
        IcmpSocket* socket = openSocket(route);
        QVERIFY(socket);
        const int before = elementEchoRequests();
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(destination));
        QVERIFY(spy.isEmpty());                  // never reported from within the call
        QVERIFY(!socket->sendEcho(destination)); // one at a time
        if (forgery == QStringLiteral("close")) {
            socket->close();
            QVERIFY(!spy.wait(LinuxIcmpSocket::kTimeoutMs + 500));
            return;
        }
        if (!forgery.isEmpty()) {
            const auto [identifier, sequence] = keyOf(route, socket);
            QByteArray icmp = icmpMessage(IcmpPacket::kEchoReply, identifier, sequence, "hello");
            icmp[3] = char(icmp[3] ^ (forgery == QStringLiteral("bad checksum")));
            QVERIFY(forge(forgery == QStringLiteral("other source") ? kElement : kNobody, icmp));
        }
        QThread::msleep(busyMs);
        const Outcome outcome = awaitOutcome(spy);
        QVERIFY(outcome.finished);
        QCOMPARE(outcome.status, status);
        QVERIFY(status == echo_status::Success ? outcome.roundTripMs < 200
                                               : outcome.roundTripMs == 0);
        QCOMPARE(elementEchoRequests() - before, destination == kElement ? 1 : 0);
        QCOMPARE(spy.size(), 1);
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
            QVERIFY(socket.sendEcho(kElement));
            socket.close();
        }
        QVERIFY(socket.open());
        QVERIFY(socket.sendEcho(kElement));
        QSignalSpy spy(&socket, &IcmpSocket::echoFinished);
        timers.timer(QStringLiteral("tmrEchoGuard"))->fire();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), echo_status::RequestTimedOut);
        QVERIFY(!socket.isOpen());
    }

    // The helper as the programs start it: it has given up every right and
    // kept no descriptor but its pipes and its socket, refuses a request it
    // must not send (what else it refuses is its fuzz harness's), and ends
    // when its parent closes the request pipe.
    void helperDropsRefusesAndEnds()
    {
        std::optional<IcmpHelperProcess> helper = IcmpHelperProcess::start(helperPath());
        QVERIFY2(helper, "the helper did not start");
        QFile children(QStringLiteral("/proc/thread-self/children"));
        QVERIFY(children.open(QIODevice::ReadOnly));
        const QString proc =
            QStringLiteral("/proc/") +
            QString::fromLatin1(children.readAll()).split(u' ', Qt::SkipEmptyParts).last();
        QFile statusFile(proc + QStringLiteral("/status"));
        QVERIFY(statusFile.open(QIODevice::ReadOnly));
        const QString status = QString::fromLatin1(statusFile.readAll());
        for (const char* field : {"CapInh", "CapPrm", "CapEff", "CapAmb"})
            QVERIFY2(status.contains(QLatin1String(field) + QStringLiteral(":\t0000000000000000")),
                     field);
        QVERIFY(status.contains(QStringLiteral("NoNewPrivs:\t1")));
        QCOMPARE(QDir(proc + QStringLiteral("/fd"))
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("3")}));
        const int before = elementEchoRequests();
        const auto refused = ask(*helper, {0xFFFFFFFFU, 0x1234, 7, IcmpPacket::echoPayload()});
        QVERIFY(refused && refused->outcome == echo_wire::Outcome::Refused);
        QCOMPARE(elementEchoRequests(), before);
        const auto reply = ask(*helper, {kElement, 0x1234, 8, IcmpPacket::echoPayload()});
        QVERIFY(reply && reply->outcome == echo_wire::Outcome::Reply);
        // The request pipe's end replaced: the answer pipe then ends.
        const int devNull = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
        QVERIFY(::dup2(devNull, helper->requests()) == helper->requests());
        ::close(devNull);
        pollfd answers{helper->answers(), POLLIN, 0};
        char byte = 0;
        QCOMPARE(::poll(&answers, 1, kOutcomeBoundMs), 1);
        QCOMPARE(::read(helper->answers(), &byte, 1), ssize_t(0));
    }

private:
    IcmpSocket* openSocket(Route route)
    {
        if (route == Route::Datagram)
            m_sockets.push_back(std::make_unique<LinuxIcmpSocket>(m_timers));
        else
            m_sockets.push_back(std::make_unique<HelperIcmpSocket>(m_timers, m_helpers));
        return m_sockets.back()->open() ? m_sockets.back().get() : nullptr;
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

    LabNetwork m_lab;
    QString m_problem;
    std::optional<InNamespace> m_inStation;
    QtTimerFactory m_timers;
    IcmpHelpers m_helpers{helperPath()};
    std::vector<std::unique_ptr<IcmpSocket>> m_sockets;
};

QTEST_MAIN(IcmpRoutesTest)
#include "tst_IcmpRoutes.moc"
