#include "FakeIcmpSocket.h"

namespace nms::test {

bool FakeIcmpSocket::open()
{
    ++opens;
    m_open = m_open || openSucceeds;
    return m_open;
}

void FakeIcmpSocket::close()
{
    ++closes;
    m_open = false;
    m_pending = false;
}

bool FakeIcmpSocket::sendEcho(quint32 ipv4Address)
{
    if (!m_open || m_pending)
        return false;
    m_pending = true;
    sent << ipv4Address;
    return true;
}

bool FakeIcmpSocket::finish(qint32 status, quint32 roundTripMs)
{
    if (!m_pending)
        return false;
    m_pending = false;
    emit echoFinished(status, roundTripMs);
    return true;
}

} // namespace nms::test
