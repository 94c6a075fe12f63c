#include "protocol/UdpClient.h"

#include <algorithm>

#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/UdpEndpoint.h"

namespace nms {

namespace {

// The stored address in plain dotted form: the checks accept blanks around
// the digits and leading zeros, the socket does not. Called only for an
// address the checks accepted.
QString canonicalAddress(const QString& storedAddress)
{
    return QHostAddress(text::ReadIP(storedAddress).value_or(0)).toString();
}

} // namespace

UdpClient::UdpClient(UdpEndpoint& socket, Dialogs& dialogs, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
    , m_dialogs(dialogs)
{
    m_deliveryTimer.setSingleShot(true);
    connect(&m_deliveryTimer, &QTimer::timeout, this, &UdpClient::deliverNextWaiting);
    m_dialogs.whenAllBoxesClosed(this, [this] {
        if (hasWaiting())
            scheduleDelivery();
    });
    connect(&m_socket, &UdpEndpoint::datagramArrived, this,
            [this](const QByteArray& data, const QHostAddress& sender, quint16) {
                onDatagramArrived(data, sender);
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
    m_remoteHost = canonicalAddress(storedAddress);
    return ReopenResult::Ready;
}

bool UdpClient::send(const QByteArray& datagram)
{
    const QHostAddress host(m_remoteHost);
    if (host.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (!m_socket.sendTo(datagram, host, m_remotePort)) {
        if (m_socket.lastSendFailure() == UdpEndpoint::SendFailure::Unreachable)
            emit sendRefused(m_remoteHost, m_socket.lastSendError());
        else
            emit endpointFailed();
        return false;
    }
    return true;
}

bool UdpClient::broadcast(const QByteArray& datagram, quint16 port)
{
    return m_socket.broadcast(datagram, port);
}

bool UdpClient::isLevelPacketLength(qsizetype length)
{
    return length == kLevelPacketLength;
}

bool UdpClient::isFeedbackLength(qsizetype length)
{
    return length >= 0 && length <= kLongestFeedback && length != 3;
}

void UdpClient::onDatagramArrived(const QByteArray& data, const QHostAddress& sender)
{
    if (!isLevelPacketLength(data.size()) && !isFeedbackLength(data.size()))
        return;
    const Arrival arrival{++m_lastArrival, data, sender};
    if (mustWait()) {
        holdBack(arrival);
        return;
    }
    dispatch(arrival);
}

quint64 UdpClient::oldestWaitingAnswerNumber() const
{
    return m_waitingAnswers.isEmpty() ? 0 : m_waitingAnswers.first().number;
}

bool UdpClient::holdsAnswerArrivedBetween(quint64 first, quint64 last) const
{
    return std::any_of(
        m_waitingAnswers.cbegin(), m_waitingAnswers.cend(),
        [first, last](const Arrival& held) { return held.number >= first && held.number <= last; });
}

// A datagram waits while a box is open (its handler may raise another box),
// while another one is being handled, and behind those already waiting.
bool UdpClient::mustWait() const
{
    return m_dialogs.isBoxOpen() || m_dispatching || hasWaiting();
}

bool UdpClient::hasWaiting() const
{
    return !m_waitingAnswers.isEmpty() || m_waitingLevel.has_value();
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
    dispatch(takeOldestWaiting());
    if (hasWaiting())
        scheduleDelivery();
}

// In arrival order, the level packet among the answers.
UdpClient::Arrival UdpClient::takeOldestWaiting()
{
    const bool levelFirst =
        m_waitingLevel &&
        (m_waitingAnswers.isEmpty() || m_waitingLevel->number < oldestWaitingAnswerNumber());
    if (!levelFirst)
        return m_waitingAnswers.takeFirst();
    Arrival level = std::move(*m_waitingLevel);
    m_waitingLevel.reset();
    return level;
}

void UdpClient::dispatch(const Arrival& arrival)
{
    m_dispatching = true;
    m_dispatchingArrival = arrival.number;
    m_dispatchingSender = arrival.sender;
    if (isLevelPacketLength(arrival.data.size()))
        emit levelPacketArrived(arrival.data);
    else
        emit feedbackArrived(arrival.data);
    m_dispatchingArrival = 0;
    m_dispatchingSender.clear();
    m_dispatching = false;
    // What arrived while this one was handled goes next.
    if (hasWaiting())
        scheduleDelivery();
}

quint64 UdpClient::droppedByEndpoint() const
{
    return m_socket.droppedDatagrams();
}

} // namespace nms
