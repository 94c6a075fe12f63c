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
#include <algorithm>
#include <iterator>
#include <string_view>

#include "FuzzCheck.h"
#include "platform/IcmpPacket.h"

using namespace nms;
using nms::fuzz::at;
using nms::fuzz::be16;
using nms::fuzz::be32;
using nms::fuzz::put16;
using nms::fuzz::require;
using Verdict = IcmpPacket::Verdict;

namespace {

constexpr int kHeaderBytes = 16;

std::string_view view(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

QByteArray bytesOf(std::string_view bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}
constexpr quint8 kErrorTypes[] = {IcmpPacket::kDestinationUnreachable, IcmpPacket::kSourceQuench,
                                  IcmpPacket::kTimeExceeded, IcmpPacket::kParameterProblem};

bool isErrorType(quint8 type)
{
    return std::find(std::begin(kErrorTypes), std::end(kErrorTypes), type) != std::end(kErrorTypes);
}

bool quotesRequest(const QByteArray& quotedIcmp, const IcmpPacket::EchoKey& key)
{
    return quotedIcmp.size() >= 8 && at(quotedIcmp, 0) == IcmpPacket::kEchoRequest &&
           be16(quotedIcmp, 4) == key.identifier && be16(quotedIcmp, 6) == key.sequence;
}

// What an ICMP message may be judged, said without the matcher's code.
void checkReading(const IcmpPacket::Reading& reading, const QByteArray& icmp, quint32 source,
                  const IcmpPacket::EchoKey& key, bool checksummed)
{
    if (reading.verdict == Verdict::Unrelated) {
        require(reading.status == echo_status::NotSent, "unrelated message with a status");
        return;
    }
    require(icmp.size() >= IcmpPacket::kHeaderSize, "a message shorter than its header counted");
    if (checksummed)
        require(IcmpPacket::internetChecksum(view(icmp)) == 0, "bad checksum accepted");
    const quint8 type = at(icmp, 0);
    if (reading.verdict == Verdict::Answered) {
        require(reading.status == echo_status::Success, "answer without success");
        require(type == IcmpPacket::kEchoReply && at(icmp, 1) == 0, "answer is no echo reply");
        require(source == key.destination, "answer from another host taken");
        require(be16(icmp, 4) == key.identifier && be16(icmp, 6) == key.sequence,
                "answer to another request taken");
        require(view(icmp.mid(8)) == key.payload, "answer with another payload taken");
        return;
    }
    require(isErrorType(type), "failure from a message that is no error");
    require(reading.status == IcmpPacket::statusOfIcmpError(type, at(icmp, 1)) &&
                reading.status != echo_status::NotSent,
            "error status not the one of its type and code");
    const QByteArray quotedIp = icmp.mid(8);
    const int ihl = (at(quotedIp, 0) & 0x0F) * 4;
    require(quotedIp.size() >= 20 && (at(quotedIp, 0) >> 4) == 4 && ihl >= 20 &&
                ihl <= quotedIp.size() && at(quotedIp, 9) == 1,
            "error quoting no IPv4 ICMP packet taken");
    require(be32(quotedIp, 16) == key.destination, "error about another destination taken");
    require(quotesRequest(quotedIp.mid(ihl), key), "error about another request taken");
}

void checkChecksum(const QByteArray& payload)
{
    if (payload.size() < 4)
        return;
    QByteArray message = payload;
    put16(message, 2, 0);
    put16(message, 2, IcmpPacket::internetChecksum(view(message)));
    require(IcmpPacket::internetChecksum(view(message)) == 0, "a stamped checksum does not verify");
}

// An error of the given type and code quoting our request behind an IPv4
// header of 20 to 60 bytes, the options taken from the fuzz bytes.
QByteArray errorQuotingOurRequest(quint8 type, quint8 code, const IcmpPacket::EchoKey& key,
                                  const QByteArray& filler)
{
    const int words = 5 + at(filler, 0) % 11;
    QByteArray ip = filler.left(words * 4);
    ip.resize(words * 4, '\0');
    ip[0] = char(0x40 | words);
    ip[9] = char(1);
    for (int i = 0; i < 4; ++i)
        ip[16 + i] = char(key.destination >> (24 - 8 * i));
    QByteArray icmp(8, '\0');
    icmp[0] = char(type);
    icmp[1] = char(code);
    icmp += ip + bytesOf(IcmpPacket::echoRequest(key.identifier, key.sequence)).left(8);
    put16(icmp, 2, IcmpPacket::internetChecksum(view(icmp)));
    return icmp;
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    IcmpPacket::EchoKey key;
    key.destination = be32(input, 0);
    key.identifier = be16(input, 4);
    key.sequence = be16(input, 6);
    const quint32 source = be32(input, 8);
    const quint8 origin = at(input, 12);
    const quint8 type = at(input, 13);
    const quint8 code = at(input, 14);
    const int errorNumber = at(input, 15);
    const QByteArray message = input.mid(kHeaderBytes);

    // Datagram socket: the ICMP message as it is, checksum left to the kernel.
    checkReading(IcmpPacket::readMessage(view(message), source, key, false), message, source, key,
                 false);

    // Raw socket: the whole IPv4 packet.
    const QByteArray inner = bytesOf(IcmpPacket::icmpOfIpv4(view(message)));
    if (!inner.isEmpty()) {
        const int ihl = (at(message, 0) & 0x0F) * 4;
        require((at(message, 0) >> 4) == 4 && at(message, 9) == 1 && ihl >= 20 &&
                    inner == message.mid(ihl),
                "ICMP taken out of something other than an IPv4 ICMP packet");
    }
    checkReading(IcmpPacket::readMessage(view(inner), source, key, true), inner, source, key, true);

    // Error queue: the quote of the request stands alone.
    const IcmpPacket::Reading queued =
        IcmpPacket::readQueuedError(origin, type, code, errorNumber, view(message), key);
    if (origin == IcmpPacket::kOriginIcmp && quotesRequest(message, key) &&
        IcmpPacket::statusOfIcmpError(type, code) != echo_status::NotSent)
        require(queued.verdict == Verdict::Failed &&
                    queued.status == IcmpPacket::statusOfIcmpError(type, code),
                "queued error about our request missed");
    else if (origin == IcmpPacket::kOriginLocal)
        require(queued.verdict == Verdict::Failed &&
                    queued.status == IcmpPacket::statusOfErrno(errorNumber),
                "local error missed");
    else
        require(queued.verdict == Verdict::Unrelated, "queued error about another request taken");

    // An error that quotes our request is always ours, in both forms.
    const QByteArray error = errorQuotingOurRequest(type, code, key, message);
    const IcmpPacket::Reading reading =
        IcmpPacket::readMessage(view(error), key.destination, key, true);
    checkReading(reading, error, key.destination, key, true);
    if (isErrorType(type))
        require(reading.verdict == Verdict::Failed, "error quoting our request missed");
    checkChecksum(message);
}
