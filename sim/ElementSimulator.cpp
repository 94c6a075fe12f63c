#include "ElementSimulator.h"

#include "SimCodec.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nms::sim {

namespace {

QString hex(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

QString peer(const QHostAddress& address, quint16 port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

QString describe(const ElementState& s)
{
    const QByteArray name(reinterpret_cast<const char*>(s.name.data()), int(s.name.size()));
    return QStringLiteral("ip=%1 mask=%2 gw=%3 remote=%4 input=%5 type=%6 tx=%7 name=%8 "
                          "sfn=%9 buf=%10 sdm=%11 sdl=%12 sdt=%13")
        .arg(SimCodec::addressText(s.ip), SimCodec::addressText(s.mask),
             SimCodec::addressText(s.gw), SimCodec::addressText(s.remote))
        .arg(s.input)
        .arg(s.type)
        .arg(s.tx)
        .arg(hex(name))
        .arg(s.sfn)
        .arg(s.buf)
        .arg(s.sdm)
        .arg(s.sdl)
        .arg(s.sdt);
}

} // namespace

ElementSimulator::ElementSimulator(SimConfig config, EventLog& log, QObject* parent)
    : QObject(parent)
    , m_config(std::move(config))
    , m_state(m_config.state)
    , m_log(log)
    , m_mover(m_config.applyInterface)
{
}

bool ElementSimulator::start(QString* error)
{
    m_paging = bindPort(m_config.pagingPort, error);
    m_configuration = m_paging ? bindPort(m_config.configurationPort, error) : nullptr;
    m_level = m_configuration ? bindPort(m_config.levelPort, error) : nullptr;
    if (!m_level)
        return false;
    m_log.write(
        QStringLiteral("READY role=%1 ip=%2 ports=%3,%4,%5")
            .arg(m_state.isDecoder() ? QStringLiteral("decoder") : QStringLiteral("encoder"),
                 SimCodec::addressText(m_state.ip))
            .arg(m_config.pagingPort)
            .arg(m_config.configurationPort)
            .arg(m_config.levelPort));
    return true;
}

QUdpSocket* ElementSimulator::bindPort(quint16 port, QString* error)
{
    auto* socket = new QUdpSocket(this);
    if (!m_config.device.isEmpty()) {
        if (!bindOnDevice(socket, port, error)) {
            delete socket;
            return nullptr;
        }
    } else if (!socket->bind(m_config.bindAddress, port, QAbstractSocket::DontShareAddress)) {
        *error = QStringLiteral("cannot bind UDP port %1 on %2: %3")
                     .arg(port)
                     .arg(m_config.bindAddress.toString(), socket->errorString());
        delete socket;
        return nullptr;
    }
    connect(socket, &QUdpSocket::readyRead, this, [this, socket] { drain(socket); });
    return socket;
}

// Bound to the interface, the socket sees only what arrives there (the
// broadcast too) and its answers leave there, from the interface's address,
// while other elements' sockets share the same port on their interfaces.
bool ElementSimulator::bindOnDevice(QUdpSocket* socket, quint16 port, QString* error)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const QByteArray device = m_config.device.toLocal8Bit();
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(m_config.bindAddress.toIPv4Address());
    const int on = 1;
    const bool bound = fd >= 0 &&
                       ::setsockopt(fd, SOL_SOCKET, SO_BINDTODEVICE, device.constData(),
                                    socklen_t(device.size())) == 0 &&
                       ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0 &&
                       ::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
    if (bound && socket->setSocketDescriptor(fd, QAbstractSocket::BoundState))
        return true;
    *error = QStringLiteral("cannot bind UDP port %1 on %2: %3")
                 .arg(port)
                 .arg(m_config.device, QString::fromLocal8Bit(std::strerror(errno)));
    if (fd >= 0)
        ::close(fd);
    return false;
}

void ElementSimulator::drain(QUdpSocket* socket)
{
    while (socket->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket->receiveDatagram();
        if (!datagram.isValid())
            break;
        const QHostAddress sender(datagram.senderAddress().toIPv4Address());
        dispatch(socket, datagram.data(), sender, quint16(datagram.senderPort()));
    }
}

void ElementSimulator::dispatch(QUdpSocket* socket, const QByteArray& datagram,
                                const QHostAddress& sender, quint16 senderPort)
{
    m_log.write(QStringLiteral("RX port=%1 from=%2 len=%3 hex=%4")
                    .arg(socket->localPort())
                    .arg(peer(sender, senderPort))
                    .arg(datagram.size())
                    .arg(hex(datagram)));
    if (!isAllowedPeer(sender))
        return ignore(socket, sender, senderPort,
                      QStringLiteral("sender outside loopback and 198.18.0.0/15"));
    if (socket == m_paging)
        handlePaging(socket, datagram, sender, senderPort);
    else if (socket == m_configuration)
        handleConfiguration(socket, datagram, sender, senderPort);
    else
        handleLevelPort(socket, datagram, sender, senderPort);
}

void ElementSimulator::handlePaging(QUdpSocket* socket, const QByteArray& datagram,
                                    const QHostAddress& sender, quint16 senderPort)
{
    if (!SimCodec::isPagingRequest(datagram))
        return ignore(socket, sender, senderPort, QStringLiteral("not the paging request"));
    if (!m_config.answerPaging)
        return silent(socket, QStringLiteral("no answer to paging"));
    answer(socket, feedback({}), sender, senderPort);
}

void ElementSimulator::handleConfiguration(QUdpSocket* socket, const QByteArray& datagram,
                                           const QHostAddress& sender, quint16 senderPort)
{
    ElementState configured = m_state;
    if (!SimCodec::decodeConfiguration(datagram, configured))
        return ignore(socket, sender, senderPort, QStringLiteral("length is neither 35 nor 40"));
    applyConfiguration(configured);
    if (!m_config.answerConfiguration)
        return silent(socket, QStringLiteral("no answer to configuration"));
    answer(socket, feedback(m_config.disagreements), sender, senderPort);
}

// The interface moves before the answer leaves, so the answer comes from the
// new address and an ARP request for that address finds this element.
void ElementSimulator::applyConfiguration(const ElementState& configured)
{
    const bool moved = configured.ip != m_state.ip || configured.mask != m_state.mask ||
                       configured.gw != m_state.gw;
    m_state = configured;
    m_log.write(QStringLiteral("APPLIED ") + describe(m_state));
    if (moved && !m_config.applyInterface.isEmpty())
        m_log.write(m_mover.move(m_state.ip, m_state.mask, m_state.gw));
}

void ElementSimulator::handleLevelPort(QUdpSocket* socket, const QByteArray& datagram,
                                       const QHostAddress& sender, quint16 senderPort)
{
    if (SimCodec::isAttenuationCommand(datagram)) {
        m_state.att = std::uint8_t(datagram[0]);
        m_log.write(QStringLiteral("ATTENUATION code=%1").arg(m_state.att));
        return;
    }
    if (!SimCodec::isLevelRequest(datagram))
        return ignore(socket, sender, senderPort,
                      QStringLiteral("neither attenuation nor level request"));
    if (!m_config.answerLevel)
        return silent(socket, QStringLiteral("no answer to level request"));
    answer(socket, SimCodec::encodeLevelPacket(m_config.levelPeak), sender, senderPort);
}

QByteArray ElementSimulator::feedback(const QList<FieldOverride>& extra) const
{
    ElementState reported = m_state;
    for (const FieldOverride& override : extra)
        override.apply(reported);
    for (const FieldOverride& corruption : m_config.corruptions)
        corruption.apply(reported);
    const int length = m_config.feedbackLength >= 0 ? m_config.feedbackLength
                                                    : SimCodec::defaultFeedbackLength(reported);
    return SimCodec::encodeFeedback(reported, length);
}

void ElementSimulator::answer(QUdpSocket* socket, const QByteArray& bytes, const QHostAddress& to,
                              quint16 toPort)
{
    if (m_config.delayMs <= 0)
        return send(socket, bytes, to, toPort);
    QTimer::singleShot(m_config.delayMs, this,
                       [this, socket, bytes, to, toPort] { send(socket, bytes, to, toPort); });
}

void ElementSimulator::send(QUdpSocket* socket, const QByteArray& bytes, const QHostAddress& to,
                            quint16 toPort)
{
    const qint64 sent = socket->writeDatagram(bytes, to, toPort);
    if (sent != bytes.size()) {
        m_log.write(QStringLiteral("ERROR send to %1 failed: %2")
                        .arg(peer(to, toPort), socket->errorString()));
        return;
    }
    m_log.write(QStringLiteral("TX port=%1 to=%2 len=%3 hex=%4")
                    .arg(socket->localPort())
                    .arg(peer(to, toPort))
                    .arg(bytes.size())
                    .arg(hex(bytes)));
}

void ElementSimulator::ignore(QUdpSocket* socket, const QHostAddress& sender, quint16 senderPort,
                              const QString& reason)
{
    m_log.write(QStringLiteral("IGNORED port=%1 from=%2 reason=%3")
                    .arg(socket->localPort())
                    .arg(peer(sender, senderPort), reason));
}

void ElementSimulator::silent(QUdpSocket* socket, const QString& reason)
{
    m_log.write(QStringLiteral("SILENT port=%1 reason=%2").arg(socket->localPort()).arg(reason));
}

// Loopback or the test range only: the simulator never talks to a real network.
bool ElementSimulator::isAllowedPeer(const QHostAddress& address)
{
    const quint32 value = address.toIPv4Address();
    const bool loopback = (value >> 24) == 127;
    const bool testRange = (value >> 17) == ((198u << 7) | (18u >> 1));
    return loopback || testRange;
}

} // namespace nms::sim
