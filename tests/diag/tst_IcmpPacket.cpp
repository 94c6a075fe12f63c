#include <QtTest>

#include <cerrno>

#include "platform/IcmpPacket.h"

using namespace nms;
using Verdict = IcmpPacket::Verdict;

Q_DECLARE_METATYPE(IcmpPacket::Verdict)

namespace {

constexpr quint32 kPeer = 0xC6120702U;   // 198.18.7.2
constexpr quint32 kRouter = 0xC6120701U; // 198.18.7.1
constexpr quint16 kId = 0x4A21;
constexpr quint16 kSeq = 0x0102;
const IcmpPacket::EchoKey kKey{kPeer, kId, kSeq};

void put16(QByteArray& data, int offset, quint16 value)
{
    data[offset] = char(value >> 8);
    data[offset + 1] = char(value & 0xFF);
}

void put32(QByteArray& data, int offset, quint32 value)
{
    put16(data, offset, quint16(value >> 16));
    put16(data, offset + 2, quint16(value & 0xFFFF));
}

void fixChecksum(QByteArray& icmp)
{
    put16(icmp, 2, 0);
    put16(icmp, 2, IcmpPacket::internetChecksum(icmp));
}

QByteArray icmpMessage(quint8 type, quint8 code, quint16 id, quint16 seq, const QByteArray& body)
{
    QByteArray icmp(8, '\0');
    icmp[0] = char(type);
    icmp[1] = char(code);
    put16(icmp, 4, id);
    put16(icmp, 6, seq);
    icmp += body;
    fixChecksum(icmp);
    return icmp;
}

QByteArray ipv4Header(quint8 protocol, quint32 source, quint32 destination, int optionWords = 0)
{
    QByteArray header(20 + 4 * optionWords, '\0');
    header[0] = char(0x40 | (5 + optionWords));
    header[8] = 64;
    header[9] = char(protocol);
    put32(header, 12, source);
    put32(header, 16, destination);
    return header;
}

QByteArray reply(quint16 id = kId, quint16 seq = kSeq, const QByteArray& payload = "hello")
{
    return icmpMessage(IcmpPacket::kEchoReply, 0, id, seq, payload);
}

// An ICMP error quoting an echo request as the network returns it.
QByteArray errorQuoting(quint8 type, quint8 code, quint32 quotedDestination = kPeer,
                        quint16 id = kId, quint16 seq = kSeq, quint8 quotedProtocol = 1,
                        quint8 quotedType = IcmpPacket::kEchoRequest)
{
    QByteArray quotedIcmp(8, '\0');
    quotedIcmp[0] = char(quotedType);
    put16(quotedIcmp, 4, id);
    put16(quotedIcmp, 6, seq);
    const QByteArray quoted =
        ipv4Header(quotedProtocol, 0xC6120764U, quotedDestination) + quotedIcmp;
    return icmpMessage(type, code, 0, 0, quoted);
}

} // namespace

class IcmpPacketTest : public QObject {
    Q_OBJECT
private slots:
    void echoRequestBytes()
    {
        // 08 00 | checksum | id 12 34 | seq 00 05 | "hello"; the checksum
        // worked out by hand: ~(0x0800+0x1234+0x0005+0x6865+0x6C6C+0x6F00).
        const QByteArray expected = QByteArray::fromHex("0800A1F41234000568656C6C6F");
        QCOMPARE(IcmpPacket::echoRequest(0x1234, 0x0005).toHex(), expected.toHex());
        QCOMPARE(IcmpPacket::internetChecksum(expected), quint16(0));
    }

    void internetChecksumOfOddLength()
    {
        // 0x0100 + 0x0200 padded: ~0x0300.
        QCOMPARE(IcmpPacket::internetChecksum(QByteArray::fromHex("010002")), quint16(0xFCFF));
        // Carries fold back in.
        QCOMPARE(IcmpPacket::internetChecksum(QByteArray::fromHex("FFFF0001")), quint16(0xFFFE));
    }

    void readMessage_data()
    {
        QTest::addColumn<QByteArray>("icmp");
        QTest::addColumn<quint32>("source");
        QTest::addColumn<bool>("verifyChecksum");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<qint32>("status");

        QTest::newRow("our reply") << reply() << kPeer << true << Verdict::Answered << 0;
        QTest::newRow("another identifier")
            << reply(kId + 1) << kPeer << true << Verdict::Unrelated << -1;
        QTest::newRow("an earlier sequence")
            << reply(kId, kSeq - 1) << kPeer << true << Verdict::Unrelated << -1;
        QTest::newRow("from another host")
            << reply() << kRouter << true << Verdict::Unrelated << -1;
        QTest::newRow("other payload")
            << reply(kId, kSeq, "hellp") << kPeer << true << Verdict::Unrelated << -1;
        QTest::newRow("longer payload")
            << reply(kId, kSeq, "hello!") << kPeer << true << Verdict::Unrelated << -1;
        QTest::newRow("short payload")
            << reply(kId, kSeq, "hell") << kPeer << true << Verdict::Unrelated << -1;
        QByteArray coded = icmpMessage(0, 1, kId, kSeq, "hello");
        QTest::newRow("reply with a code") << coded << kPeer << true << Verdict::Unrelated << -1;
        QByteArray damaged = reply();
        damaged[2] = char(damaged[2] ^ 0x10);
        QTest::newRow("bad checksum") << damaged << kPeer << true << Verdict::Unrelated << -1;
        QTest::newRow("checksum already checked by the kernel")
            << damaged << kPeer << false << Verdict::Answered << 0;
        QTest::newRow("our own request looped back")
            << icmpMessage(8, 0, kId, kSeq, "hello") << kPeer << true << Verdict::Unrelated << -1;
        QTest::newRow("header cut short")
            << reply().left(7) << kPeer << false << Verdict::Unrelated << -1;
        QTest::newRow("empty") << QByteArray() << kPeer << false << Verdict::Unrelated << -1;

        QTest::newRow("net unreachable")
            << errorQuoting(3, 0) << kRouter << true << Verdict::Failed << 11002;
        QTest::newRow("host unreachable")
            << errorQuoting(3, 1) << kRouter << true << Verdict::Failed << 11003;
        QTest::newRow("protocol unreachable")
            << errorQuoting(3, 2) << kRouter << true << Verdict::Failed << 11004;
        QTest::newRow("port unreachable")
            << errorQuoting(3, 3) << kRouter << true << Verdict::Failed << 11005;
        QTest::newRow("fragmentation needed")
            << errorQuoting(3, 4) << kRouter << true << Verdict::Failed << 11009;
        QTest::newRow("source route failed")
            << errorQuoting(3, 5) << kRouter << true << Verdict::Failed << 11012;
        QTest::newRow("network unknown")
            << errorQuoting(3, 6) << kRouter << true << Verdict::Failed << 11002;
        QTest::newRow("host unknown")
            << errorQuoting(3, 7) << kRouter << true << Verdict::Failed << 11003;
        QTest::newRow("network prohibited")
            << errorQuoting(3, 9) << kRouter << true << Verdict::Failed << 11002;
        QTest::newRow("host prohibited")
            << errorQuoting(3, 10) << kRouter << true << Verdict::Failed << 11003;
        QTest::newRow("communication prohibited")
            << errorQuoting(3, 13) << kRouter << true << Verdict::Failed << 11003;
        QTest::newRow("unassigned unreachable code")
            << errorQuoting(3, 77) << kRouter << true << Verdict::Failed << 11003;
        QTest::newRow("source quench")
            << errorQuoting(4, 0) << kRouter << true << Verdict::Failed << 11016;
        QTest::newRow("ttl in transit")
            << errorQuoting(11, 0) << kRouter << true << Verdict::Failed << 11013;
        QTest::newRow("ttl in reassembly")
            << errorQuoting(11, 1) << kRouter << true << Verdict::Failed << 11014;
        QTest::newRow("parameter problem")
            << errorQuoting(12, 0) << kRouter << true << Verdict::Failed << 11015;
        QTest::newRow("redirect is no failure")
            << errorQuoting(5, 1) << kRouter << true << Verdict::Unrelated << -1;
        QTest::newRow("error for another destination")
            << errorQuoting(3, 1, kRouter) << kRouter << true << Verdict::Unrelated << -1;
        QTest::newRow("error for another identifier")
            << errorQuoting(3, 1, kPeer, kId + 1) << kRouter << true << Verdict::Unrelated << -1;
        QTest::newRow("error for another sequence") << errorQuoting(3, 1, kPeer, kId, kSeq + 1)
                                                    << kRouter << true << Verdict::Unrelated << -1;
        QTest::newRow("error for a UDP datagram") << errorQuoting(3, 3, kPeer, kId, kSeq, 17)
                                                  << kRouter << true << Verdict::Unrelated << -1;
        QTest::newRow("error quoting a reply") << errorQuoting(3, 1, kPeer, kId, kSeq, 1, 0)
                                               << kRouter << true << Verdict::Unrelated << -1;
        QByteArray cut = errorQuoting(3, 1);
        cut.chop(1);
        fixChecksum(cut);
        QTest::newRow("quote cut short") << cut << kRouter << true << Verdict::Unrelated << -1;
    }
    void readMessage()
    {
        QFETCH(QByteArray, icmp);
        QFETCH(quint32, source);
        QFETCH(bool, verifyChecksum);
        QFETCH(Verdict, verdict);
        QFETCH(qint32, status);
        const IcmpPacket::Reading reading =
            IcmpPacket::readMessage(icmp, source, kKey, verifyChecksum);
        QCOMPARE(reading.verdict, verdict);
        QCOMPARE(reading.status, status);
    }

    void icmpOfIpv4_data()
    {
        QTest::addColumn<QByteArray>("packet");
        QTest::addColumn<QByteArray>("icmp");
        const QByteArray message = reply();
        QTest::newRow("plain header") << ipv4Header(1, kPeer, kRouter) + message << message;
        QTest::newRow("with options") << ipv4Header(1, kPeer, kRouter, 2) + message << message;
        QByteArray version6 = ipv4Header(1, kPeer, kRouter) + message;
        version6[0] = char(0x65);
        QTest::newRow("not version 4") << version6 << QByteArray();
        QTest::newRow("UDP") << ipv4Header(17, kPeer, kRouter) + message << QByteArray();
        QTest::newRow("header cut short")
            << ipv4Header(1, kPeer, kRouter, 2).left(24) << QByteArray();
        QByteArray tiny = ipv4Header(1, kPeer, kRouter);
        tiny[0] = char(0x44);
        QTest::newRow("header length below 20") << tiny + message << QByteArray();
    }
    void icmpOfIpv4()
    {
        QFETCH(QByteArray, packet);
        QFETCH(QByteArray, icmp);
        QCOMPARE(IcmpPacket::icmpOfIpv4(packet).toHex(), icmp.toHex());
    }

    void readQueuedError_data()
    {
        QTest::addColumn<quint8>("origin");
        QTest::addColumn<quint8>("type");
        QTest::addColumn<quint8>("code");
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<QByteArray>("quoted");
        QTest::addColumn<Verdict>("verdict");
        QTest::addColumn<qint32>("status");
        const QByteArray ours = IcmpPacket::echoRequest(kId, kSeq);
        QTest::newRow("host unreachable") << quint8(2) << quint8(3) << quint8(1) << EHOSTUNREACH
                                          << ours << Verdict::Failed << 11003;
        QTest::newRow("ttl exceeded") << quint8(2) << quint8(11) << quint8(0) << EHOSTUNREACH
                                      << ours << Verdict::Failed << 11013;
        QTest::newRow("earlier request")
            << quint8(2) << quint8(3) << quint8(1) << EHOSTUNREACH
            << IcmpPacket::echoRequest(kId, kSeq - 1) << Verdict::Unrelated << -1;
        QTest::newRow("quote cut short") << quint8(2) << quint8(3) << quint8(1) << EHOSTUNREACH
                                         << ours.left(6) << Verdict::Unrelated << -1;
        QTest::newRow("local net unreachable") << quint8(1) << quint8(0) << quint8(0) << ENETUNREACH
                                               << QByteArray() << Verdict::Failed << 11002;
        QTest::newRow("local message too long") << quint8(1) << quint8(0) << quint8(0) << EMSGSIZE
                                                << QByteArray() << Verdict::Failed << 11009;
        QTest::newRow("other origin")
            << quint8(4) << quint8(0) << quint8(0) << 0 << ours << Verdict::Unrelated << -1;
    }
    void readQueuedError()
    {
        QFETCH(quint8, origin);
        QFETCH(quint8, type);
        QFETCH(quint8, code);
        QFETCH(int, errorNumber);
        QFETCH(QByteArray, quoted);
        QFETCH(Verdict, verdict);
        QFETCH(qint32, status);
        const IcmpPacket::Reading reading =
            IcmpPacket::readQueuedError(origin, type, code, errorNumber, quoted, kKey);
        QCOMPARE(reading.verdict, verdict);
        QCOMPARE(reading.status, status);
    }

    void statusOfErrno_data()
    {
        QTest::addColumn<int>("errorNumber");
        QTest::addColumn<qint32>("status");
        QTest::newRow("no route") << ENETUNREACH << 11002;
        QTest::newRow("network down") << ENETDOWN << 11002;
        QTest::newRow("host unreachable") << EHOSTUNREACH << 11003;
        QTest::newRow("broadcast refused") << EACCES << 11018;
        QTest::newRow("message too long") << EMSGSIZE << 11009;
        QTest::newRow("no buffers") << ENOBUFS << 11006;
        QTest::newRow("not permitted") << EPERM << 11050;
    }
    void statusOfErrno()
    {
        QFETCH(int, errorNumber);
        QFETCH(qint32, status);
        QCOMPARE(IcmpPacket::statusOfErrno(errorNumber), status);
    }
};

QTEST_MAIN(IcmpPacketTest)
#include "tst_IcmpPacket.moc"
