#pragma once

#include <QList>
#include <QString>

#include "platform/UdpEndpoint.h"

struct timespec;
class QNetworkInterface;
class QSocketNotifier;

namespace nms {

// The program's UDP endpoint on a Linux datagram socket, watched by a Qt
// socket notifier. The socket asks for the largest receive queue the kernel
// allows, so that a few hundred elements answering one broadcast within a
// few milliseconds all fit, and every wake-up reads until nothing is pending
// (every length from 0 bytes up). Each read also carries the kernel's count
// of datagrams it had to drop for a full queue, and the kernel's receive
// time, so that a datagram held behind a box is still judged by when it
// came. Datagrams are handed on one
// signal each from a queued call, outside the notifier, so a handler that
// opens a modal box does not stop the socket being read.
class QtUdpEndpoint : public UdpEndpoint {
    Q_OBJECT
public:
    // Bounds for one wake-up of the socket and for datagrams read but not
    // yet handed on (in number and in bytes, so that a flood of long ones
    // cannot take the memory); beyond the latter they are dropped and
    // counted.
    static constexpr int kMaxReadsPerWake = 4096;
    static constexpr int kInboxCapacity = 8192;
    static constexpr qsizetype kInboxByteCapacity = 16 * 1024 * 1024;
    // Asked for where the kernel lets a privileged program exceed its
    // ceiling; otherwise the ceiling itself is asked for.
    static constexpr int kPreferredReceiveBuffer = 16 * 1024 * 1024;

    explicit QtUdpEndpoint(QObject* parent = nullptr);
    ~QtUdpEndpoint() override;

    bool bind(quint16 localPort) override;
    void close() override;
    bool isOpen() const override;
    bool sendTo(const QByteArray& data, const QHostAddress& host, quint16 port) override;
    bool broadcast(const QByteArray& data, quint16 port) override;
    SendFailure lastSendFailure() const override { return m_lastFailure; }
    QString lastSendError() const override { return m_lastError; }
    quint64 droppedDatagrams() const override;
    void waitForSendRoom(int milliseconds) override;
    void takePending() override;

    // The receive queue the kernel granted, in bytes (0 when closed).
    int receiveBufferBytes() const;
    // Limits broadcast() to the interface of this name (empty: every one).
    void restrictBroadcastTo(const QString& interfaceName) { m_broadcastInterface = interfaceName; }

private:
    struct Arrival {
        QByteArray data;
        QHostAddress sender;
        quint16 senderPort = 0;
        qint64 arrivedUs = kArrivedNow;
    };

    int m_fd = -1;
    QSocketNotifier* m_notifier = nullptr;
    SendFailure m_lastFailure = SendFailure::None;
    QString m_lastError;
    QList<Arrival> m_inbox;
    qsizetype m_inboxBytes = 0;
    QByteArray m_readBuffer;
    bool m_handOnScheduled = false;
    quint64 m_kernelDrops = 0;
    quint64 m_inboxDrops = 0;
    QString m_broadcastInterface;

    void enlargeReceiveBuffer();
    void readPending();
    bool readOne();
    static qint64 steadyArrivalUs(const timespec& kernelTime);
    void handOnArrivals();
    static bool isBroadcastInterface(const QNetworkInterface& interface);
    bool broadcastOn(const QNetworkInterface& interface, const QByteArray& data, quint16 port);
    bool sendDatagram(const QByteArray& data, const QHostAddress& host, quint16 port,
                      int interfaceIndex = 0);
    void recordSendFailure(int error);
};

} // namespace nms
