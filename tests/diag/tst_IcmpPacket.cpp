#include <QtTest>

#include <cerrno>
#include <climits>

#include "FakeIcmpSocket.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "diag/IcmpModule.h"
#include "platform/EchoTiming.h"
#include "platform/EchoWire.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpPacket.h"

using namespace nms;
using namespace nms::test;

Q_DECLARE_METATYPE(echo_wire::Outcome)

namespace {

std::string_view view(const QByteArray& bytes)
{
    return std::string_view(bytes.constData(), size_t(bytes.size()));
}

QByteArray bytesOf(std::string_view bytes)
{
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

} // namespace

// Which messages count is the fuzz harness's invariant (fuzz/fuzz_icmp.cpp);
// here the bytes sent, the answer that counts, what each error and each
// helper's answer come to, and the module's texts and outcomes.
class IcmpPacketTest : public QObject {
    Q_OBJECT
private slots:
    void echoRequestAndChecksumBytes()
    {
        // 08 00 | checksum | id 12 34 | seq 00 05 | "hello"; the checksum
        // worked out by hand: ~(0x0800+0x1234+0x0005+0x6865+0x6C6C+0x6F00),
        // an odd length whose sum carries.
        const QByteArray expected = QByteArray::fromHex("0800A1F41234000568656C6C6F");
        QCOMPARE(bytesOf(IcmpPacket::echoRequest(0x1234, 0x0005)).toHex(), expected.toHex());
        QCOMPARE(IcmpPacket::internetChecksum(view(expected)), quint16(0));
    }

    // Our reply counts as the datagram socket gives it (checksum left to the
    // kernel, here damaged) and inside an IPv4 packet with options as the raw
    // socket gives it. Queued errors: the lab's unreachable rows.
    void ourReplyCounts()
    {
        const IcmpPacket::EchoKey key{0xC6120702U, 0x1234, 0x0005};
        const QByteArray reply = QByteArray::fromHex("0000A9F41234000568656C6C6F");
        QByteArray damaged = reply;
        damaged[2] = char(0x11);
        // Version 4 with one option word, time to live 64, ICMP, from 198.18.7.2.
        const QByteArray ipv4 =
            QByteArray::fromHex("460000000000000040010000C61207020000000000000000") + reply;
        QCOMPARE(IcmpPacket::readMessage(view(damaged), key.destination, key, false).status, 0);
        const QByteArray icmp = bytesOf(IcmpPacket::icmpOfIpv4(view(ipv4)));
        QCOMPARE(icmp.toHex(), reply.toHex());
        QCOMPARE(IcmpPacket::readMessage(view(icmp), key.destination, key, true).verdict,
                 IcmpPacket::Verdict::Answered);
    }

    // ICMP errors by type and code (a redirect is no failure, -1), and
    // local errors by their number (type 0).
    void statusOfError_data()
    {
        TableColumns<int, int, qint32>::add(); // type, code or error number, status
        const int errors[][3] = {
            {3, 0, 11002},           {3, 1, 11003},        {3, 2, 11004},
            {3, 3, 11005},           {3, 4, 11009},        {3, 5, 11012},
            {3, 6, 11002},           {3, 7, 11003},        {3, 9, 11002},
            {3, 10, 11003},          {3, 11, 11002},       {3, 13, 11003},
            {3, 77, 11003},          {4, 0, 11016},        {11, 0, 11013},
            {11, 1, 11014},          {12, 0, 11015},       {5, 1, -1},
            {0, ENETUNREACH, 11002}, {0, ENETDOWN, 11002}, {0, EHOSTUNREACH, 11003},
            {0, EACCES, 11018},      {0, EMSGSIZE, 11009}, {0, ENOBUFS, 11006},
            {0, EPERM, 11050}};
        for (const auto& [type, code, status] : errors)
            QTest::addRow("type %d code %d", type, code) << type << code << status;
    }
    void statusOfError()
    {
        const auto [type, code, status] = TableColumns<int, int, qint32>::fetch();
        QCOMPARE(type == 0 ? IcmpPacket::statusOfErrno(code)
                           : IcmpPacket::statusOfIcmpError(quint8(type), quint8(code)),
                 status);
    }

    // An answer from the helper, judged by when the kernel received it
    // (ns after the send): at 1000 ms or later it is a time-out.
    void statusOfHelperAnswer_data()
    {
        // outcome, ICMP type and code or error number, arrival, status, ms
        TableColumns<echo_wire::Outcome, int, qint64, qint32, quint32>::add();
        using enum echo_wire::Outcome;
        QTest::newRow("1.9 ms") << Reply << 0 << qint64(1'900'000) << 0 << 1U;
        QTest::newRow("999 ms") << Reply << 0 << qint64(999'999'999) << 0 << 999U;
        QTest::newRow("late: 1000 ms") << Reply << 0 << qint64(1'000'000'000) << 11010 << 0U;
        QTest::newRow("ICMP error") << IcmpError << 0x0301 << qint64(5) << 11003 << 0U;
        QTest::newRow("send failed") << SendFailed << ENETUNREACH << qint64(0) << 11002 << 0U;
        QTest::newRow("timed out") << TimedOut << 0 << qint64(0) << 11010 << 0U;
        QTest::newRow("refused") << Refused << 0 << qint64(0) << 11011 << 0U;
    }
    void statusOfHelperAnswer()
    {
        const auto [outcome, detail, arrivalNs, status, roundTripMs] =
            TableColumns<echo_wire::Outcome, int, qint64, qint32, quint32>::fetch();
        echo_wire::Answer answer;
        answer.outcome = outcome;
        answer.type = quint8(detail >> 8);
        answer.code = quint8(detail);
        answer.errorNumber = quint32(detail);
        answer.sentNs = 5'000'000'000;
        answer.receivedNs = answer.sentNs + arrivalNs;
        QCOMPARE(HelperIcmpSocket::statusOf(answer), status);
        if (status == 0)
            QCOMPARE(echo_timing::roundTripMs(answer.sentNs, answer.receivedNs), roundTripMs);
    }

    void echoStatusText_data()
    {
        TableColumns<qint32, QString>::add();
        const QStringList texts =
            QStringLiteral("Buffer Too Small|Destination Net Unreachable|Destination Host "
                           "Unreachable|Destination Protocol Unreachable|Destination Port "
                           "Unreachable|No Resources|Bad Option|Hardware Error|Packet Too Big|"
                           "Request Timed Out|Bad Request|Bad Route|TimeToLive Expired Transit|"
                           "TimeToLive Expired Reassembly|Parameter Problem|Source Quench|"
                           "Option Too Big|Bad Destination")
                .split(QLatin1Char('|'));
        for (int i = 0; i < texts.size(); ++i)
            QTest::addRow("%d", 11001 + i) << 11001 + i << texts[i];
        QTest::newRow("0") << 0 << "Success!";
        QTest::newRow("11032") << 11032 << "Negotiating IPSEC";
        QTest::newRow("11050") << 11050 << "General Failure";
        for (const qint32 unknown : {-1, 11000, 11019, 11051, INT_MIN, INT_MAX})
            QTest::addRow("%d", unknown) << unknown << "Unknown Response";
    }
    void echoStatusText()
    {
        const auto [status, text] = TableColumns<qint32, QString>::fetch();
        QCOMPARE(IcmpModule::EchoStatusText(status), text);
    }

    // What is not sent (0.0.0.0, the broadcast, a socket layer not open)
    // finishes with -1; an outcome is never reported from within the call,
    // and none at all for an echo abandoned by closing the socket layer.
    void echoOutcome_data()
    {
        // The address, the socket layer opened, closed meanwhile, and the
        // status (-2: no outcome).
        TableColumns<QString, bool, bool, qint32>::add();
        addRow("sent", "198.18.0.2", true, false, 0);
        addRow("all ones", "255.255.255.255", true, false, -1);
        addRow("socket layer not open", "198.18.0.2", false, false, -1);
        addRow("sent, then closed", "198.18.0.2", true, true, -2);
        addRow("not sent, then closed", "0.0.0.0", true, true, -2);
    }
    void echoOutcome()
    {
        const auto [address, opened, closed, status] =
            TableColumns<QString, bool, bool, qint32>::fetch();
        FakeIcmpSocket socket;
        IcmpModule module(socket);
        QSignalSpy outcomes(&module, &IcmpModule::echoFinished);
        QVERIFY(!opened || module.OpenSocketLayer());
        QVERIFY(module.SendEcho(address));
        QVERIFY(outcomes.isEmpty());
        QVERIFY(!module.SendEcho(QStringLiteral("198.18.0.3"))); // one at a time
        const bool sent = opened && address == QStringLiteral("198.18.0.2");
        QCOMPARE(socket.sent, sent ? QList<quint32>{0xC6120002U} : QList<quint32>());
        if (closed)
            module.CloseSocketLayer();
        else if (sent)
            QVERIFY(socket.finish(0, 12));
        QCoreApplication::processEvents();
        QCOMPARE(outcomes.size(), status == -2 ? 0 : 1);
        QVERIFY(status == -2 || outcomes.first() == (QVariantList{status, sent ? 12U : 0U}));
        QVERIFY(!module.isEchoPending());
    }
};

QTEST_MAIN(IcmpPacketTest)
#include "tst_IcmpPacket.moc"
