#pragma once

#include <QByteArray>

#include "platform/IcmpSocket.h"

namespace nms {

// Building an echo request and judging what comes back, byte by byte, with
// no socket involved. Every answer is checked against the one request it
// would belong to, so a reply to somebody else's ping, an old request or a
// forged packet is never taken for ours.
class IcmpPacket {
public:
    // What one outstanding request is known by. Addresses in host order.
    struct EchoKey {
        quint32 destination = 0;
        quint16 identifier = 0;
        quint16 sequence = 0;
    };

    enum class Verdict { Unrelated, Answered, Failed };
    struct Reading {
        Verdict verdict = Verdict::Unrelated;
        qint32 status = echo_status::NotSent;
    };

    static constexpr int kHeaderSize = 8;
    static constexpr quint8 kEchoReply = 0;
    static constexpr quint8 kDestinationUnreachable = 3;
    static constexpr quint8 kSourceQuench = 4;
    static constexpr quint8 kEchoRequest = 8;
    static constexpr quint8 kTimeExceeded = 11;
    static constexpr quint8 kParameterProblem = 12;
    // Where a datagram ICMP socket says a queued error came from.
    static constexpr quint8 kOriginLocal = 1;
    static constexpr quint8 kOriginIcmp = 2;

    // The 5 bytes "hello", no terminator.
    static QByteArray echoPayload();
    // Type 8 request with the payload and a correct checksum.
    static QByteArray echoRequest(quint16 identifier, quint16 sequence);
    // The internet checksum; 0 over a message that carries a correct one.
    static quint16 internetChecksum(const QByteArray& data);

    // An ICMP message (from its ICMP header on) that arrived from `source`.
    // A reply counts only when it comes from the destination and carries our
    // identifier, sequence number and payload; an error only when the
    // request it quotes is ours.
    static Reading readMessage(const QByteArray& icmp, quint32 source, const EchoKey& key,
                               bool verifyChecksum);
    // The ICMP message inside a received IPv4 packet; empty when the packet
    // is not a well-formed IPv4 ICMP packet.
    static QByteArray icmpOfIpv4(const QByteArray& packet);
    // An error taken from a datagram ICMP socket's error queue: where it came
    // from, the ICMP type and code or the local error number, and the quoted
    // header of the request it concerns.
    static Reading readQueuedError(quint8 origin, quint8 type, quint8 code, int errorNumber,
                                   const QByteArray& quotedIcmp, const EchoKey& key);

    // Status for an ICMP error message; NotSent for a type that is no error
    // of an echo request (a redirect, say).
    static qint32 statusOfIcmpError(quint8 type, quint8 code);
    // Status for an error number of the send call or of a local error.
    static qint32 statusOfErrno(int errorNumber);

private:
    static Reading readEchoReply(const QByteArray& icmp, quint32 source, const EchoKey& key);
    static Reading readIcmpError(const QByteArray& icmp, const EchoKey& key);
    static bool quotesOurRequest(const QByteArray& quotedIcmp, const EchoKey& key);
};

} // namespace nms
