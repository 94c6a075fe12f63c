#pragma once

#include <QList>

#include "platform/UdpEndpoint.h"

namespace nms::test {

// A UDP endpoint without a network: records what the program sends, lets a
// test make bind or send fail, and injects arrivals as the real socket would
// deliver them (one signal per datagram).
class FakeUdpEndpoint : public UdpEndpoint {
    Q_OBJECT
public:
    struct Sent {
        QByteArray data;
        QHostAddress host;
        quint16 port = 0;
        // True for broadcast(): host is then 255.255.255.255.
        bool broadcast = false;
    };

    QList<Sent> sent;
    // When set, the next bind() (and every later one) fails.
    bool failBind = false;
    // When set, sendTo() and broadcast() fail and record nothing.
    bool failSend = false;
    // How a failed send reports itself.
    SendFailure failure = SendFailure::Endpoint;
    // This many sends fail first as Busy (the kernel's queue full), and
    // waitForSendRoom() calls are counted.
    int busySends = 0;
    int roomWaits = 0;
    SendFailure lastSendFailure() const override { return m_busyNow ? SendFailure::Busy : failure; }
    void waitForSendRoom(int) override { ++roomWaits; }
    QString lastSendError() const override { return QStringLiteral("Network unreachable"); }

    // What droppedDatagrams() reports: a test raises it to play a burst
    // that overflowed the kernel's queue.
    quint64 dropped = 0;
    quint64 droppedDatagrams() const override { return dropped; }

    int bindCount = 0;
    int closeCount = 0;
    quint16 boundPort = 0;

    bool bind(quint16 localPort) override
    {
        ++bindCount;
        if (failBind || m_open)
            return false;
        boundPort = localPort;
        return m_open = true;
    }
    void close() override
    {
        ++closeCount;
        m_open = false;
    }
    bool isOpen() const override { return m_open; }
    bool sendTo(const QByteArray& data, const QHostAddress& host, quint16 port) override
    {
        return record({data, host, port, false});
    }
    bool broadcast(const QByteArray& data, quint16 port) override
    {
        return record({data, QHostAddress(QHostAddress::Broadcast), port, true});
    }

    // Delivers one datagram as if it had arrived from the given sender, at
    // the given time (by default the receiver's now).
    void inject(const QByteArray& data,
                const QHostAddress& sender = QHostAddress(QStringLiteral("198.18.0.10")),
                quint16 senderPort = 2976, qint64 arrivedUs = kArrivedNow)
    {
        emit datagramArrived(data, sender, senderPort, arrivedUs);
    }

private:
    bool record(const Sent& datagram)
    {
        m_busyNow = busySends > 0;
        if (m_busyNow) {
            --busySends;
            return false;
        }
        if (failSend || !m_open)
            return false;
        sent.append(datagram);
        return true;
    }

    bool m_open = false;
    bool m_busyNow = false;
};

} // namespace nms::test
