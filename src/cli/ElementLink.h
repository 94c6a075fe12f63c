#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "protocol/UdpClient.h"

namespace nms {
class Dialogs;
}

namespace nms::cli {

// The program's UDP endpoint for one command: port 2976, bound exclusively
// as the window binds it, so that the two never share the port.
class ElementLink : public QObject {
    Q_OBJECT
public:
    explicit ElementLink(Dialogs& dialogs, QObject* parent = nullptr);

    // Refuses (CliError, the given status) a port that another program, the
    // window for one, holds.
    void open(int occupiedStatus);
    // Aims at the element's stored address and sends one datagram; refuses
    // (CliError, kExitFailure) an address that is no IPv4 address and a
    // datagram that cannot leave.
    void send(quint16 remotePort, const QString& storedAddress, const QByteArray& datagram);

    UdpClient& client() { return m_client; }
    QtUdpEndpoint& endpoint() { return m_endpoint; }

private:
    SteadyClock m_clock;
    QtUdpEndpoint m_endpoint;
    UdpClient m_client;
};

} // namespace nms::cli
