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
    int opens = 0;
    int closes = 0;

    bool open() override;
    void close() override;
    bool isOpen() const override { return m_open; }
    bool sendEcho(quint32 ipv4Address) override;
    bool isEchoPending() const override { return m_pending; }

    // Finishes the outstanding request; false when there is none.
    bool finish(qint32 status, quint32 roundTripMs = 0);

private:
    bool m_open = false;
    bool m_pending = false;
};

} // namespace nms::test
