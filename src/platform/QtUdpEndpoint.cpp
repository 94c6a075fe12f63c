#include "platform/QtUdpEndpoint.h"

#include <algorithm>

#include <QNetworkInterface>
#include <QUdpSocket>

namespace nms {

QtUdpEndpoint::QtUdpEndpoint(QObject* parent)
    : UdpEndpoint(parent)
{
}

QtUdpEndpoint::~QtUdpEndpoint()
{
    close();
}

bool QtUdpEndpoint::bind(quint16 localPort)
{
    if (isOpen())
        return false;
    m_socket = new QUdpSocket(this);
    // Exclusive: a port held by another program is a failure, not shared.
    if (!m_socket->bind(QHostAddress::AnyIPv4, localPort, QAbstractSocket::DontShareAddress)) {
        close();
        return false;
    }
    connect(m_socket, &QUdpSocket::readyRead, this, &QtUdpEndpoint::readPending);
    return true;
}

void QtUdpEndpoint::close()
{
    if (m_socket == nullptr)
        return;
    m_socket->disconnect(this);
    m_socket->close();
    m_socket->deleteLater();
    m_socket = nullptr;
}

bool QtUdpEndpoint::isOpen() const
{
    return m_socket != nullptr && m_socket->state() == QAbstractSocket::BoundState;
}

void QtUdpEndpoint::readPending()
{
    for (int read = 0;
         read < kMaxReadsPerWake && m_socket != nullptr && m_socket->hasPendingDatagrams();
         ++read) {
        // A zero-length datagram is a datagram too: size 0, not "none".
        const qint64 size = m_socket->pendingDatagramSize();
        if (size < 0)
            break;
        QNetworkDatagram datagram = m_socket->receiveDatagram(size);
        if (!datagram.isValid())
            break;
        if (m_inbox.size() >= kInboxCapacity) {
            ++m_droppedArrivals;
            continue;
        }
        m_inbox.append(std::move(datagram));
    }
    if (!m_inbox.isEmpty() && !m_handOnScheduled) {
        m_handOnScheduled = true;
        QMetaObject::invokeMethod(this, &QtUdpEndpoint::handOnArrivals, Qt::QueuedConnection);
    }
}

// One at a time from the front: a handler that runs a modal box lets this
// run again inside it, and the order of arrival is kept.
void QtUdpEndpoint::handOnArrivals()
{
    m_handOnScheduled = false;
    while (!m_inbox.isEmpty()) {
        const QNetworkDatagram datagram = m_inbox.takeFirst();
        emit datagramArrived(datagram.data(), datagram.senderAddress(),
                             quint16(datagram.senderPort()));
    }
}

bool QtUdpEndpoint::sendTo(const QByteArray& data, const QHostAddress& host, quint16 port)
{
    return sendDatagram(QNetworkDatagram(data, host, port));
}

// Linux refuses the limited broadcast where no route covers it (an isolated
// device network without a default gateway), so the request leaves every up,
// broadcast-capable IPv4 interface on its own: one copy per interface, so
// that an element answers once. Only where no interface took a copy does the
// plain limited broadcast go out, as the routing table decides.
bool QtUdpEndpoint::broadcast(const QByteArray& data, quint16 port)
{
    bool anyLeft = false;
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& interface : interfaces) {
        if (isBroadcastInterface(interface))
            anyLeft = broadcastOn(interface, data, port) || anyLeft;
    }
    if (anyLeft)
        return true;
    return sendDatagram(QNetworkDatagram(data, QHostAddress(QHostAddress::Broadcast), port));
}

bool QtUdpEndpoint::isBroadcastInterface(const QNetworkInterface& interface)
{
    const auto flags = interface.flags();
    if (!flags.testFlag(QNetworkInterface::IsUp) ||
        !flags.testFlag(QNetworkInterface::CanBroadcast) ||
        flags.testFlag(QNetworkInterface::IsLoopBack))
        return false;
    const auto entries = interface.addressEntries();
    return std::any_of(entries.begin(), entries.end(), [](const QNetworkAddressEntry& entry) {
        return entry.ip().protocol() == QAbstractSocket::IPv4Protocol;
    });
}

// The limited broadcast bound to the interface; where the kernel refuses
// that, the interface's own subnet broadcast.
bool QtUdpEndpoint::broadcastOn(const QNetworkInterface& interface, const QByteArray& data,
                                quint16 port)
{
    QNetworkDatagram limited(data, QHostAddress(QHostAddress::Broadcast), port);
    limited.setInterfaceIndex(uint(interface.index()));
    if (sendDatagram(limited))
        return true;
    for (const QNetworkAddressEntry& entry : interface.addressEntries()) {
        if (entry.ip().protocol() != QAbstractSocket::IPv4Protocol || entry.broadcast().isNull())
            continue;
        QNetworkDatagram directed(data, entry.broadcast(), port);
        directed.setInterfaceIndex(uint(interface.index()));
        if (sendDatagram(directed))
            return true;
    }
    return false;
}

bool QtUdpEndpoint::sendDatagram(const QNetworkDatagram& datagram)
{
    if (!isOpen()) {
        m_lastFailure = SendFailure::Endpoint;
        m_lastError = QStringLiteral("the socket is closed");
        return false;
    }
    if (m_socket->writeDatagram(datagram) == datagram.data().size()) {
        m_lastFailure = SendFailure::None;
        m_lastError.clear();
        return true;
    }
    // The socket stays bound to our port: whatever the kernel refused (no
    // route, unreachable host, a full buffer) concerns this datagram only.
    m_lastFailure = m_socket->state() == QAbstractSocket::BoundState ? SendFailure::Unreachable
                                                                     : SendFailure::Endpoint;
    m_lastError = m_socket->errorString();
    return false;
}

} // namespace nms
