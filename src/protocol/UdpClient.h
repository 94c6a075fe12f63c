#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

namespace nms {

class Clock;
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

    // A send the kernel has no room for just now is tried this many times
    // in all, with a short wait between: well within one tick of the
    // fastest timer that sends (the level polling's 50 ms).
    static constexpr int kSendAttempts = 5;
    static constexpr int kSendRoomWaitMs = 4;

    // Arrival times are read on `clock` (the steady clock, in microseconds)
    // where the endpoint cannot give the kernel's.
    UdpClient(UdpEndpoint& socket, Dialogs& dialogs, const Clock& clock, QObject* parent = nullptr);

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
    // Datagrams lost since the endpoint was bound: by the endpoint before
    // they could be read (the kernel's queue was full), and answers dropped
    // because kAnswerCapacity were already held.
    quint64 lostArrivals() const;

    // Now, on the clock that arrival times are given on (microseconds).
    qint64 nowUs() const;
    // Runs `action` once every datagram that reached the station by
    // `momentUs` has been handed on: at once when none is held, otherwise
    // after them, in the order of arrival. A time-out runs through this with
    // its deadline, so that an answer held behind a box beats it as it would
    // have on arrival. Skipped if `context` has gone.
    void afterArrivalsUpTo(qint64 momentUs, QObject* context, std::function<void()> action);
    // Hands on now, in order, the held datagrams that reached the station by
    // `momentUs` and the time-outs due by then. An operator's answer to a
    // question is acted on after what came before it.
    void handOnArrivalsUpTo(qint64 momentUs);

    // True for the lengths that the dispatch hands on (1440, and 0..48 but 3).
    static bool isLevelPacketLength(qsizetype length);
    static bool isFeedbackLength(qsizetype length);
    // Datagrams waiting for an open box to close: the held answers and at
    // most one level packet, the newest.
    int waitingCount() const { return int(m_waitingAnswers.size()) + (m_waitingLevel ? 1 : 0); }
    // Time-outs waiting for datagrams that arrived before them.
    int deferredCount() const { return int(m_deferred.size()); }
    // Answers dropped because kAnswerCapacity were already held, and level
    // packets replaced by a newer one while they waited.
    int droppedWhileBusy() const { return m_droppedAnswers; }
    int supersededLevelPackets() const { return m_supersededLevelPackets; }
    // Arrivals are numbered from 1 as they come in (held ones keep their
    // number): the last one that came in, the one being handed on now (0
    // outside a dispatch).
    quint64 lastArrivalNumber() const { return m_lastArrival; }
    quint64 dispatchingArrivalNumber() const { return m_dispatchingArrival; }
    // When the datagram being handed on now reached the station.
    qint64 dispatchingArrivalUs() const { return m_dispatchingArrivalUs; }
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
    const Clock& m_clock;
    QString m_remoteHost;
    quint16 m_remotePort = kConfigurationPort;
    struct Arrival {
        quint64 number = 0;
        qint64 arrivedUs = 0;
        QByteArray data;
        QHostAddress sender;
    };
    // Answers are all kept, in arrival order: each one may be the answer
    // to a configuration. A level packet only shows a moment's level, so a
    // newer one replaces the one waiting.
    QList<Arrival> m_waitingAnswers;
    std::optional<Arrival> m_waitingLevel;
    struct Deferred {
        qint64 momentUs = 0;
        QPointer<QObject> context;
        std::function<void()> action;
    };
    // In the order of their moments.
    QList<Deferred> m_deferred;
    bool m_takingPending = false;
    qint64 m_dispatchingArrivalUs = 0;
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

    void onDatagramArrived(const QByteArray& data, const QHostAddress& sender, qint64 arrivedUs);
    bool sendLeaving(const QByteArray& datagram, const QHostAddress& host);
    bool retryWhileBusy(const std::function<bool()>& sendOnce);
    void takePendingArrivals();
    bool holdsArrivalUpTo(qint64 momentUs) const;
    const Arrival* oldestWaiting() const;
    bool nextIsDueBy(qint64 momentUs) const;
    void handOnNext();
    void runDeferred();
    bool mustWait() const;
    bool hasWaiting() const;
    void holdBack(const Arrival& arrival);
    void deliverNextWaiting();
    Arrival takeOldestWaiting();
    void scheduleDelivery();
    void dispatch(const Arrival& arrival);
};

} // namespace nms
