#pragma once

#include <QList>

#include "platform/IcmpSocket.h"

namespace nms::test {

// An ICMP socket that sends nothing: it records each request and finishes it
// when the test says so.
class FakeIcmpSocket : public IcmpSocket {
    Q_OBJECT
public:
    // What open() answers.
    bool openSucceeds = true;
    // Destinations of every accepted request, host byte order.
    QList<quint32> sent;

    bool open() override
    {
        m_open = m_open || openSucceeds;
        return m_open;
    }
    void close() override
    {
        m_open = false;
        m_pending = false;
    }
    bool isOpen() const override { return m_open; }
    bool sendEcho(quint32 ipv4Address) override
    {
        if (!m_open || m_pending)
            return false;
        sent << ipv4Address;
        m_pending = true;
        return true;
    }
    bool isEchoPending() const override { return m_pending; }

    // Finishes the outstanding request; false when there is none.
    bool finish(qint32 status, quint32 roundTripMs = 0)
    {
        if (!m_pending)
            return false;
        m_pending = false;
        emit echoFinished(status, roundTripMs);
        return true;
    }

private:
    bool m_open = false;
    bool m_pending = false;
};

} // namespace nms::test
