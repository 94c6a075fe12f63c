#pragma once

#include <memory>

#include <QObject>

#include "platform/EchoStatus.h"

namespace nms {

// The ICMP echo service: one socket, one echo request at a time. A request
// never blocks the caller; its outcome arrives later through echoFinished()
// as one status code and, on success, the round-trip time in whole
// milliseconds. Tests substitute a fake.
class IcmpSocket : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~IcmpSocket() override = default;

    // Opens the socket; false when the system refuses every kind of ICMP
    // socket. Opening an open socket keeps it.
    virtual bool open() = 0;
    // Closes the socket. An outstanding request is abandoned: no
    // echoFinished() follows for it.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Sends one echo request with the 5-byte payload "hello" to an IPv4
    // address (host byte order) and waits at most 1000 ms for its answer.
    // Returns false, and sends nothing, when the socket is closed or a
    // request is still outstanding. After true, exactly one echoFinished()
    // follows (unless the socket is closed first), never from within this
    // call.
    virtual bool sendEcho(quint32 ipv4Address) = 0;
    virtual bool isEchoPending() const = 0;

    // Another socket of the same kind, for more echoes at once; none where
    // the kind allows no more.
    virtual std::unique_ptr<IcmpSocket> sibling() { return nullptr; }

signals:
    void echoFinished(qint32 status, quint32 roundTripMs);
};

} // namespace nms
