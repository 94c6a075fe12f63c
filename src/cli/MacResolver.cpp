#include "cli/MacResolver.h"

#include <arpa/inet.h>

#include "diag/MacLookup.h"
#include "platform/Clock.h"

namespace nms::cli {

namespace {
const QString kColon = QStringLiteral(":");
} // namespace

MacResolver::MacResolver(Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
    , m_arp(m_table)
{
    m_poll.setInterval(m_table.reportsChanges() ? MacLookup::kPollWithEventsMs
                                                : MacLookup::kPollWithoutEventsMs);
    connect(&m_poll, &QTimer::timeout, this, &MacResolver::checkWaiting);
    connect(&m_table, &NeighbourTable::changed, this, &MacResolver::checkWaiting);
}

void MacResolver::lookup(const QString& address, Done done)
{
    Waiting entry;
    entry.address = address;
    entry.done = std::move(done);
    const quint32 networkOrder = ArpModule::AddressToInteger(address);
    if (networkOrder != 0 && networkOrder != INADDR_NONE) {
        entry.host = QHostAddress(ntohl(networkOrder));
        entry.interfaceIndex = m_table.onLinkInterface(entry.host);
    }
    if (entry.interfaceIndex <= 0 || m_waiting.size() >= MacLookup::kMaxWaiting) {
        entry.done(QString());
        return;
    }
    m_table.probe(entry.host);
    m_table.refresh();
    QString mac;
    if (m_arp.LookupMacAddress(address, mac, kColon, entry.interfaceIndex)) {
        entry.done(mac);
        return;
    }
    const qint64 now = m_clock.nowMs();
    entry.deadlineMs = now + MacLookup::kBoundMs;
    entry.nextProbeMs = now + MacLookup::kReprobeMs;
    m_waiting.append(std::move(entry));
    updatePoll();
}

void MacResolver::checkWaiting()
{
    if (m_waiting.isEmpty())
        return;
    m_table.refresh();
    const qint64 now = m_clock.nowMs();
    QList<std::pair<Waiting, QString>> settled;
    for (qsizetype i = 0; i < m_waiting.size();) {
        Waiting& entry = m_waiting[i];
        QString mac;
        const bool found = m_arp.LookupMacAddress(entry.address, mac, kColon, entry.interfaceIndex);
        if (found || now >= entry.deadlineMs) {
            settled.append({m_waiting.takeAt(i), found ? mac : QString()});
            continue;
        }
        if (now >= entry.nextProbeMs) {
            m_table.probe(entry.host);
            entry.nextProbeMs = now + MacLookup::kReprobeMs;
        }
        ++i;
    }
    updatePoll();
    for (const auto& [entry, mac] : settled)
        entry.done(mac);
}

void MacResolver::updatePoll()
{
    if (m_waiting.isEmpty())
        m_poll.stop();
    else if (!m_poll.isActive())
        m_poll.start();
}

} // namespace nms::cli
