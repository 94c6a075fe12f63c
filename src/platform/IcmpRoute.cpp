#include "platform/IcmpRoute.h"

namespace nms {

IcmpRoute::IcmpRoute(IcmpSocket& datagram, IcmpSocket& helper, QObject* parent)
    : IcmpSocket(parent)
    , m_datagram(datagram)
    , m_helper(helper)
{
    forward(m_datagram);
    forward(m_helper);
}

void IcmpRoute::forward(IcmpSocket& from)
{
    connect(&from, &IcmpSocket::echoFinished, this, [this, &from](qint32 status, quint32 ms) {
        if (m_active == &from)
            emit echoFinished(status, ms);
    });
}

bool IcmpRoute::open()
{
    if (isOpen())
        return true;
    m_active = m_datagram.open() ? &m_datagram : m_helper.open() ? &m_helper : nullptr;
    return m_active != nullptr;
}

void IcmpRoute::close()
{
    if (m_active)
        m_active->close();
}

bool IcmpRoute::sendEcho(quint32 ipv4Address)
{
    return m_active && m_active->sendEcho(ipv4Address);
}

} // namespace nms
