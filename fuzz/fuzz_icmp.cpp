// The ICMP reply matcher against any message, in the three ways one reaches
// it: a datagram socket's message, a raw socket's IPv4 packet (checksum
// checked) and a queued error with its quoted request. Besides the fuzz
// bytes themselves, an error quoting our own request is built from them, so
// that the quoted-request path is reached on every input.
//
// Input: 4 bytes destination, 2 identifier, 2 sequence, 4 source, then for
// the queued error 1 origin, 1 type, 1 code, 1 error number; the rest is the
// message (ICMP for the datagram form and the queued error's quote, IPv4 for
// the raw form). Missing header bytes read as zero.
#include "FuzzCheck.h"
#include "platform/IcmpPacket.h"

using namespace nms;
using namespace nms::fuzz;
using Verdict = IcmpPacket::Verdict;
// Destination unreachable, source quench, time exceeded, parameter problem.
const QByteArrayView kErrorTypes("\3\4\13\14");

namespace {

bool quotesRequest(const QByteArray& quotedIcmp, const IcmpPacket::EchoKey& key)
{
    return quotedIcmp.size() >= 8 && at(quotedIcmp, 0) == IcmpPacket::kEchoRequest &&
           at(quotedIcmp, 4, 2) == key.identifier && at(quotedIcmp, 6, 2) == key.sequence;
}

// The length of the IPv4 header that starts an ICMP packet; 0 for anything else.
int ipv4IcmpHeader(const QByteArray& ip)
{
    const int ihl = (at(ip, 0) & 0x0F) * 4;
    return at(ip, 0) >> 4 == 4 && ihl >= 20 && ihl <= ip.size() && at(ip, 9) == 1 ? ihl : 0;
}

// What the matcher may judge an ICMP message, said without its code.
Verdict checkReading(const QByteArray& icmp, quint32 source, const IcmpPacket::EchoKey& key,
                     bool checksummed)
{
    const IcmpPacket::Reading reading =
        IcmpPacket::readMessage(icmp.toStdString(), source, key, checksummed);
    const quint8 type = at(icmp, 0);
    const QByteArray quotedIp = icmp.mid(8);
    const int ihl = ipv4IcmpHeader(quotedIp);
    const bool answer = reading.status == echo_status::Success && type == IcmpPacket::kEchoReply &&
                        at(icmp, 1) == 0 && source == key.destination &&
                        at(icmp, 4, 2) == key.identifier && at(icmp, 6, 2) == key.sequence &&
                        icmp.mid(8).toStdString() == key.payload;
    const bool error = kErrorTypes.contains(char(type)) && reading.status != echo_status::NotSent &&
                       reading.status == IcmpPacket::statusOfIcmpError(type, at(icmp, 1)) &&
                       ihl > 0 && at(quotedIp, 16, 4) == key.destination &&
                       quotesRequest(quotedIp.mid(ihl), key);
    require(reading.verdict == Verdict::Unrelated
                ? reading.status == echo_status::NotSent
                : (reading.verdict == Verdict::Answered ? answer : error) &&
                      icmp.size() >= IcmpPacket::kHeaderSize &&
                      (!checksummed || IcmpPacket::internetChecksum(icmp.toStdString()) == 0),
            "a message taken that is no answer or error about our request, or with a bad checksum");
    return reading.verdict;
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    const IcmpPacket::EchoKey key{at(input, 0, 4), quint16(at(input, 4, 2)),
                                  quint16(at(input, 6, 2))};
    const quint32 source = at(input, 8, 4);
    const quint8 origin = at(input, 12), type = at(input, 13), code = at(input, 14);
    const QByteArray message = input.mid(16);

    // Datagram socket: the ICMP message as it is, checksum left to the kernel.
    checkReading(message, source, key, false);

    // Raw socket: the whole IPv4 packet.
    const QByteArray inner =
        QByteArray::fromStdString(std::string(IcmpPacket::icmpOfIpv4(message.toStdString())));
    const int ihl = ipv4IcmpHeader(message);
    require(inner.isEmpty() || (ihl > 0 && inner == message.mid(ihl)),
            "ICMP taken out of something other than an IPv4 ICMP packet");
    checkReading(inner, source, key, true);

    // Error queue: the quote of the request stands alone.
    const IcmpPacket::Reading queued =
        IcmpPacket::readQueuedError(origin, type, code, at(input, 15), message.toStdString(), key);
    const qint32 status = origin == IcmpPacket::kOriginLocal
                              ? IcmpPacket::statusOfErrno(at(input, 15))
                          : origin == IcmpPacket::kOriginIcmp && quotesRequest(message, key)
                              ? IcmpPacket::statusOfIcmpError(type, code)
                              : echo_status::NotSent;
    require(queued.status == status &&
                (queued.verdict == Verdict::Failed) == (status != echo_status::NotSent),
            "a queued error missed, or one about another request taken");

    // An error quoting our request behind an IPv4 header of 20 to 60 bytes,
    // the options from the fuzz bytes, is always ours.
    const int words = 5 + at(message, 0) % 11;
    QByteArray ip = message.left(words * 4).leftJustified(words * 4, '\0');
    ip[0] = char(0x40 | words);
    ip[9] = 1;
    for (int i = 0; i < 4; ++i)
        ip[16 + i] = char(key.destination >> (24 - 8 * i));
    QByteArray error =
        QByteArray(1, char(type)) + char(code) + QByteArray(6, '\0') + ip +
        QByteArray::fromStdString(IcmpPacket::echoRequest(key.identifier, key.sequence)).left(8);
    const quint16 checksum = IcmpPacket::internetChecksum(error.toStdString());
    error[2] = char(checksum >> 8);
    error[3] = char(checksum);
    require(checkReading(error, key.destination, key, true) == Verdict::Failed ||
                !kErrorTypes.contains(char(type)),
            "an error quoting our request missed");
}
