#include "cli/LevelPoller.h"

#include <QHostAddress>

#include "cli/BoundedWait.h"
#include "cli/ElementLink.h"
#include "protocol/LevelMonitor.h"
#include "protocol/LevelPacket.h"

namespace nms::cli {

LevelPoller::LevelPoller(ElementLink& link, InterruptSignals& interrupts, QObject* parent)
    : QObject(parent)
    , m_link(link)
    , m_interrupts(interrupts)
{
}

std::optional<qint32> LevelPoller::poll(const QString& storedAddress)
{
    std::optional<qint32> peak;
    BoundedWait wait(m_interrupts);
    UdpClient& client = m_link.client();
    const QMetaObject::Connection arrived =
        connect(&client, &UdpClient::levelPacketArrived, this, [&](const QByteArray& datagram) {
            // Another element's level is not this one's.
            if (client.dispatchingSender().toIPv4Address() !=
                QHostAddress(client.remoteHost()).toIPv4Address())
                return;
            peak = LevelPacket::peak(datagram);
            wait.finish();
        });
    m_link.send(UdpClient::kElementControlPort, storedAddress, LevelMonitor::kLevelRequest);
    wait.run(kAnswerBoundMs);
    disconnect(arrived);
    return peak;
}

} // namespace nms::cli
