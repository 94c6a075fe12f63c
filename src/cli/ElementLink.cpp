#include "cli/ElementLink.h"

#include "cli/CliError.h"

namespace nms::cli {

ElementLink::ElementLink(Dialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_client(m_endpoint, dialogs, m_clock)
{
}

void ElementLink::open(int occupiedStatus)
{
    if (!m_client.bindLocal())
        throw CliError{occupiedStatus, UdpClient::kPortOccupiedText};
}

void ElementLink::send(quint16 remotePort, const QString& storedAddress, const QByteArray& datagram)
{
    switch (m_client.ReopenForElement(remotePort, storedAddress)) {
    case UdpClient::ReopenResult::Ready: break;
    case UdpClient::ReopenResult::NoValidAddress:
        throw CliError{kExitFailure, UdpClient::kNoValidAddressText};
    case UdpClient::ReopenResult::EndpointFailed:
        throw CliError{kExitFailure, UdpClient::kPortOccupiedText};
    }
    if (!m_client.send(datagram))
        throw CliError{kExitFailure, QStringLiteral("cannot send to %1: %2")
                                         .arg(m_client.remoteHost(), m_endpoint.lastSendError())};
}

} // namespace nms::cli
