#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QObject>

namespace nms {

// The UDP socket under the program's endpoint. bind() is exclusive on
// 0.0.0.0 (no address or port reuse), so a port held by another program is
// reported as a failure. Arrivals are delivered whole, one signal each,
// after the socket has been drained.
class UdpEndpoint : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~UdpEndpoint() override = default;

    virtual bool bind(quint16 localPort) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool sendTo(const QByteArray& data, const QHostAddress& host, quint16 port) = 0;
    // Sends to 255.255.255.255 and also out of every up, broadcast-capable
    // IPv4 interface; true when at least one copy left.
    virtual bool broadcast(const QByteArray& data, quint16 port) = 0;

    // Why the last failed send failed. Only a closed or lost socket makes the
    // endpoint unusable; a destination that the network cannot reach (no
    // route, host unreachable) is a refusal of that one datagram.
    enum class SendFailure { None, Unreachable, Endpoint };
    virtual SendFailure lastSendFailure() const { return SendFailure::Endpoint; }
    virtual QString lastSendError() const { return QString(); }

    // Datagrams that reached this endpoint's port but were lost before the
    // program could read them (the kernel's receive queue was full), counted
    // since bind(). A caller compares two readings to see what one burst lost.
    virtual quint64 droppedDatagrams() const { return 0; }

signals:
    void datagramArrived(const QByteArray& data, const QHostAddress& sender, quint16 senderPort);
};

} // namespace nms
