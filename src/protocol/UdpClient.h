#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace nms {

class Dialogs;
class UdpEndpoint;

// The program's one UDP endpoint, `udpClient`: local port 2976, a remote
// host and port that every sender sets before it sends, and the dispatch of
// arriving datagrams by their length.
class UdpClient : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kLocalPort = 2976;
    static constexpr quint16 kElementConfigPort = 2976;
    static constexpr quint16 kElementControlPort = 2977;
    static constexpr quint16 kPagingPort = 1901;
    static constexpr int kLevelPacketLength = 1440;
    static constexpr int kLongestFeedback = 48;
    // Datagrams held back while a message box is open; the excess is dropped.
    static constexpr int kWaitingCapacity = 256;

    enum class ReopenResult { Ready, NoValidAddress, EndpointFailed };

    UdpClient(UdpEndpoint& socket, Dialogs& dialogs, QObject* parent = nullptr);

    QString remoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString& host) { m_remoteHost = host; }
    quint16 remotePort() const { return m_remotePort; }
    void setRemotePort(quint16 port) { m_remotePort = port; }
    bool isClosed() const;

    // Exclusive bind of 0.0.0.0:2976; false when the port is taken.
    bool bindLocal();
    void close();

    // Runs before every datagram to one element: binds again only when the
    // endpoint is closed (an open one keeps its queued answers), then aims
    // it at the element's stored address and the given port. An address
    // that is empty or not a dotted IPv4 address is refused before anything
    // is sent (NoValidAddress); the caller shows its own box for that.
    ReopenResult ReopenForElement(quint16 remotePort, const QString& storedAddress);
    // Sends one datagram to the current remote host and port.
    bool send(const QByteArray& datagram);
    // The discovery broadcast to 255.255.255.255 (and every broadcast-capable
    // interface) at the given port; the remote settings are not touched.
    bool broadcast(const QByteArray& datagram, quint16 port);
    // Datagrams the endpoint lost before they could be read, since it was
    // bound (the kernel's queue was full).
    quint64 droppedByEndpoint() const;

    // True for the lengths that the dispatch hands on (1440, and 0..48 but 3).
    static bool isLevelPacketLength(qsizetype length);
    static bool isFeedbackLength(qsizetype length);
    // Datagrams waiting for an open box to close, and those dropped because
    // the waiting queue was full.
    int waitingCount() const { return int(m_waiting.size()); }
    int droppedWhileBusy() const { return m_droppedWhileBusy; }
    // Arrivals are numbered from 1 as they come in (held ones keep their
    // number): the last one that came in, the one being handed on now (0
    // outside a dispatch), and the oldest one still held back (0 when none).
    quint64 lastArrivalNumber() const { return m_lastArrival; }
    quint64 dispatchingArrivalNumber() const { return m_dispatchingArrival; }
    quint64 oldestWaitingArrivalNumber() const;
    // Who sent the datagram being handed on now (null outside a dispatch).
    QHostAddress dispatchingSender() const { return m_dispatchingSender; }

signals:
    // Dispatch by length: 1440 bytes, and 0 to 48 bytes except 3.
    void levelPacketArrived(const QByteArray& datagram);
    void feedbackArrived(const QByteArray& datagram);
    // The endpoint cannot be used any more: the program shows
    // "Unable to use UDP port 2976: occupied." and ends.
    void endpointFailed();
    // One datagram to an element could not leave (no route to its address,
    // host unreachable); the endpoint itself is fine and the program goes on.
    void sendRefused(const QString& host, const QString& reason);

private:
    UdpEndpoint& m_socket;
    Dialogs& m_dialogs;
    QString m_remoteHost;
    quint16 m_remotePort = 2976;
    struct Arrival {
        quint64 number = 0;
        QByteArray data;
        QHostAddress sender;
    };
    QList<Arrival> m_waiting;
    int m_droppedWhileBusy = 0;
    bool m_dispatching = false;
    quint64 m_lastArrival = 0;
    quint64 m_dispatchingArrival = 0;
    QHostAddress m_dispatchingSender;
    // Re-checks the waiting queue: at once after a delivery, a little later
    // while a box is still open. It has no observable interval of its own.
    QTimer m_deliveryTimer;

    void onDatagramArrived(const QByteArray& data, const QHostAddress& sender);
    bool mustWait() const;
    void holdBack(const Arrival& arrival);
    void deliverNextWaiting();
    void scheduleDelivery(int delayMs);
    void dispatch(const Arrival& arrival);
};

} // namespace nms
