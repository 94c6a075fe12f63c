#include "protocol/UdpClient.h"

#include <algorithm>

#include "db/TextHelpers.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/UdpEndpoint.h"

namespace nms {

UdpClient::UdpClient(UdpEndpoint& socket, Dialogs& dialogs, const Clock& clock, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_dialogs(dialogs)
    , m_clock(clock)
{
    m_deliveryTimer.setSingleShot(true);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &UdpClient::deliverNextWaiting);
    m_dialogs.whenAllBoxesClosed(this, [this] {
        if (hasWaiting())
            scheduleDelivery();
    });
    connect(&m_socket, &UdpEndpoint::datagramArrived, this,
            [this](const QByteArray& data, const QHostAddress& sender, quint16, qint64 arrivedUs) {
                onDatagramArrived(data, sender, arrivedUs);
            });
}

bool UdpClient::isClosed() const
{
    return !m_socket.isOpen();
}

bool UdpClient::bindLocal()
{
    if (m_socket.isOpen())
        return true;
    return m_socket.bind(kConfigurationPort);
}

void UdpClient::close()
{
    m_socket.close();
}

UdpClient::ReopenResult UdpClient::ReopenForElement(quint16 remotePort,
                                                    const QString& storedAddress)
{
    if (!text::IsValidIP(storedAddress))
        return ReopenResult::NoValidAddress;
    // An open endpoint is kept: closing it would drop answers already queued
    // for the program and let another program take the port.
    if (isClosed() && !m_socket.bind(kConfigurationPort)) {
        emit endpointFailed();
        return ReopenResult::EndpointFailed;
    }
    m_remotePort = remotePort;
    // The checks accept blanks around the digits and leading zeros; the
    // socket does not.
    m_remoteHost = text::CanonicalIP(storedAddress);
    return ReopenResult::Ready;
}

bool UdpClient::send(const QByteArray& datagram)
{
    const QHostAddress host(m_remoteHost);
    if (host.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (!sendLeaving(datagram, host)) {
        if (m_socket.lastSendFailure() != UdpEndpoint::SendFailure::Endpoint)
            emit sendRefused(m_remoteHost, m_socket.lastSendError());
        else
            emit endpointFailed();
        return false;
    }
    return true;
}

// A full queue in the kernel is a moment's congestion, not an element that
// cannot be reached: the datagram is tried again after a short wait. Only
// a queue that stays full over every attempt is reported.
bool UdpClient::sendLeaving(const QByteArray& datagram, const QHostAddress& host)
{
    return retryWhileBusy([&] { return m_socket.sendTo(datagram, host, m_remotePort); });
}

bool UdpClient::retryWhileBusy(const std::function<bool()>& sendOnce)
{
    for (int attempt = 1;; ++attempt) {
        if (sendOnce())
            return true;
        if (m_socket.lastSendFailure() != UdpEndpoint::SendFailure::Busy ||
            attempt >= kSendAttempts)
            return false;
        m_socket.waitForSendRoom(kSendRoomWaitMs);
    }
}

bool UdpClient::broadcast(const QByteArray& datagram, quint16 port)
{
    return retryWhileBusy([&] { return m_socket.broadcast(datagram, port); });
}

bool UdpClient::isLevelPacketLength(qsizetype length)
{
    return length == kLevelPacketLength;
}

bool UdpClient::isFeedbackLength(qsizetype length)
{
    return length >= 0 && length <= kLongestFeedback && length != 3;
}

void UdpClient::onDatagramArrived(const QByteArray& data, const QHostAddress& sender,
                                  qint64 arrivedUs)
{
    if (!isLevelPacketLength(data.size()) && !isFeedbackLength(data.size()))
        return;
    if (arrivedUs == UdpEndpoint::kArrivedNow)
        arrivedUs = nowUs();
    const Arrival arrival{++m_lastArrival, arrivedUs, data, sender};
    if (mustWait()) {
        holdBack(arrival);
        return;
    }
    dispatch(arrival);
}

qint64 UdpClient::nowUs() const
{
    return m_clock.nowUs();
}

// Whatever the kernel already holds is taken in first (held, not handled):
// it may have arrived before the moment.
void UdpClient::afterArrivalsUpTo(qint64 momentUs, QObject* context, std::function<void()> action)
{
    takePendingArrivals();
    const bool earlierDeferred = !m_deferred.isEmpty() && m_deferred.first().momentUs <= momentUs;
    if (!holdsArrivalUpTo(momentUs) && !earlierDeferred) {
        action();
        return;
    }
    auto place = std::find_if(m_deferred.begin(), m_deferred.end(),
                              [momentUs](const Deferred& d) { return d.momentUs > momentUs; });
    m_deferred.insert(place, Deferred{momentUs, context, std::move(action)});
    scheduleDelivery();
}

void UdpClient::handOnArrivalsUpTo(qint64 momentUs)
{
    if (m_dispatching)
        return;
    takePendingArrivals();
    while (!m_dialogs.isBoxOpen() && !m_dispatching && nextIsDueBy(momentUs))
        handOnNext();
}

void UdpClient::takePendingArrivals()
{
    const bool wasTaking = m_takingPending;
    m_takingPending = true;
    m_socket.takePending();
    m_takingPending = wasTaking;
}

bool UdpClient::holdsArrivalUpTo(qint64 momentUs) const
{
    const auto upTo = [momentUs](const Arrival& held) { return held.arrivedUs <= momentUs; };
    return std::any_of(m_waitingAnswers.cbegin(), m_waitingAnswers.cend(), upTo) ||
           (m_waitingLevel && upTo(*m_waitingLevel));
}

// A datagram waits while a box is open (its handler may raise another box),
// while another one is being handled, and behind those already waiting.
bool UdpClient::mustWait() const
{
    return m_dialogs.isBoxOpen() || m_dispatching || m_takingPending || hasWaiting();
}

bool UdpClient::hasWaiting() const
{
    return !m_waitingAnswers.isEmpty() || m_waitingLevel.has_value() || !m_deferred.isEmpty();
}

void UdpClient::holdBack(const Arrival& arrival)
{
    if (isLevelPacketLength(arrival.data.size())) {
        if (m_waitingLevel)
            ++m_supersededLevelPackets;
        m_waitingLevel = arrival;
    } else if (m_waitingAnswers.size() < kAnswerCapacity) {
        m_waitingAnswers.append(arrival);
    } else {
        ++m_droppedAnswers;
        return;
    }
    scheduleDelivery();
}

void UdpClient::scheduleDelivery()
{
    if (!m_deliveryTimer.isActive())
        m_deliveryTimer.start(0);
}

// One datagram per turn of the event loop, so that timers and the
// operator's input go on between them. While a box is open or another
// datagram is being handled nothing is delivered; the box's closing or the
// dispatch's end starts the delivery again.
void UdpClient::deliverNextWaiting()
{
    if (!hasWaiting() || m_dialogs.isBoxOpen() || m_dispatching)
        return;
    handOnNext();
    if (hasWaiting())
        scheduleDelivery();
}

// The oldest held datagram: the level packet among the answers by number.
const UdpClient::Arrival* UdpClient::oldestWaiting() const
{
    const bool levelFirst =
        m_waitingLevel &&
        (m_waitingAnswers.isEmpty() || m_waitingLevel->number < m_waitingAnswers.first().number);
    if (levelFirst)
        return &*m_waitingLevel;
    return m_waitingAnswers.isEmpty() ? nullptr : &m_waitingAnswers.first();
}

bool UdpClient::nextIsDueBy(qint64 momentUs) const
{
    const Arrival* datagram = oldestWaiting();
    if (datagram != nullptr && datagram->arrivedUs <= momentUs)
        return true;
    return !m_deferred.isEmpty() && m_deferred.first().momentUs <= momentUs;
}

// A time-out goes before a datagram that arrived after its moment; a
// datagram that arrived by then goes first.
void UdpClient::handOnNext()
{
    const Arrival* datagram = oldestWaiting();
    if (!m_deferred.isEmpty() &&
        (datagram == nullptr || m_deferred.first().momentUs < datagram->arrivedUs)) {
        runDeferred();
        return;
    }
    if (datagram != nullptr)
        dispatch(takeOldestWaiting());
}

void UdpClient::runDeferred()
{
    const Deferred deferred = m_deferred.takeFirst();
    if (deferred.context.isNull())
        return;
    m_dispatching = true;
    deferred.action();
    m_dispatching = false;
    if (hasWaiting())
        scheduleDelivery();
}

UdpClient::Arrival UdpClient::takeOldestWaiting()
{
    if (m_waitingLevel && oldestWaiting() == &*m_waitingLevel) {
        Arrival level = std::move(*m_waitingLevel);
        m_waitingLevel.reset();
        return level;
    }
    return m_waitingAnswers.takeFirst();
}

void UdpClient::dispatch(const Arrival& arrival)
{
    m_dispatching = true;
    m_dispatchingArrival = arrival.number;
    m_dispatchingArrivalUs = arrival.arrivedUs;
    m_dispatchingSender = arrival.sender;
    if (isLevelPacketLength(arrival.data.size()))
        emit levelPacketArrived(arrival.data);
    else
        emit feedbackArrived(arrival.data);
    m_dispatchingArrival = 0;
    m_dispatchingArrivalUs = 0;
    m_dispatchingSender.clear();
    m_dispatching = false;
    // What arrived while this one was handled goes next.
    if (hasWaiting())
        scheduleDelivery();
}

quint64 UdpClient::lostArrivals() const
{
    return m_socket.droppedDatagrams() + quint64(m_droppedAnswers);
}

} // namespace nms
