#include <QtTest>

#include <QProcess>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sched.h>
#include <unistd.h>

#include "DiscoveryFixture.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/QtTimer.h"
#include "platform/SteadyClock.h"

using namespace nms;
using namespace nms::test;

namespace {

const QString kElement = QStringLiteral("198.18.0.21");
const QByteArray kHardware = QByteArray::fromHex("020a5e1f2bc4");
const QString kMac = QStringLiteral("02:0A:5E:1F:2B:C4");

struct Outcome {
    int calls = 0;
    QString mac;
};

MacLookup::Done recordInto(Outcome& outcome)
{
    return [&outcome](const QString& mac) {
        ++outcome.calls;
        outcome.mac = mac;
    };
}

bool run(const QStringList& command)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

QByteArray output(const QStringList& command)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    process.waitForFinished(10000);
    return process.readAllStandardOutput().trimmed();
}

QByteArray attribute(quint16 type, const QByteArray& payload)
{
    rtattr header{};
    header.rta_len = quint16(RTA_LENGTH(payload.size()));
    header.rta_type = type;
    QByteArray bytes(reinterpret_cast<const char*>(&header), sizeof header);
    bytes += payload;
    bytes.append(int(RTA_SPACE(payload.size()) - RTA_LENGTH(payload.size())), '\0');
    return bytes;
}

// One RTM_NEWNEIGH or RTM_DELNEIGH message as the kernel writes it.
QByteArray neighbourMessage(quint16 type, int interfaceIndex, quint16 state, const char* address,
                            const char* hardwareHex, quint8 family = AF_INET)
{
    ndmsg body{};
    body.ndm_family = family;
    body.ndm_ifindex = interfaceIndex;
    body.ndm_state = state;
    const quint32 networkOrder = htonl(QHostAddress(QString::fromLatin1(address)).toIPv4Address());
    QByteArray payload(reinterpret_cast<const char*>(&body), sizeof body);
    payload += attribute(NDA_DST, QByteArray(reinterpret_cast<const char*>(&networkOrder), 4));
    if (*hardwareHex)
        payload += attribute(NDA_LLADDR, QByteArray::fromHex(hardwareHex));
    nlmsghdr header{};
    header.nlmsg_len = quint32(NLMSG_LENGTH(payload.size()));
    header.nlmsg_type = type;
    return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + payload;
}

QByteArray doneMessage()
{
    nlmsghdr header{};
    header.nlmsg_len = NLMSG_LENGTH(sizeof(int));
    header.nlmsg_type = NLMSG_DONE;
    return QByteArray(reinterpret_cast<const char*>(&header), sizeof header) + QByteArray(4, '\0');
}

quint64 txPackets(const QString& device)
{
    QFile file(QStringLiteral("/sys/class/net/%1/statistics/tx_packets").arg(device));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().trimmed().toULongLong();
}

} // namespace

class MacLookupTest : public QObject {
    Q_OBJECT
private:
    QString m_peerNamespace;

private slots:
    void foundAtOnceEndsAtOnce()
    {
        DiscoveryFixture f;
        f.neighbours.entries.insert(kElement, kHardware);
        Outcome outcome;
        f.macLookup.lookup(kElement, nullptr, recordInto(outcome));
        QCOMPARE(outcome.calls, 1);
        QCOMPARE(outcome.mac, kMac);
        QCOMPARE(f.neighbours.probes, QStringList{kElement});
        QCOMPARE(f.macLookup.waitingCount(), 0);
        // timerGetMAC stays on after a success; its own tick switches it off.
        ManualTimer* timerGetMAC = f.timer(QStringLiteral("timerGetMAC"));
        QVERIFY(timerGetMAC->isEnabled());
        QVERIFY(timerGetMAC->fire());
        QVERIFY(!timerGetMAC->isEnabled());
        QCOMPARE(outcome.calls, 1);
    }

    // However many lookups wait, each check reads the table once for all of
    // them; and only an entry on the interface where the address is on-link
    // answers.
    void answerIsNoticed_data()
    {
        QTest::addColumn<bool>("events");
        QTest::addColumn<int>("waiting");
        QTest::addColumn<bool>("onAnotherNetwork");
        QTest::newRow("on the table's event") << true << 1 << false;
        QTest::newRow("by the poll, without events") << false << 1 << false;
        QTest::newRow("event, 200 waiting") << true << 200 << false;
        QTest::newRow("poll, 200 waiting") << false << 200 << false;
        QTest::newRow("entry on another network of the subnet") << true << 1 << true;
    }
    void answerIsNoticed()
    {
        QFETCH(bool, events);
        QFETCH(int, waiting);
        QFETCH(bool, onAnotherNetwork);
        DiscoveryFixture f;
        f.neighbours.events = events;
        ManualTimer* poll = f.timer(QStringLiteral("tmrMacPoll"));
        QList<Outcome> outcomes(waiting);
        for (int i = 0; i < waiting; ++i)
            f.macLookup.lookup(QStringLiteral("198.18.1.%1").arg(i + 1), nullptr,
                               recordInto(outcomes[i]));
        QCOMPARE(f.macLookup.waitingCount(), waiting);
        QVERIFY(poll->isEnabled());
        f.neighbours.reads = 0;
        if (onAnotherNetwork) {
            f.neighbours.otherNetworkEntries.insert(QStringLiteral("198.18.1.1"), kHardware);
            emit f.neighbours.changed();
        } else {
            f.neighbours.resolve(QStringLiteral("198.18.1.1"), kHardware);
        }
        if (!events) {
            QCOMPARE(outcomes[0].calls, 0);
            QVERIFY(poll->fire());
        }
        QCOMPARE(f.neighbours.reads, 1);
        const bool found = !onAnotherNetwork;
        QCOMPARE(outcomes[0].calls, found ? 1 : 0);
        QCOMPARE(outcomes[0].mac, found ? kMac : QString());
        QCOMPARE(f.macLookup.waitingCount(), waiting - (found ? 1 : 0));
        QCOMPARE(poll->isEnabled(), f.macLookup.waitingCount() > 0);
    }

    void silentElementEndsAfterFiveSeconds()
    {
        DiscoveryFixture f;
        Outcome outcome;
        ManualTimer* poll = f.timer(QStringLiteral("tmrMacPoll"));
        f.macLookup.lookup(kElement, nullptr, recordInto(outcome));
        f.clock.now += 4999;
        poll->fire();
        QCOMPARE(outcome.calls, 0);
        f.clock.now += 1;
        poll->fire();
        QCOMPARE(outcome.calls, 1);
        QVERIFY(outcome.mac.isEmpty());
        QVERIFY(!poll->isEnabled());
    }

    void everyLookupHasItsOwnBound()
    {
        DiscoveryFixture f;
        ManualTimer* poll = f.timer(QStringLiteral("tmrMacPoll"));
        ManualTimer* timerGetMAC = f.timer(QStringLiteral("timerGetMAC"));
        Outcome first;
        Outcome second;
        f.macLookup.lookup(QStringLiteral("198.18.0.21"), nullptr, recordInto(first));
        const int restartsAfterFirst = timerGetMAC->restarts();
        f.clock.now += 3000;
        f.macLookup.lookup(QStringLiteral("198.18.0.22"), nullptr, recordInto(second));
        // Enabling the running timer again does not restart its countdown.
        QCOMPARE(timerGetMAC->restarts(), restartsAfterFirst);
        f.clock.now += 2000;
        QVERIFY(timerGetMAC->fire());
        QVERIFY(!timerGetMAC->isEnabled());
        poll->fire();
        QCOMPARE(first.calls, 1);
        QVERIFY(first.mac.isEmpty());
        QCOMPARE(second.calls, 0);
        f.neighbours.resolve(QStringLiteral("198.18.0.22"), kHardware);
        QCOMPARE(second.calls, 1);
        QCOMPARE(second.mac, kMac);
    }

    void unansweredAddressIsProbedAgainEverySecond()
    {
        DiscoveryFixture f;
        ManualTimer* poll = f.timer(QStringLiteral("tmrMacPoll"));
        Outcome outcome;
        f.macLookup.lookup(kElement, nullptr, recordInto(outcome));
        QCOMPARE(f.neighbours.probes.size(), 1);
        f.clock.now += 999;
        poll->fire();
        QCOMPARE(f.neighbours.probes.size(), 1);
        f.clock.now += 1;
        poll->fire();
        QCOMPARE(f.neighbours.probes.size(), 2);
        f.clock.now += 1000;
        poll->fire();
        QCOMPARE(f.neighbours.probes.size(), 3);
    }

    void addressesThatCannotBeNeighboursFailAtOnce_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("off-link") << QStringLiteral("203.0.113.9");
        QTest::newRow("zero") << QStringLiteral("0.0.0.0");
        QTest::newRow("broadcast") << QStringLiteral("255.255.255.255");
        QTest::newRow("not an address") << QStringLiteral("element");
    }
    void addressesThatCannotBeNeighboursFailAtOnce()
    {
        QFETCH(QString, address);
        DiscoveryFixture f;
        f.neighbours.offLink << QStringLiteral("203.0.113.9");
        f.neighbours.entries.insert(address, kHardware);
        Outcome outcome;
        f.macLookup.lookup(address, nullptr, recordInto(outcome));
        QCOMPARE(outcome.calls, 1);
        QVERIFY(outcome.mac.isEmpty());
        QVERIFY(f.neighbours.probes.isEmpty());
        QCOMPARE(f.macLookup.waitingCount(), 0);
        QVERIFY(f.timer(QStringLiteral("timerGetMAC"))->isEnabled());
    }

    void finishedLookupWaitsWhileABoxIsOpen()
    {
        DiscoveryFixture f;
        Outcome outcome;
        f.macLookup.lookup(kElement, nullptr, recordInto(outcome));
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            f.neighbours.resolve(kElement, kHardware);
            f.timer(QStringLiteral("tmrMacPoll"))->fire();
        };
        f.dialogs.information(QStringLiteral("Information"), {QStringLiteral("x")});
        QCOMPARE(outcome.calls, 0);
        f.dialogs.whileOpen = nullptr;
        f.timer(QStringLiteral("tmrMacPoll"))->fire();
        QCOMPARE(outcome.calls, 1);
        QCOMPARE(outcome.mac, kMac);
    }

    void goneReceiverIsNotCalled()
    {
        DiscoveryFixture f;
        Outcome outcome;
        auto receiver = std::make_unique<QObject>();
        f.macLookup.lookup(kElement, receiver.get(), recordInto(outcome));
        receiver.reset();
        f.neighbours.resolve(kElement, kHardware);
        QCOMPARE(outcome.calls, 0);
        QCOMPARE(f.macLookup.waitingCount(), 0);
    }

    void tooManyWaitingLookupsAreRefused()
    {
        DiscoveryFixture f;
        Outcome waiting;
        for (int i = 0; i < MacLookup::kMaxWaiting; ++i)
            f.macLookup.lookup(QStringLiteral("198.18.1.%1").arg(i % 250 + 1), nullptr,
                               recordInto(waiting));
        QCOMPARE(f.macLookup.waitingCount(), MacLookup::kMaxWaiting);
        Outcome refused;
        f.macLookup.lookup(kElement, nullptr, recordInto(refused));
        QCOMPARE(refused.calls, 1);
        QVERIFY(refused.mac.isEmpty());
        QCOMPARE(waiting.calls, 0);
    }

    void neighbourCoverage_data()
    {
        QTest::addColumn<QString>("interfaceAddress");
        QTest::addColumn<int>("prefix");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("covered");
        QTest::newRow("same /24") << "198.18.0.1" << 24 << "198.18.0.21" << true;
        QTest::newRow("other /24") << "198.18.0.1" << 24 << "198.18.1.21" << false;
        QTest::newRow("own address") << "198.18.0.1" << 24 << "198.18.0.1" << false;
        QTest::newRow("network address") << "198.18.0.1" << 24 << "198.18.0.0" << false;
        QTest::newRow("broadcast address") << "198.18.0.1" << 24 << "198.18.0.255" << false;
        QTest::newRow("wide /15") << "198.18.0.1" << 15 << "198.19.4.5" << true;
        QTest::newRow("/31 peer") << "198.18.0.0" << 31 << "198.18.0.1" << true;
        QTest::newRow("/32 has no neighbours") << "198.18.0.1" << 32 << "198.18.0.2" << false;
    }
    void neighbourCoverage()
    {
        QFETCH(QString, interfaceAddress);
        QFETCH(int, prefix);
        QFETCH(QString, address);
        QFETCH(bool, covered);
        QCOMPARE(LinuxNeighbourTable::coversAsNeighbour(QHostAddress(interfaceAddress), prefix,
                                                        QHostAddress(address)),
                 covered);
    }

    // The kernel's table as the netlink dump gives it, or /proc/net/arp
    // where netlink is unavailable: the same entries either way. eth0 is
    // interface 2; eth1, another network on the same subnet, is 3.
    void readingOfTheKernelTable_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("interfaceIndex");
        QTest::addColumn<QByteArray>("hardware");
        for (const char* source : {"netlink", "proc"}) {
            QTest::addRow("%s: complete", source)
                << source << "198.18.0.21" << 2 << QByteArray::fromHex("020a5e1f2bc4");
            QTest::addRow("%s: incomplete", source) << source << "198.18.0.22" << 2 << QByteArray();
            QTest::addRow("%s: permanent", source)
                << source << "198.18.0.23" << 2 << QByteArray::fromHex("02000000aa01");
            QTest::addRow("%s: zero address", source)
                << source << "198.18.0.24" << 2 << QByteArray();
            QTest::addRow("%s: absent", source) << source << "198.18.0.99" << 2 << QByteArray();
            QTest::addRow("%s: prefix of another", source)
                << source << "198.18.0.2" << 2 << QByteArray();
            QTest::addRow("%s: on another network", source)
                << source << "198.18.0.25" << 2 << QByteArray();
            QTest::addRow("%s: on that network", source)
                << source << "198.18.0.25" << 3 << QByteArray::fromHex("02bbbbbbbb25");
        }
        // Events after the dump: a deleted entry is gone, an IPv6 one ignored.
        QTest::newRow("netlink: deleted") << "netlink"
                                          << "198.18.0.26" << 2 << QByteArray();
        QTest::newRow("netlink: IPv6 message") << "netlink"
                                               << "198.18.0.27" << 2 << QByteArray();
    }
    void readingOfTheKernelTable()
    {
        QFETCH(QString, source);
        QFETCH(QString, address);
        QFETCH(int, interfaceIndex);
        QFETCH(QByteArray, hardware);
        LinuxNeighbourTable::Entries entries;
        if (source == "proc") {
            const QByteArray text =
                "IP address       HW type     Flags       HW address            Mask     Device\n"
                "198.18.0.21      0x1         0x2         02:0a:5e:1f:2b:c4     *        eth0\n"
                "198.18.0.22      0x1         0x0         00:00:00:00:00:00     *        eth0\n"
                "198.18.0.23      0x1         0x6         02:00:00:00:aa:01     *        eth0\n"
                "198.18.0.24      0x1         0x2         00:00:00:00:00:00     *        eth0\n"
                "198.18.0.25      0x1         0x2         02:bb:bb:bb:bb:25     *        eth1\n";
            entries = LinuxNeighbourTable::entriesFromProcArp(
                text, [](const QByteArray& device) { return device == "eth0" ? 2 : 3; });
        } else {
            const QByteArray dump =
                neighbourMessage(RTM_NEWNEIGH, 2, NUD_REACHABLE, "198.18.0.21", "020a5e1f2bc4") +
                neighbourMessage(RTM_NEWNEIGH, 2, NUD_INCOMPLETE, "198.18.0.22", "") +
                neighbourMessage(RTM_NEWNEIGH, 2, NUD_PERMANENT, "198.18.0.23", "02000000aa01") +
                neighbourMessage(RTM_NEWNEIGH, 2, NUD_REACHABLE, "198.18.0.24", "000000000000") +
                neighbourMessage(RTM_NEWNEIGH, 3, NUD_STALE, "198.18.0.25", "02bbbbbbbb25") +
                neighbourMessage(RTM_NEWNEIGH, 2, NUD_REACHABLE, "198.18.0.26", "02cccccccc26") +
                doneMessage();
            QCOMPARE(
                LinuxNeighbourTable::applyMessages(dump.constData(), int(dump.size()), entries),
                LinuxNeighbourTable::ReadEnd::Done);
            const QByteArray events =
                neighbourMessage(RTM_DELNEIGH, 2, NUD_REACHABLE, "198.18.0.26", "02cccccccc26") +
                neighbourMessage(RTM_NEWNEIGH, 2, NUD_REACHABLE, "198.18.0.27", "02dddddddd27",
                                 AF_INET6);
            QCOMPARE(
                LinuxNeighbourTable::applyMessages(events.constData(), int(events.size()), entries),
                LinuxNeighbourTable::ReadEnd::More);
        }
        QCOMPARE(entries.value({interfaceIndex, QHostAddress(address).toIPv4Address()}), hardware);
    }

    // From here on the test process runs in a network namespace of its own,
    // joined by a veth pair to a peer namespace: 198.18.77.1 here,
    // 198.18.77.2 there, and a default route through 198.18.77.254.
    void realTableFindsThePeersMac()
    {
        if (::geteuid() != 0)
            QSKIP("needs root to create network namespaces; runs in CI as root");
        QVERIFY(::unshare(CLONE_NEWNET) == 0);
        m_peerNamespace = QStringLiteral("nmsdisc%1").arg(::getpid());
        const QString peer = m_peerNamespace;
        QVERIFY(run({"ip", "netns", "add", peer}));
        QVERIFY(run(
            {"ip", "link", "add", "vdA", "type", "veth", "peer", "name", "vdB", "netns", peer}));
        QVERIFY(run({"sysctl", "-qw", "net.ipv6.conf.vdA.disable_ipv6=1"}));
        QVERIFY(run({"ip", "link", "set", "lo", "up"}));
        QVERIFY(run({"ip", "addr", "add", "198.18.77.1/24", "dev", "vdA"}));
        QVERIFY(run({"ip", "link", "set", "vdA", "up"}));
        QVERIFY(run({"ip", "route", "add", "default", "via", "198.18.77.254"}));
        const QStringList inPeer{"ip", "netns", "exec", peer};
        QVERIFY(run(inPeer + QStringList{"sysctl", "-qw", "net.ipv6.conf.vdB.disable_ipv6=1"}));
        QVERIFY(run(inPeer + QStringList{"ip", "addr", "add", "198.18.77.2/24", "dev", "vdB"}));
        QVERIFY(run(inPeer + QStringList{"ip", "link", "set", "vdB", "up"}));
        const QString peerMac =
            QString::fromLatin1(output(inPeer + QStringList{"cat", "/sys/class/net/vdB/address"}))
                .toUpper();
        QCOMPARE(peerMac.size(), 17);

        LinuxNeighbourTable table;
        QVERIFY(table.reportsChanges());
        const int vdA = int(::if_nametoindex("vdA"));
        QVERIFY(vdA > 0);
        QCOMPARE(table.onLinkInterface(QHostAddress(QStringLiteral("198.18.77.2"))), vdA);
        QCOMPARE(table.onLinkInterface(QHostAddress(QStringLiteral("198.18.77.1"))), 0);
        QCOMPARE(table.onLinkInterface(QHostAddress(QStringLiteral("198.18.99.9"))), 0);

        QtTimerFactory timers;
        SteadyClock clock;
        DiscoveryFixture f;
        MacLookup lookup(f.dialogs, clock, timers, table, *f.ui.timerGetMAC);
        Outcome outcome;
        lookup.lookup(QStringLiteral("198.18.77.2"), nullptr, recordInto(outcome));
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, 6000);
        QCOMPARE(outcome.mac, peerMac);
    }

    void realOffLinkAddressFailsAtOnceWithoutSending()
    {
        if (m_peerNamespace.isEmpty())
            QSKIP("needs the namespaces of the previous test (root only)");
        LinuxNeighbourTable table;
        QtTimerFactory timers;
        SteadyClock clock;
        DiscoveryFixture f;
        MacLookup lookup(f.dialogs, clock, timers, table, *f.ui.timerGetMAC);
        const quint64 before = txPackets(QStringLiteral("vdA"));
        Outcome outcome;
        lookup.lookup(QStringLiteral("198.18.99.9"), nullptr, recordInto(outcome));
        QCOMPARE(outcome.calls, 1);
        QVERIFY(outcome.mac.isEmpty());
        QTest::qWait(300);
        QCOMPARE(txPackets(QStringLiteral("vdA")), before);
        // Not even the gateway was asked for.
        table.refresh();
        QVERIFY(table
                    .hardwareAddress(int(::if_nametoindex("vdA")),
                                     QHostAddress(QStringLiteral("198.18.77.254")))
                    .isEmpty());
        QVERIFY(!output({"ip", "neigh", "show", "198.18.77.254"}).contains("198.18.77.254"));
    }

    void cleanupTestCase()
    {
        if (!m_peerNamespace.isEmpty())
            run({"ip", "netns", "del", m_peerNamespace});
    }
};

QTEST_MAIN(MacLookupTest)
#include "tst_MacLookup.moc"
