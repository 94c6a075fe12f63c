#include "diag/IcmpModule.h"

#include <QHash>

#include "db/TextHelpers.h"
#include "platform/IcmpSocket.h"

namespace nms {

namespace {

constexpr quint32 kNoAddress = 0xFFFFFFFFU;

const QHash<qint32, QString>& statusTexts()
{
    static const QHash<qint32, QString> texts{
        {0, QStringLiteral("Success!")},
        {11001, QStringLiteral("Buffer Too Small")},
        {11002, QStringLiteral("Destination Net Unreachable")},
        {11003, QStringLiteral("Destination Host Unreachable")},
        {11004, QStringLiteral("Destination Protocol Unreachable")},
        {11005, QStringLiteral("Destination Port Unreachable")},
        {11006, QStringLiteral("No Resources")},
        {11007, QStringLiteral("Bad Option")},
        {11008, QStringLiteral("Hardware Error")},
        {11009, QStringLiteral("Packet Too Big")},
        {11010, QStringLiteral("Request Timed Out")},
        {11011, QStringLiteral("Bad Request")},
        {11012, QStringLiteral("Bad Route")},
        {11013, QStringLiteral("TimeToLive Expired Transit")},
        {11014, QStringLiteral("TimeToLive Expired Reassembly")},
        {11015, QStringLiteral("Parameter Problem")},
        {11016, QStringLiteral("Source Quench")},
        {11017, QStringLiteral("Option Too Big")},
        {11018, QStringLiteral("Bad Destination")},
        {11032, QStringLiteral("Negotiating IPSEC")},
        {11050, QStringLiteral("General Failure")},
    };
    return texts;
}

} // namespace

IcmpModule::IcmpModule(IcmpSocket& socket, QObject* parent)
    : QObject(parent)
    , m_socket(socket)
{
    connect(&m_socket, &IcmpSocket::echoFinished, this, &IcmpModule::socketFinished);
}

bool IcmpModule::OpenSocketLayer()
{
    return m_socket.open();
}

void IcmpModule::CloseSocketLayer()
{
    m_pending = false;
    ++m_echoNumber;
    m_socket.close();
}

bool IcmpModule::SendEcho(const QString& address)
{
    if (m_pending)
        return false;
    m_pending = true;
    ++m_echoNumber;
    const quint32 destination = ConvertAddress(address);
    // 0.0.0.0 and the broadcast address are not pinged.
    if (destination == kNoAddress || destination == 0 || !m_socket.sendEcho(destination))
        finishWithoutSending();
    return true;
}

QString IcmpModule::EchoStatusText(qint32 status)
{
    return statusTexts().value(status, QStringLiteral("Unknown Response"));
}

quint32 IcmpModule::ConvertAddress(const QString& address)
{
    return text::ReadIP(address).value_or(kNoAddress);
}

void IcmpModule::socketFinished(qint32 status, quint32 roundTripMs)
{
    if (m_pending)
        report(status, roundTripMs);
}

void IcmpModule::finishWithoutSending()
{
    const quint64 echo = m_echoNumber;
    QMetaObject::invokeMethod(
        this,
        [this, echo] {
            if (m_pending && m_echoNumber == echo)
                report(echo_status::NotSent, 0);
        },
        Qt::QueuedConnection);
}

void IcmpModule::report(qint32 status, quint32 roundTripMs)
{
    m_pending = false;
    emit echoFinished(status, roundTripMs);
}

} // namespace nms
