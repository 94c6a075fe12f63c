#pragma once

#include <functional>
#include <memory>

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>

#include "diag/ArpModule.h"

namespace nms {

class Clock;
class Dialogs;
class NeighbourTable;
class Timer;
class TimerFactory;

// The bounded MAC lookup for one feedback: probe the element's address, then
// wait, without blocking the window, until the kernel has learned its
// hardware address or five seconds have passed. Each lookup has its own
// bound; several may wait at once. The MAC timer (timerGetMAC) keeps its
// observable rule: every lookup enables it, and only its own tick disables
// it.
class MacLookup : public QObject {
    Q_OBJECT
public:
    static constexpr int kBoundMs = 5000;
    // Kernel events normally report the answer; the poll only covers the
    // bound and a table without events.
    static constexpr int kPollWithEventsMs = 20;
    static constexpr int kPollWithoutEventsMs = 5;
    // The kernel gives up on an unanswered address after a few ARP requests;
    // a fresh probe makes it ask again within the bound.
    static constexpr int kReprobeMs = 1000;
    // More lookups than this at once are refused: they take only what the
    // table already holds. A discovery of a thousand elements looks them all
    // up at once.
    static constexpr int kMaxWaiting = 1024;

    // Called once with the MAC in colon form, or with the empty text when
    // none was found within the bound.
    using Done = std::function<void(const QString& mac)>;

    MacLookup(Dialogs& dialogs, Clock& clock, TimerFactory& timers, NeighbourTable& table,
              Timer& macTimer, QObject* parent = nullptr);
    ~MacLookup() override;

    // Starts one bounded lookup for a dotted IPv4 address. `done` may run
    // before this returns (found at once, or an address that is not on a
    // directly attached network: nothing is sent for it). It is skipped if
    // `receiver` was given and has gone. While a message box is open, finished lookups wait
    // for it to close, so that their own boxes never pile up.
    void lookup(const QString& address, QObject* receiver, Done done);
    int waitingCount() const { return int(m_waiting.size()); }

private:
    struct Waiting {
        QString address;
        QHostAddress host;
        // Where the address is on-link; only an entry there counts.
        int interfaceIndex = 0;
        qint64 deadlineMs = 0;
        qint64 nextProbeMs = 0;
        // The last probe could not be sent (the kernel had no room for it):
        // it goes out at the next check.
        bool probeOwed = false;
        // A lookup started without a receiver always reports.
        bool guarded = false;
        QPointer<QObject> receiver;
        Done done;
    };

    Dialogs& m_dialogs;
    Clock& m_clock;
    NeighbourTable& m_table;
    Timer& m_macTimer;
    ArpModule m_arp;
    std::unique_ptr<Timer> m_poll;
    QList<Waiting> m_waiting;
    bool m_checking = false;

    bool canProbe(Waiting& entry) const;
    bool tryLookup(const Waiting& entry, QString& mac) const;
    bool probe(Waiting& entry, qint64 nowMs);
    void checkWaiting();
    QList<std::pair<Waiting, QString>> takeSettled(qint64 nowMs);
    void sendDueProbes(qint64 nowMs);
    void updatePoll();
    static void finish(const Waiting& lookup, const QString& mac);
};

} // namespace nms
