#pragma once

#include <QObject>

namespace nms {

// Status codes of one echo request, as the status text table knows them.
namespace echo_status {
constexpr qint32 NotSent = -1;
constexpr qint32 Success = 0;
constexpr qint32 BufferTooSmall = 11001;
constexpr qint32 DestinationNetUnreachable = 11002;
constexpr qint32 DestinationHostUnreachable = 11003;
constexpr qint32 DestinationProtocolUnreachable = 11004;
constexpr qint32 DestinationPortUnreachable = 11005;
constexpr qint32 NoResources = 11006;
constexpr qint32 BadOption = 11007;
constexpr qint32 HardwareError = 11008;
constexpr qint32 PacketTooBig = 11009;
constexpr qint32 RequestTimedOut = 11010;
constexpr qint32 BadRequest = 11011;
constexpr qint32 BadRoute = 11012;
constexpr qint32 TtlExpiredTransit = 11013;
constexpr qint32 TtlExpiredReassembly = 11014;
constexpr qint32 ParameterProblem = 11015;
constexpr qint32 SourceQuench = 11016;
constexpr qint32 OptionTooBig = 11017;
constexpr qint32 BadDestination = 11018;
constexpr qint32 NegotiatingIpsec = 11032;
constexpr qint32 GeneralFailure = 11050;
} // namespace echo_status

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

signals:
    void echoFinished(qint32 status, quint32 roundTripMs);
};

} // namespace nms
