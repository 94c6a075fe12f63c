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
    // Busy: the kernel had no room for the datagram just now (EAGAIN,
    // ENOBUFS); the same send a moment later normally leaves.
    enum class SendFailure { None, Busy, Unreachable, Endpoint };
    virtual SendFailure lastSendFailure() const { return SendFailure::Endpoint; }
    virtual QString lastSendError() const { return QString(); }
    // Waits at most this long for room to send again after a Busy failure.
    virtual void waitForSendRoom(int milliseconds) { Q_UNUSED(milliseconds); }

    // Hands on at once, through datagramArrived, every datagram that has
    // reached the socket by now, so that a time-out can first see what
    // arrived before it.
    virtual void takePending() {}

    // Datagrams that reached this endpoint's port but were lost before the
    // program could read them (the kernel's receive queue was full), counted
    // since bind(). A caller compares two readings to see what one burst lost.
    virtual quint64 droppedDatagrams() const { return 0; }

    // An arrival time that the endpoint does not know: the receiver stamps
    // the datagram with its own clock when it is handed on.
    static constexpr qint64 kArrivedNow = -1;

signals:
    // arrivedUs: when the datagram reached the station (the kernel's receive
    // time), on the program's steady clock in microseconds.
    void datagramArrived(const QByteArray& data, const QHostAddress& sender, quint16 senderPort,
                         qint64 arrivedUs);
};

} // namespace nms
