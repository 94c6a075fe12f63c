#pragma once

#include <QList>
#include <QNetworkDatagram>

#include "platform/UdpEndpoint.h"

class QUdpSocket;

class QNetworkInterface;

namespace nms {

// The program's UDP endpoint over QUdpSocket. Arriving datagrams are read
// until none is pending (every length from 0 bytes up) and handed on one
// signal each from a queued call, outside the socket's own notification, so
// a handler that opens a modal box does not stop the socket being read.
class QtUdpEndpoint : public UdpEndpoint {
    Q_OBJECT
public:
    // Bounds for one wake-up of the socket and for datagrams read but not
    // yet handed on; beyond the latter they are dropped and counted.
    static constexpr int kMaxReadsPerWake = 1024;
    static constexpr int kInboxCapacity = 4096;

    explicit QtUdpEndpoint(QObject* parent = nullptr);
    ~QtUdpEndpoint() override;

    bool bind(quint16 localPort) override;
    void close() override;
    bool isOpen() const override;
    bool sendTo(const QByteArray& data, const QHostAddress& host, quint16 port) override;
    bool broadcast(const QByteArray& data, quint16 port) override;
    SendFailure lastSendFailure() const override { return m_lastFailure; }
    QString lastSendError() const override { return m_lastError; }

    int droppedArrivals() const { return m_droppedArrivals; }

private:
    SendFailure m_lastFailure = SendFailure::None;
    QString m_lastError;
    QUdpSocket* m_socket = nullptr;
    QList<QNetworkDatagram> m_inbox;
    bool m_handOnScheduled = false;
    int m_droppedArrivals = 0;

    void readPending();
    void handOnArrivals();
    static bool isBroadcastInterface(const QNetworkInterface& interface);
    bool broadcastOn(const QNetworkInterface& interface, const QByteArray& data, quint16 port);
    bool sendDatagram(const QNetworkDatagram& datagram);
};

} // namespace nms
