#include "FakeUdpEndpoint.h"

namespace nms::test {

bool FakeUdpEndpoint::bind(quint16 localPort)
{
    ++bindCount;
    if (failBind || m_open)
        return false;
    m_open = true;
    boundPort = localPort;
    return true;
}

void FakeUdpEndpoint::close()
{
    ++closeCount;
    m_open = false;
}

bool FakeUdpEndpoint::sendTo(const QByteArray& data, const QHostAddress& host, quint16 port)
{
    if (failSend || !m_open)
        return false;
    sent.append({data, host, port, false});
    return true;
}

bool FakeUdpEndpoint::broadcast(const QByteArray& data, quint16 port)
{
    if (failSend || !m_open)
        return false;
    sent.append({data, QHostAddress(QHostAddress::Broadcast), port, true});
    return true;
}

void FakeUdpEndpoint::inject(const QByteArray& data, const QHostAddress& sender, quint16 senderPort)
{
    emit datagramArrived(data, sender, senderPort);
}

} // namespace nms::test
