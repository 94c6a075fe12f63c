#include "diag/MacLookup.h"

#include <arpa/inet.h>

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/NeighbourTable.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"

namespace nms {

namespace {
const QString kColon = QStringLiteral(":");
} // namespace

MacLookup::MacLookup(Dialogs& dialogs, Clock& clock, TimerFactory& timers, NeighbourTable& table,
                     Timer& macTimer, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_clock(clock)
    , m_table(table)
    , m_macTimer(macTimer)
    , m_arp(table)
    , m_poll(timers.create(QStringLiteral("tmrMacPoll"),
                           table.reportsChanges() ? kPollWithEventsMs : kPollWithoutEventsMs))
{
    connect(m_poll.get(), &Timer::tick, this, &MacLookup::checkWaiting);
    connect(&m_table, &NeighbourTable::changed, this, &MacLookup::checkWaiting);
    connect(&m_macTimer, &Timer::tick, this, [this] { m_macTimer.setEnabled(false); });
}

MacLookup::~MacLookup() = default;

void MacLookup::lookup(const QString& address, QObject* receiver, Done done)
{
    m_macTimer.setEnabled(true);
    Waiting entry;
    entry.address = address;
    entry.guarded = receiver != nullptr;
    entry.receiver = receiver;
    entry.done = std::move(done);
    if (!canProbe(entry)) {
        finish(entry, QString());
        return;
    }
    const bool full = m_waiting.size() >= kMaxWaiting;
    const qint64 now = m_clock.nowMs();
    if (!full)
        probe(entry, now);
    m_table.refresh();
    QString mac;
    if (tryLookup(entry, mac) || full) {
        finish(entry, mac);
        return;
    }
    entry.deadlineMs = now + kBoundMs;
    m_waiting.append(std::move(entry));
    updatePoll();
}

// Only an address on a directly attached network can have a neighbour
// entry; anything else would be probed through a gateway, so it fails at
// once and nothing is sent.
bool MacLookup::canProbe(Waiting& entry) const
{
    const quint32 networkOrder = ArpModule::AddressToInteger(entry.address);
    if (networkOrder == 0 || networkOrder == INADDR_NONE)
        return false;
    entry.host = QHostAddress(ntohl(networkOrder));
    entry.interfaceIndex = m_table.onLinkInterface(entry.host);
    return entry.interfaceIndex > 0;
}

bool MacLookup::tryLookup(const Waiting& entry, QString& mac) const
{
    return m_arp.LookupMacAddress(entry.address, mac, kColon, entry.interfaceIndex);
}

// A probe that finds no room in the kernel (hundreds of addresses that never
// answer hold theirs for seconds) is owed, not dropped: without it the
// kernel never asks for a live element either.
bool MacLookup::probe(Waiting& entry, qint64 nowMs)
{
    entry.probeOwed = !m_table.probe(entry.host);
    entry.nextProbeMs = nowMs + kReprobeMs;
    return !entry.probeOwed;
}

// A finished lookup goes on with its feedback, which may raise a box: it
// waits until no box is open, and a check started from inside such a box
// settles nothing. Each box is closed before the next lookup goes on.
// Probes go out all the same, so that an element that answers meanwhile
// has its MAC when the box closes.
void MacLookup::checkWaiting()
{
    const qint64 now = m_clock.nowMs();
    if (m_checking || m_dialogs.isBoxOpen()) {
        sendDueProbes(now);
        updatePoll();
        return;
    }
    m_checking = true;
    const auto settled = takeSettled(now);
    sendDueProbes(now);
    updatePoll();
    for (const auto& [lookup, mac] : settled)
        finish(lookup, mac);
    m_checking = false;
    updatePoll();
}

// Once the kernel has no room, the rest wait for the next check too,
// rather than each being refused in turn.
void MacLookup::sendDueProbes(qint64 nowMs)
{
    for (Waiting& entry : m_waiting) {
        if ((entry.probeOwed || nowMs >= entry.nextProbeMs) && !probe(entry, nowMs))
            return;
    }
}

// Takes out every lookup that has its answer or has run out of time. The
// table is read once for all of them.
QList<std::pair<MacLookup::Waiting, QString>> MacLookup::takeSettled(qint64 nowMs)
{
    QList<std::pair<Waiting, QString>> settled;
    if (!m_waiting.isEmpty())
        m_table.refresh();
    for (qsizetype i = 0; i < m_waiting.size();) {
        Waiting& entry = m_waiting[i];
        QString mac;
        const bool found = tryLookup(entry, mac);
        if (found || nowMs >= entry.deadlineMs) {
            settled.append({m_waiting.takeAt(i), found ? mac : QString()});
            continue;
        }
        ++i;
    }
    return settled;
}

void MacLookup::updatePoll()
{
    m_poll->setEnabled(!m_waiting.isEmpty());
}

void MacLookup::finish(const Waiting& lookup, const QString& mac)
{
    if (lookup.done && (!lookup.guarded || lookup.receiver))
        lookup.done(mac);
}

} // namespace nms
