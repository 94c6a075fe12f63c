#include <QtTest>

#include <arpa/inet.h>
#include <linux/neighbour.h>
#include <linux/rtnetlink.h>
#include <net/if.h>

#include "DiscoveryFixture.h"
#include "FakeNeighbourTable.h"
#include "LabNetwork.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/QtTimer.h"
#include "platform/SteadyClock.h"

using namespace nms;
using namespace nms::test;

namespace {

const QByteArray kHardware = QByteArray::fromHex("020a5e1f2bc4");
const QString kMac = QStringLiteral("02:0A:5E:1F:2B:C4");

// The lookup over the fixture's fake neighbour table, driven by a script:
//   L<a> look up address <a>: a digit d is 198.18.0.2d; o is off-link
//        (203.0.113.9), z 0.0.0.0, b 255.255.255.255, w "element"
//   l<a> the same for a receiver that is gone at once
//   R<a> the table learns <a> (with an event unless n came)
//   O<a> the table learns <a> on another network of the same subnet
//   n    the table reports no events    t<ms> the clock moves on
//   f    no room for probes             F     room again
//   p    tick of tmrMacPoll             g     tick of timerGetMAC
//   [..] the steps inside run while a box is open
// The log holds "?.2d" for each probe, "<a>=<MAC>" for each finished
// lookup and, at the end, "w<waiting> p<tmrMacPoll on> t<timerGetMAC on><its
// restarts>".
struct LookupRig {
    DiscoveryFixture f;
    ManualTimer* poll = f.timer(QStringLiteral("tmrMacPoll"));
    ManualTimer* macTimer = f.timer(QStringLiteral("timerGetMAC"));
    QStringList log;
    qsizetype probesLogged = 0;

    LookupRig() { f.neighbours.offLink << QStringLiteral("203.0.113.9"); }

    static QString address(QChar a)
    {
        if (a.isDigit())
            return QStringLiteral("198.18.0.2") + a;
        return QStringLiteral(" o203.0.113.9 z0.0.0.0 b255.255.255.255 welement")
            .section(u' ' + a, 1)
            .section(u' ', 0, 0);
    }

    void logProbes()
    {
        for (; probesLogged < f.neighbours.probes.size(); ++probesLogged)
            log << u'?' + f.neighbours.probes[probesLogged].mid(8);
    }

    void run(const QString& script)
    {
        for (qsizetype i = 0; i < script.size(); ++i) {
            const QChar c = script[i];
            const QChar a = i + 1 < script.size() ? script[i + 1] : QChar();
            if (c == u'L' || c == u'l') {
                std::unique_ptr<QObject> receiver(c == u'l' ? new QObject : nullptr);
                f.macLookup.lookup(address(a), receiver.get(), [this, a](const QString& mac) {
                    logProbes();
                    log << QString(a) + u'=' + mac;
                });
                ++i;
            } else if (c == u'R') {
                f.neighbours.resolve(address(script[++i]), kHardware);
            } else if (c == u'O') {
                f.neighbours.otherNetworkEntries.insert(address(script[++i]), kHardware);
                emit f.neighbours.changed();
            } else if (c == u't') {
                qsizetype end = i + 1;
                while (end < script.size() && script[end].isDigit())
                    ++end;
                f.clock.now += script.mid(i + 1, end - i - 1).toLongLong();
                i = end - 1;
            } else if (c == u'[') {
                const qsizetype close = script.indexOf(u']', i);
                f.dialogs.whileOpen =
                    [&, inner = script.mid(i + 1, close - i - 1)](const MessageBoxRequest&) {
                        log << QStringLiteral("[");
                        run(inner);
                        log << QStringLiteral("]");
                    };
                f.dialogs.information(QStringLiteral("Information"), {QStringLiteral("x")});
                f.dialogs.whileOpen = nullptr;
                i = close;
            } else {
                f.neighbours.events = f.neighbours.events && c != u'n';
                if (c == u'f' || c == u'F')
                    f.neighbours.roomForProbes = c == u'F';
                QVERIFY(c != u'p' || poll->fire());
                QVERIFY(c != u'g' || macTimer->fire());
            }
            logProbes();
        }
    }

    QString state() const
    {
        return QStringLiteral("w%1 p%2 t%3%4")
            .arg(f.macLookup.waitingCount())
            .arg(QLatin1Char(poll->isEnabled() ? '+' : '-'))
            .arg(QLatin1Char(macTimer->isEnabled() ? '+' : '-'))
            .arg(macTimer->restarts());
    }
};

// One neighbour message as the kernel writes it: 198.18.0.21 on interface
// 2, stale, with its hardware address.
QByteArray neighbourMessage(quint16 type)
{
    struct {
        nlmsghdr header;
        ndmsg body;
        rtattr destinationHeader;
        quint32 destination;
        rtattr hardwareHeader;
        char hardware[8];
    } message{{sizeof message, type, 0, 0, 0}, {AF_INET, 0, 0, 2, NUD_STALE, 0, 0},
              {RTA_LENGTH(4), NDA_DST},        {htonl(0xC6120015)},
              {RTA_LENGTH(6), NDA_LLADDR},     {2, 10, 94, 31, 43, char(196), 0, 0}};
    return QByteArray(reinterpret_cast<const char*>(&message), sizeof message);
}

} // namespace

class MacLookupTest : public QObject {
    Q_OBJECT
private:
    LabNetwork m_lab;
    std::optional<InNamespace> m_inStation;

private slots:
    // M in a log stands for the table's MAC.
    void script_data()
    {
        TableColumns<QString, QString>::add(); // script, log
        // timerGetMAC stays on after a success; only its own tick stops it.
        addRow("found at once", "R1L1g", "?.21|1=M|w0 p- t-2");
        addRow("on the table's event", "L1R1", "?.21|1=M|w0 p- t+1");
        addRow("by the poll, without events", "nL1R1[]p", "?.21|[|]|1=M|w0 p- t+1");
        addRow("only on the on-link interface", "L1O1", "?.21|w1 p+ t+1");
        addRow("probed again each second, ends at 5 s", "L1t999pt1pt1000pt2999pt1p",
               "?.21|?.21|?.21|?.21|1=|w0 p- t+1");
        // Enabling the running timerGetMAC again does not restart it.
        addRow("each lookup its own bound", "L1t3000L2t2000gpR2",
               "?.21|?.22|?.22|1=|2=M|w0 p- t-2");
        addRow("nothing sent where no neighbour can be", "RoRzRbRwLoLzLbLw",
               "o=|z=|b=|w=|w0 p- t+1");
        addRow("finished lookups wait while a box is open", "L1[R1p]p", "?.21|[|]|1=M|w0 p- t+1");
        addRow("gone receiver", "l1R1", "?.21|w0 p- t+1");
        addRow("a probe without room is sent later, box or not", "fL1[Fp]R1",
               "[|?.21|]|1=M|w0 p- t+1");
    }
    void script()
    {
        const auto [script, log] = TableColumns<QString, QString>::fetch();
        LookupRig rig;
        rig.run(script);
        QCOMPARE((rig.log << rig.state()).join(u'|'), QString(log).replace(u'M', kMac));
    }

    // However many lookups wait, each check reads the table once for them
    // all; beyond the limit a lookup takes only what the table holds.
    void manyWaiting_data()
    {
        TableColumns<int, QString>::add(); // waiting, the answer to one more
        addRow("200 waiting", 200, "");
        addRow("full", int(MacLookup::kMaxWaiting), "198.18.0.21=");
        addRow("full, but in the table", int(MacLookup::kMaxWaiting), "198.18.0.21=M");
    }
    void manyWaiting()
    {
        const auto [waiting, refused] = TableColumns<int, QString>::fetch();
        DiscoveryFixture f;
        if (refused.endsWith(u'M')) // the table holds it
            f.neighbours.entries.insert(QStringLiteral("198.18.0.21"), kHardware);
        QStringList done;
        for (int i = 0; i < waiting + 1; ++i) {
            const QString address =
                i < waiting ? QStringLiteral("198.18.%1.%2").arg(1 + i / 250).arg(1 + i % 250)
                            : QStringLiteral("198.18.0.21");
            f.macLookup.lookup(address, nullptr, [&done, address](const QString& mac) {
                done << address + u'=' + mac;
            });
        }
        const bool full = waiting == MacLookup::kMaxWaiting;
        QCOMPARE(done, full ? QStringList{QString(refused).replace(u'M', kMac)} : QStringList());
        f.neighbours.reads = 0;
        f.neighbours.resolve(QStringLiteral("198.18.1.1"), kHardware);
        QCOMPARE(f.neighbours.reads, 1);
        QCOMPARE(done.mid(full ? 1 : 0), QStringList{QStringLiteral("198.18.1.1=") + kMac});
        QCOMPARE(f.macLookup.waitingCount(), waiting - (full ? 1 : 0));
    }

    // A neighbour on the same /24: realTableFindsTheElementsMac.
    void neighbourCoverage_data()
    {
        TableColumns<QString, int, QString, bool>::add(); // interface address, prefix, address
        addRow("other /24", "198.18.0.1", 24, "198.18.1.21", false);
        addRow("own address", "198.18.0.1", 24, "198.18.0.1", false);
        addRow("network address", "198.18.0.1", 24, "198.18.0.0", false);
        addRow("broadcast address", "198.18.0.1", 24, "198.18.0.255", false);
        addRow("wide /15", "198.18.0.1", 15, "198.19.4.5", true);
        addRow("/31 peer", "198.18.0.0", 31, "198.18.0.1", true);
        addRow("/32 has no neighbours", "198.18.0.1", 32, "198.18.0.2", false);
    }
    void neighbourCoverage()
    {
        const auto [own, prefix, address, covered] =
            TableColumns<QString, int, QString, bool>::fetch();
        QCOMPARE(LinuxNeighbourTable::coversAsNeighbour(QHostAddress(own), prefix,
                                                        QHostAddress(address)),
                 covered);
    }

    // One read of the table for an address (ArpModule), for what the
    // lookup's script does not reach: the entry's bytes, "-" for no MAC, the
    // text left as it was.
    void arpLookup_data()
    {
        TableColumns<QString, QByteArray, QString>::add(); // address, entry, text
        addRow("leading zero is decimal", "198.018.0.21", kHardware, kMac);
        addRow("first four bytes zero", "198.18.0.21", QByteArray::fromHex("000000002bc4"), "-");
        addRow("only the fourth byte set", "198.18.0.21", QByteArray::fromHex("000000012bc4"),
               "00:00:00:01:2B:C4");
        addRow("four bytes", "198.18.0.21", kHardware.left(4), "");
        addRow("eight bytes", "198.18.0.21", kHardware + "ab", "");
        addRow("twenty bytes, cut to the buffer", "198.18.0.21", QByteArray(20, '\x80'), "");
    }
    void arpLookup()
    {
        const auto [address, hardware, mac] = TableColumns<QString, QByteArray, QString>::fetch();
        FakeNeighbourTable table;
        table.entries.insert(QStringLiteral("198.18.0.21"), hardware);
        ArpModule arp(table);
        QString text = QStringLiteral("-");
        QCOMPARE(arp.LookupMacAddress(address, text, QStringLiteral(":"),
                                      FakeNeighbourTable::kInterface),
                 mac != QStringLiteral("-"));
        QCOMPARE(text, mac);
        if (mac.size() > 1) // no separator
            QCOMPARE(ArpModule::FormatMacBytes(hardware, QString()), QString(mac).remove(u':'));
        QVERIFY(table.probes.isEmpty()); // probing is the bounded lookup's business
    }

    // Where netlink is unavailable, /proc/net/arp: only complete entries
    // with a hardware address count, each on its own interface (eth1 is
    // another network on the same subnet).
    void readingOfProcArp()
    {
        const QByteArray proc =
            "IP address       HW type     Flags       HW address            Mask     Device\n"
            "198.18.0.21      0x1         0x2         02:0a:5e:1f:2b:c4     *        eth0\n"
            "198.18.0.22      0x1         0x0         00:00:00:00:00:00     *        eth0\n"
            "198.18.0.23      0x1         0x6         02:00:00:00:aa:01     *        eth0\n"
            "198.18.0.24      0x1         0x2         00:00:00:00:00:00     *        eth0\n"
            "198.18.0.25      0x1         0x2         02:bb:bb:bb:bb:25     *        eth1\n";
        const LinuxNeighbourTable::Entries expected{
            {{2, 0xC6120015}, QByteArray::fromHex("020a5e1f2bc4")},
            {{2, 0xC6120017}, QByteArray::fromHex("02000000aa01")},
            {{3, 0xC6120019}, QByteArray::fromHex("02bbbbbbbb25")}};
        QCOMPARE(LinuxNeighbourTable::entriesFromProcArp(
                     proc, [](const QByteArray& device) { return device == "eth0" ? 2 : 3; }),
                 expected);
    }

    // A deletion takes the entry away, whatever state and address it
    // carries: the kernel's deletions of stale entries carry both.
    void deletionEvent()
    {
        LinuxNeighbourTable::Entries entries;
        for (const quint16 type : {RTM_NEWNEIGH, RTM_DELNEIGH}) {
            const QByteArray message = neighbourMessage(type);
            QCOMPARE(LinuxNeighbourTable::applyMessages(message.constData(), int(message.size()),
                                                        entries),
                     LinuxNeighbourTable::ReadEnd::More);
            QCOMPARE(entries.size(), type == RTM_NEWNEIGH ? 1 : 0);
        }
    }

    // The kernel's own table, from the lab's station namespace: element 1's
    // MAC is found; an address behind the router is no neighbour, so the
    // lookup sends nothing for it (the script's off-link row).
    void realTableFindsTheElementsMac()
    {
        const QString problem = m_lab.up({QStringLiteral("router")});
        if (!problem.isEmpty())
            QSKIP(qPrintable(problem));
        QVERIFY(bool(m_inStation.emplace(QStringLiteral("vlab-nms"))));
        LinuxNeighbourTable table;
        QVERIFY(table.reportsChanges());
        const int eth0 = int(::if_nametoindex("eth0"));
        QVERIFY(eth0 > 0);
        QCOMPARE(table.onLinkInterface(QHostAddress(QStringLiteral("198.18.0.11"))), eth0);
        QCOMPARE(table.onLinkInterface(QHostAddress(QStringLiteral("198.18.0.1"))), 0);
        QCOMPARE(table.onLinkInterface(QHostAddress(QStringLiteral("198.18.4.9"))), 0);
        QtTimerFactory timers;
        SteadyClock clock;
        DiscoveryFixture f;
        MacLookup lookup(f.dialogs, clock, timers, table, *f.ui.timerGetMAC);
        QStringList done;
        lookup.lookup(QStringLiteral("198.18.0.11"), nullptr,
                      [&done](const QString& mac) { done << mac; });
        QTRY_COMPARE_WITH_TIMEOUT(done, QStringList{QStringLiteral("02:00:C6:12:00:0B")}, 6000);
        QCOMPARE(table.hardwareAddress(eth0, QHostAddress(QStringLiteral("198.18.0.250"))).toHex(),
                 QByteArray("0200000000fa")); // permanent, from scripts/lab router
    }

    // Events that queued up before a whole read of the table are older than
    // it: .5 removed among hundreds of changes, then learned again when the
    // queue had overflowed, must not be removed by its old deletion.
    void realTableKeepsWhatItReadWhole()
    {
        if (!m_inStation)
            QSKIP("runs in the lab of realTableFindsTheElementsMac");
        LinuxNeighbourTable table;
        QVERIFY(LabNetwork::shell(QStringLiteral(
            "change() { printf 'neigh replace 198.18.0.%d lladdr 02:00:00:00:%02d:%02x dev eth0 "
            "nud permanent\n' $1 $2 $1; }; { change 5 0; for h in {20..119}; do change $h 0; done; "
            "echo 'neigh del 198.18.0.5 dev eth0'; for r in {1..7}; do for h in {20..249}; do "
            "change $h $r; done; done; change 5 0; } | ip -n vlab-nms -batch -")));
        table.refresh();
        table.refresh();
        QCOMPARE(table
                     .hardwareAddress(int(::if_nametoindex("eth0")),
                                      QHostAddress(QStringLiteral("198.18.0.5")))
                     .toHex(),
                 QByteArray("020000000005"));
    }

    void cleanupTestCase() { m_inStation.reset(); }
};

QTEST_MAIN(MacLookupTest)
#include "tst_MacLookup.moc"
