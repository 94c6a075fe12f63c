#include <QtTest>

#include <QtEndian>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include "LabNetwork.h"
#include "ManualTimer.h"
#include "TableColumns.h"
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
    return LabNetwork::shell(QStringLiteral("ip netns exec vlab-el1 nstat -asz IcmpInEchos | "
                                            "awk '$1 == \"IcmpInEchos\" {print $2}'"))
        .value_or(QStringLiteral("-1"))
        .toInt();
}

// Sends an echo reply to the station from element 1's namespace, with any
// source address and, if asked, a damaged checksum.
bool forgeReply(quint32 source, quint16 id, quint16 seq, bool damaged)
{
    int fd = -1;
    if (const InNamespace inElement(kElementNs); inElement)
        fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_RAW);
    // Version 4, 20-byte header, time to live 64, ICMP; then the reply.
    QByteArray packet = QByteArray::fromHex("4500000000000000400100000000000000000000") +
                        QByteArray::fromStdString(IcmpPacket::echoRequest(id, seq));
    packet[20] = char(IcmpPacket::kEchoReply);
    qToBigEndian(quint16(0), packet.data() + 22);
    qToBigEndian(quint16(IcmpPacket::internetChecksum(packet.mid(20).toStdString()) ^ damaged),
                 packet.data() + 22);
    qToBigEndian(source, packet.data() + 12);
    qToBigEndian(kStation, packet.data() + 16);
    sockaddr_in to{AF_INET, 0, {htonl(kStation)}, {}};
    const bool sent =
        fd >= 0 && ::sendto(fd, packet.constData(), size_t(packet.size()), 0,
                            reinterpret_cast<const sockaddr*>(&to), sizeof to) == packet.size();
    ::close(fd);
    return sent;
}

// The first outcome reported: status and round trip, or nothing.
std::optional<std::pair<qint32, quint32>> outcome(QSignalSpy& spy)
{
    if (spy.isEmpty() && !spy.wait(kOutcomeBoundMs))
        return std::nullopt;
    return std::pair(spy.first().at(0).value<qint32>(), spy.first().at(1).value<quint32>());
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
            !LabNetwork::shell(QStringLiteral("ip netns exec vlab-nms sysctl -qw "
                                              "net.ipv4.ping_group_range='0 2147483647'")))
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
            helpers.startAhead(2);
            QCOMPARE(helpers.startedAhead(), route == Route::Helper ? 2 : 0);
            QVERIFY(icmp.open());
            for (auto lane = icmp.sibling(); lane && lane->open() && lanes.size() < 20;
                 lane = icmp.sibling())
                lanes.push_back(std::move(lane));
        }
        QCOMPARE(icmp.active(), route == Route::Datagram ? static_cast<IcmpSocket*>(&datagram)
                                                         : static_cast<IcmpSocket*>(&helper));
        QCOMPARE(int(lanes.size()), route == Route::Helper ? IcmpHelpers::kMaxRunning - 1 : 20);
        std::vector<std::unique_ptr<QSignalSpy>> spies;
        for (IcmpSocket* socket : {static_cast<IcmpSocket*>(&icmp), lanes.back().get()}) {
            spies.push_back(std::make_unique<QSignalSpy>(socket, &IcmpSocket::echoFinished));
            QVERIFY(socket->sendEcho(address));
        }
        for (auto& spy : spies)
            QCOMPARE(outcome(*spy).value_or(std::pair(-1, 0U)).first, echo_status::Success);
    }

    // What each kind of failure the network gives comes to (the router's
    // networks are 198.18.4-6; 198.18.7 is unreachable in the station
    // itself): one row per way the failure arrives; the codes' meanings
    // are tst_IcmpPacket's. Forged answers to an echo nobody answers: matching is the
    // packet reader's (its own rows and fuzz harness), but each route hands
    // it the source and the checksum, and judges time by the kernel's
    // arrival, not by when the window, busy for a while, reads it.
    void outcomeOfEcho_data()
    {
        OutcomeColumns::add();
        const auto row = [](const char* name, quint32 destination, qint32 status,
                            const char* forgery = "", int busyMs = 0) {
            for (const Route route : {Route::Datagram, Route::Helper})
                QTest::addRow("%s: %s", route == Route::Datagram ? "datagram" : "helper", name)
                    << route << destination << QString::fromLatin1(forgery) << busyMs << status;
        };
        row("live element", kElement, echo_status::Success);
        row("no route", ipv4(198, 19, 200, 1), echo_status::DestinationNetUnreachable);
        row("unreachable here", ipv4(198, 18, 7, 5), echo_status::DestinationHostUnreachable);
        row("router: host unreachable", ipv4(198, 18, 4, 5),
            echo_status::DestinationHostUnreachable);
        row("routing loop", ipv4(198, 18, 6, 5), echo_status::TtlExpiredTransit);
        // The control: a faithful forgery is taken, so the others do reach the
        // socket; they end as an echo nobody answers does.
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
        if (route == Route::Datagram)
            m_sockets.push_back(std::make_unique<LinuxIcmpSocket>(m_timers));
        else
            m_sockets.push_back(std::make_unique<HelperIcmpSocket>(m_timers, m_helpers));
        IcmpSocket* socket = m_sockets.back().get();
        QVERIFY(socket->open());
        const int before = elementEchoRequests();
        QSignalSpy spy(socket, &IcmpSocket::echoFinished);
        QVERIFY(socket->sendEcho(destination));
        QVERIFY(spy.isEmpty());                  // never reported from within the call
        QVERIFY(!socket->sendEcho(destination)); // one at a time
        const auto key = [](const auto* lane) {
            return std::pair(lane->identifier(), lane->sequence());
        };
        const auto [id, seq] = route == Route::Datagram
                                   ? key(static_cast<LinuxIcmpSocket*>(socket))
                                   : key(static_cast<HelperIcmpSocket*>(socket));
        if (forgery == QStringLiteral("close")) {
            socket->close();
        } else if (!forgery.isEmpty()) {
            // The helper sends the echo in its own time: a forgery that beats
            // it would be judged before its echo left, so it is repeated, a
            // bounded number of times, until an outcome comes.
            for (int tries = 0; spy.isEmpty() && tries < 5; ++tries) {
                QVERIFY(forgeReply(forgery == QStringLiteral("other source") ? kElement : kNobody,
                                   id, seq, forgery == QStringLiteral("bad checksum")));
                spy.wait(40);
            }
        }
        QThread::msleep(busyMs);
        const auto [reported, roundTripMs] = outcome(spy).value_or(std::pair(kAbandoned, 0U));
        QCOMPARE(reported, status);
        QVERIFY(status == echo_status::Success ? roundTripMs < 200 : roundTripMs == 0);
        QCOMPARE(elementEchoRequests() - before, destination == kElement ? 1 : 0);
        QCOMPARE(spy.size(), status == kAbandoned ? 0 : 1);
    }

    // A helper that stops answering (here a stand-in that says it is ready,
    // then reads nothing): echoes its caller gave up on never block the
    // program on the full request pipe, and the guard replaces the helper.
    void stuckHelperNeverBlocks()
    {
        QTemporaryDir dir;
        QFile script(dir.filePath(QStringLiteral("stuck-helper")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/usr/bin/env python3\nimport os, time\n"
                     "os.write(1, bytes([1] + [0] * 31))\ntime.sleep(30)\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFile::ExeOwner));
        ManualTimerFactory timers;
        IcmpHelpers helpers(script.fileName().toStdString());
        HelperIcmpSocket socket(timers, helpers);
        // Far more than the pipe holds: without a bound, the write blocks.
        for (int echo = 0; echo <= 64; ++echo) {
            socket.close();
            QVERIFY(socket.open() && socket.sendEcho(kElement));
        }
        QSignalSpy spy(&socket, &IcmpSocket::echoFinished);
        timers.timer(QStringLiteral("tmrEchoGuard"))->fire();
        QCOMPARE(spy.size(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), echo_status::RequestTimedOut);
        QVERIFY(!socket.isOpen());
    }

    // The helper as the programs start it: it has given up every right and
    // kept no descriptor but its pipes and its socket, and ends when its
    // parent closes the request pipe. What it refuses is its fuzz harness's;
    // its echoes are outcomeOfEcho's.
    void helperDropsRefusesAndEnds()
    {
        std::optional<IcmpHelperProcess> helper = IcmpHelperProcess::start(helperPath());
        QVERIFY2(helper, "the helper did not start");
        const QString proc =
            LabNetwork::shell(QStringLiteral("echo /proc/$(pgrep -nx -P $PPID veltrino-nms-ic)"))
                .value_or(QString())
                .trimmed();
        const QString status =
            LabNetwork::shell(QStringLiteral("grep -E '^(Cap(Inh|Prm|Eff|Amb)|NoNewPrivs):' ") +
                              proc + QStringLiteral("/status | tr -s '\\t\\n' ' '"))
                .value_or(QString());
        QCOMPARE(status, QStringLiteral("CapInh: 0000000000000000 CapPrm: 0000000000000000 "
                                        "CapEff: 0000000000000000 CapAmb: 0000000000000000 "
                                        "NoNewPrivs: 1 "));
        QCOMPARE(QDir(proc + QStringLiteral("/fd"))
                     .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot),
                 (QStringList{QStringLiteral("0"), QStringLiteral("1"), QStringLiteral("3")}));
        // The request pipe's end replaced by /dev/null: the answer pipe then ends.
        QFile devNull(QStringLiteral("/dev/null"));
        QVERIFY(devNull.open(QIODevice::WriteOnly));
        QVERIFY(::dup2(devNull.handle(), helper->requests()) == helper->requests());
        pollfd answers{helper->answers(), POLLIN, 0};
        char byte = 0;
        QCOMPARE(::poll(&answers, 1, kOutcomeBoundMs), 1);
        QCOMPARE(::read(helper->answers(), &byte, 1), ssize_t(0));
    }

private:
    LabNetwork m_lab;
    QString m_problem;
    std::optional<InNamespace> m_inStation;
    QtTimerFactory m_timers;
    IcmpHelpers m_helpers{helperPath()};
    std::vector<std::unique_ptr<IcmpSocket>> m_sockets;
};

QTEST_MAIN(IcmpRoutesTest)
#include "tst_IcmpRoutes.moc"
