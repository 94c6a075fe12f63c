#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include <optional>

namespace nms {

class Dialogs;
class UdpEndpoint;

// The program's one UDP endpoint, `udpClient`: local port 2976, a remote
// host and port that every sender sets before it sends, and the dispatch of
// arriving datagrams by their length.
class UdpClient : public QObject {
    Q_OBJECT
public:
    // The program's own port, and the port an element takes its
    // configuration on.
    static constexpr quint16 kConfigurationPort = 2976;
    static constexpr quint16 kElementControlPort = 2977;
    static constexpr quint16 kPagingPort = 1901;
    static constexpr int kLevelPacketLength = 1440;
    static constexpr int kLongestFeedback = 48;
    // Answers (feedback datagrams) held back while a message box is open;
    // only one that finds this many already held is dropped.
    static constexpr int kAnswerCapacity = 4096;
    // Said when the port cannot be bound (another program holds it).
    static inline const QString kPortOccupiedText =
        QStringLiteral("Unable to use UDP port %1: occupied.").arg(kConfigurationPort);

    enum class ReopenResult { Ready, NoValidAddress, EndpointFailed };
    // Said when a reopen finds no usable address in the element's record.
    static inline const QString kNoValidAddressText =
        QStringLiteral("The local database holds no valid IP address for this element.");

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
    // Datagrams waiting for an open box to close: the held answers and at
    // most one level packet, the newest.
    int waitingCount() const { return int(m_waitingAnswers.size()) + (m_waitingLevel ? 1 : 0); }
    // Answers dropped because kAnswerCapacity were already held, and level
    // packets replaced by a newer one while they waited.
    int droppedWhileBusy() const { return m_droppedAnswers; }
    int supersededLevelPackets() const { return m_supersededLevelPackets; }
    // Arrivals are numbered from 1 as they come in (held ones keep their
    // number): the last one that came in, the one being handed on now (0
    // outside a dispatch).
    quint64 lastArrivalNumber() const { return m_lastArrival; }
    quint64 dispatchingArrivalNumber() const { return m_dispatchingArrival; }
    // Whether an answer numbered first to last (both included) is held back.
    bool holdsAnswerArrivedBetween(quint64 first, quint64 last) const;
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
    quint16 m_remotePort = kConfigurationPort;
    struct Arrival {
        quint64 number = 0;
        QByteArray data;
        QHostAddress sender;
    };
    // Answers are all kept, in arrival order: each one may be the answer
    // to a configuration. A level packet only shows a moment's level, so a
    // newer one replaces the one waiting.
    QList<Arrival> m_waitingAnswers;
    std::optional<Arrival> m_waitingLevel;
    int m_droppedAnswers = 0;
    int m_supersededLevelPackets = 0;
    bool m_dispatching = false;
    quint64 m_lastArrival = 0;
    quint64 m_dispatchingArrival = 0;
    QHostAddress m_dispatchingSender;
    // Hands on the next held datagram once control is back in the event
    // loop. Started when something is held, when a dispatch ends and when
    // the last box closes; never while a box is open, so nothing polls.
    QTimer m_deliveryTimer;

    void onDatagramArrived(const QByteArray& data, const QHostAddress& sender);
    bool mustWait() const;
    bool hasWaiting() const;
    void holdBack(const Arrival& arrival);
    void deliverNextWaiting();
    Arrival takeOldestWaiting();
    quint64 oldestWaitingAnswerNumber() const;
    void scheduleDelivery();
    void dispatch(const Arrival& arrival);
};

} // namespace nms
