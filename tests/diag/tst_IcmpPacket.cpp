#include <QtTest>

#include <cerrno>

#include "TableColumns.h"
#include "platform/EchoTiming.h"
#include "platform/EchoWire.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpPacket.h"

using namespace nms;
using nms::test::TableColumns;
using Verdict = IcmpPacket::Verdict;

namespace {

constexpr quint32 kPeer = 0xC6120702U;   // 198.18.7.2
constexpr quint32 kRouter = 0xC6120701U; // 198.18.7.1
constexpr quint16 kId = 0x4A21;
constexpr quint16 kSeq = 0x0102;
const IcmpPacket::EchoKey kKey{kPeer, kId, kSeq};

std::string_view view(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

QByteArray bytesOf(std::string_view bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

QByteArray bigEndian(quint32 value)
{
    return QByteArray::fromHex(QByteArray::number(value, 16).rightJustified(8, '0'));
}

void fixChecksum(QByteArray& icmp)
{
    icmp.replace(2, 2, QByteArray(2, '\0'));
    icmp.replace(2, 2, bigEndian(IcmpPacket::internetChecksum(view(icmp))).right(2));
}

QByteArray icmpMessage(quint8 type, quint8 code, quint16 id, quint16 seq, const QByteArray& body)
{
    QByteArray icmp = bigEndian(quint32(type) << 24 | quint32(code) << 16) +
                      bigEndian(quint32(id) << 16 | seq) + body;
    fixChecksum(icmp);
    return icmp;
}

QByteArray ipv4Header(quint8 protocol, quint32 source, quint32 destination, int optionWords = 0)
{
    return bigEndian(quint32(0x40 | (5 + optionWords)) << 24) + bigEndian(0) +
           bigEndian(64U << 24 | quint32(protocol) << 16) + bigEndian(source) +
           bigEndian(destination) + QByteArray(4 * optionWords, '\0');
}

QByteArray reply()
{
    return icmpMessage(IcmpPacket::kEchoReply, 0, kId, kSeq, "hello");
}

// An ICMP error quoting our echo request as the network returns it.
QByteArray errorQuoting(quint8 type, quint8 code)
{
    const QByteArray quoted = ipv4Header(1, 0xC6120764U, kPeer) +
                              icmpMessage(IcmpPacket::kEchoRequest, 0, kId, kSeq, QByteArray());
    return icmpMessage(type, code, 0, 0, quoted);
}

// The message, its source, whether the checksum is checked, the status.
using MessageColumns = TableColumns<QByteArray, quint32, bool, qint32>;
// The error's origin, its error number, the request it quotes, the status.
using QueuedErrorColumns = TableColumns<int, int, QByteArray, qint32>;

Verdict verdictOf(qint32 status)
{
    return status == 0 ? Verdict::Answered : status < 0 ? Verdict::Unrelated : Verdict::Failed;
}

} // namespace

class IcmpPacketTest : public QObject {
    Q_OBJECT
private slots:
    void echoRequestAndChecksumBytes()
    {
        // 08 00 | checksum | id 12 34 | seq 00 05 | "hello"; the checksum
        // worked out by hand: ~(0x0800+0x1234+0x0005+0x6865+0x6C6C+0x6F00).
        const QByteArray expected = QByteArray::fromHex("0800A1F41234000568656C6C6F");
        QCOMPARE(bytesOf(IcmpPacket::echoRequest(0x1234, 0x0005)).toHex(), expected.toHex());
        QCOMPARE(IcmpPacket::internetChecksum(view(expected)), quint16(0));
        // Odd length, padded: ~(0x0100 + 0x0200). Carries fold back in.
        QCOMPARE(IcmpPacket::internetChecksum(view(QByteArray::fromHex("010002"))),
                 quint16(0xFCFF));
        QCOMPARE(IcmpPacket::internetChecksum(view(QByteArray::fromHex("FFFF0001"))),
                 quint16(0xFFFE));
    }

    // Which answers count, whether their checksum is checked or not, is the
    // fuzz harness's invariant; here the answer that counts, and what each
    // error about our request, read or queued, comes to.
    void readMessage_data()
    {
        MessageColumns::add();
        QByteArray damaged = reply();
        damaged[2] = char(damaged[2] ^ 0x10);
        QTest::newRow("our reply") << reply() << kPeer << true << 0;
        QTest::newRow("checksum already checked by the kernel") << damaged << kPeer << false << 0;
        // A redirect is no failure.
        const int errors[][3] = {{3, 0, 11002},  {3, 1, 11003},  {3, 2, 11004},  {3, 3, 11005},
                                 {3, 4, 11009},  {3, 5, 11012},  {3, 6, 11002},  {3, 7, 11003},
                                 {3, 9, 11002},  {3, 10, 11003}, {3, 11, 11002}, {3, 13, 11003},
                                 {3, 77, 11003}, {4, 0, 11016},  {11, 0, 11013}, {11, 1, 11014},
                                 {12, 0, 11015}, {5, 1, -1}};
        for (const auto& [type, code, status] : errors)
            QTest::addRow("error type %d code %d", type, code)
                << errorQuoting(quint8(type), quint8(code)) << kRouter << true << status;
    }
    void readMessage()
    {
        const auto [icmp, source, verifyChecksum, status] = MessageColumns::fetch();
        const IcmpPacket::Reading reading =
            IcmpPacket::readMessage(view(icmp), source, kKey, verifyChecksum);
        QCOMPARE(reading.verdict, verdictOf(status));
        QCOMPARE(reading.status, status);
        if (status == 0) // the same message, as the raw socket reads it
            QCOMPARE(bytesOf(IcmpPacket::icmpOfIpv4(view(ipv4Header(1, kPeer, kRouter, 2) + icmp)))
                         .toHex(),
                     icmp.toHex());
    }

    void readQueuedError_data()
    {
        QueuedErrorColumns::add();
        QTest::newRow("ours") << 2 << EHOSTUNREACH << bytesOf(IcmpPacket::echoRequest(kId, kSeq))
                              << 11003;
        const int local[][2] = {{ENETUNREACH, 11002}, {ENETDOWN, 11002}, {EHOSTUNREACH, 11003},
                                {EACCES, 11018},      {EMSGSIZE, 11009}, {ENOBUFS, 11006},
                                {EPERM, 11050}};
        for (const auto& [errorNumber, status] : local)
            QTest::addRow("local error %d", errorNumber)
                << 1 << errorNumber << QByteArray() << status;
    }
    void readQueuedError()
    {
        const auto [origin, errorNumber, quoted, status] = QueuedErrorColumns::fetch();
        const IcmpPacket::Reading reading =
            IcmpPacket::readQueuedError(quint8(origin), 3, 1, errorNumber, view(quoted), kKey);
        QCOMPARE(reading.verdict, verdictOf(status));
        QCOMPARE(reading.status, status);
    }

    // An answer from the helper, judged by when the kernel received it
    // (ns after the send): at 1000 ms or later it is a time-out.
    void statusOfHelperAnswer_data()
    {
        TableColumns<int, int, qint64, qint32,
                     quint32>::add(); // outcome, detail, arrival, status, ms
        const int reply = int(echo_wire::Outcome::Reply);
        QTest::newRow("1.9 ms") << reply << 0 << qint64(1'900'000) << 0 << 1U;
        QTest::newRow("999 ms") << reply << 0 << qint64(999'999'999) << 0 << 999U;
        QTest::newRow("late: 1000 ms") << reply << 0 << qint64(1'000'000'000) << 11010 << 0U;
        QTest::newRow("ICMP error")
            << int(echo_wire::Outcome::IcmpError) << 0x0301 << qint64(5) << 11003 << 0U;
        QTest::newRow("send failed")
            << int(echo_wire::Outcome::SendFailed) << ENETUNREACH << qint64(0) << 11002 << 0U;
        QTest::newRow("timed out")
            << int(echo_wire::Outcome::TimedOut) << 0 << qint64(0) << 11010 << 0U;
        QTest::newRow("refused") << int(echo_wire::Outcome::Refused) << 0 << qint64(0) << 11011
                                 << 0U;
    }
    void statusOfHelperAnswer()
    {
        const auto [outcome, detail, arrivalNs, status, roundTripMs] =
            TableColumns<int, int, qint64, qint32, quint32>::fetch();
        echo_wire::Answer answer;
        answer.outcome = echo_wire::Outcome(outcome);
        answer.type = quint8(detail >> 8);
        answer.code = quint8(detail);
        answer.errorNumber = quint32(detail);
        answer.sentNs = 5'000'000'000;
        answer.receivedNs = answer.sentNs + arrivalNs;
        QCOMPARE(HelperIcmpSocket::statusOf(answer), status);
        if (status == 0)
            QCOMPARE(echo_timing::roundTripMs(answer.sentNs, answer.receivedNs), roundTripMs);
    }
};

QTEST_MAIN(IcmpPacketTest)
#include "tst_IcmpPacket.moc"
