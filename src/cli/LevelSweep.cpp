#include "cli/LevelSweep.h"

#include <QHostAddress>

#include "cli/CliError.h"
#include "cli/ElementLink.h"
#include "diag/IcmpModule.h"
#include "platform/Clock.h"
#include "protocol/LevelMonitor.h"
#include "protocol/LevelPacket.h"

namespace nms::cli {

namespace {
constexpr int kExpiryTickMs = 50;
constexpr quint32 kNoAddress = 0xFFFFFFFFU;
} // namespace

LevelSweep::LevelSweep(Clock& clock, QObject* parent)
    : QObject(parent)
    , m_clock(clock)
{
    m_expiry.setInterval(kExpiryTickMs);
    connect(&m_expiry, &QTimer::timeout, this, &LevelSweep::expire);
}

void LevelSweep::start(ElementLink& link, const QStringList& addresses)
{
    m_link = &link;
    m_addresses = addresses;
    m_next = 0;
    m_outstanding.clear();
    disconnect(m_arrivals);
    m_arrivals =
        connect(&link.client(), &UdpClient::levelPacketArrived, this, &LevelSweep::onLevelPacket);
    m_expiry.start();
    sendMore();
    finishIfDone();
}

void LevelSweep::sendMore()
{
    while (m_outstanding.size() < kMaxOutstanding && m_next < m_addresses.size()) {
        const int index = int(m_next++);
        const QString& address = m_addresses.at(index);
        const quint32 ipv4 = IcmpModule::ConvertAddress(address);
        // Two elements on one address cannot be told apart; the first asks.
        if (ipv4 == kNoAddress || m_outstanding.contains(ipv4))
            continue;
        try {
            m_link->send(UdpClient::kElementControlPort, address, LevelMonitor::kLevelRequest);
        } catch (const CliError&) {
            continue; // no route to it: no answer, as for a silent element
        }
        m_outstanding.insert(ipv4, Request{index, m_clock.nowUs()});
    }
}

void LevelSweep::onLevelPacket(const QByteArray& datagram)
{
    const quint32 sender = m_link->client().dispatchingSender().toIPv4Address();
    const auto request = m_outstanding.constFind(sender);
    if (request == m_outstanding.constEnd())
        return; // not asked, or already answered this round
    const int index = request->index;
    m_outstanding.erase(request);
    emit answered(index, LevelPacket::peak(datagram));
    sendMore();
    finishIfDone();
}

void LevelSweep::expire()
{
    const qint64 oldestAllowed = m_clock.nowUs() - qint64(kAnswerBoundMs) * 1000;
    for (auto it = m_outstanding.begin(); it != m_outstanding.end();) {
        if (it->sentUs <= oldestAllowed)
            it = m_outstanding.erase(it);
        else
            ++it;
    }
    sendMore();
    finishIfDone();
}

void LevelSweep::finishIfDone()
{
    if (isRunning() || !m_expiry.isActive())
        return;
    m_expiry.stop();
    disconnect(m_arrivals);
    emit finished();
}

} // namespace nms::cli
