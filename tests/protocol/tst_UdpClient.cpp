#include <QtTest>

#include "FakeClock.h"
#include "FakeUdpEndpoint.h"
#include "RecordingDialogs.h"
#include "TableRow.h"
#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "protocol/UdpClient.h"

#include <QUdpSocket>
#include <unistd.h>

using namespace nms;
using nms::test::addRow;
using nms::test::FakeClock;
using nms::test::FakeUdpEndpoint;
using nms::test::RecordingDialogs;
using List = QList<QByteArray>;
using namespace Qt::StringLiterals;

namespace {

// Four bytes, so that no tag falls on the dropped length 3.
QByteArray tag(int n)
{
    return QByteArray::number(n).rightJustified(4, '0');
}

// A loopback port of this run's own, so that parallel runs and a running
// program do not meet.
quint16 ownPort(int offset)
{
    return quint16(20000 + offset + ::getpid() % 20000);
}

struct Fake {
    FakeUdpEndpoint socket;
    RecordingDialogs dialogs;
    FakeClock clock;
    UdpClient client{socket, dialogs, clock};
    List handed;
    Fake()
    {
        QObject::connect(&client, &UdpClient::levelPacketArrived, &client,
                         [this](const QByteArray& d) { handed << d; });
        QObject::connect(&client, &UdpClient::feedbackArrived, &client,
                         [this](const QByteArray& d) { handed << d + "fb"; });
    }
};

} // namespace

Q_DECLARE_METATYPE(nms::UdpClient::ReopenResult)
Q_DECLARE_METATYPE(nms::UdpEndpoint::SendFailure)

class UdpClientTest : public QObject {
    Q_OBJECT
private slots:
    // Before every datagram to an element: a closed endpoint is bound again
    // on 2976 (a failed bind ends it; the sender's tests show that), and
    // the element's stored address is taken as the checks read it. What the
    // discovery's broadcast leaves of the remote is the discovery's test.
    void reopenForElement_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<UdpClient::ReopenResult>("result");
        addRow("blanks around the digits", " 198. 18.0 .21 ", UdpClient::ReopenResult::Ready);
        addRow("not an address", "198.18.0.256", UdpClient::ReopenResult::NoValidAddress);
    }
    void reopenForElement()
    {
        QFETCH(QString, stored);
        QFETCH(UdpClient::ReopenResult, result);
        Fake f;
        f.client.setRemoteHost(u"198.18.0.30"_s);
        QCOMPARE(f.client.ReopenForElement(2977, stored), result);
        const bool ready = result == UdpClient::ReopenResult::Ready;
        QCOMPARE(f.socket.bindCount, ready ? 1 : 0);
        QCOMPARE(f.socket.boundPort, quint16(ready ? 2976 : 0));
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(f.client.send("VOL"), ready);
        QCOMPARE(f.client.remoteHost(), ready ? u"198.18.0.21"_s : u"198.18.0.30"_s);
        QCOMPARE(f.client.remotePort(), quint16(ready ? 2977 : 2976));
    }

    // A send the kernel has no room for (EAGAIN, ENOBUFS) is tried again
    // after a short wait; only one that never leaves, or that fails
    // otherwise, is reported.
    void sendFailures_data()
    {
        QTest::addColumn<int>("busySends");
        QTest::addColumn<UdpEndpoint::SendFailure>("failure");
        QTest::addColumn<QString>("outcome");
        using F = UdpEndpoint::SendFailure;
        addRow("busy, then room", UdpClient::kSendAttempts - 1, F::None, "sent");
        addRow("busy throughout", UdpClient::kSendAttempts, F::None, "refused");
        addRow("unreachable", 0, F::Unreachable, "refused");
        addRow("endpoint lost", 0, F::Endpoint, "failed");
    }
    void sendFailures()
    {
        QFETCH(int, busySends);
        QFETCH(UdpEndpoint::SendFailure, failure);
        QFETCH(QString, outcome);
        Fake f;
        QVERIFY(f.client.bindLocal());
        f.client.setRemoteHost(QStringLiteral("198.18.0.21"));
        f.socket.busySends = busySends;
        f.socket.failSend = failure != UdpEndpoint::SendFailure::None;
        f.socket.failure = failure;
        QSignalSpy refused(&f.client, &UdpClient::sendRefused);
        QSignalSpy failed(&f.client, &UdpClient::endpointFailed);
        QCOMPARE(f.client.send("VOL"), outcome == QStringLiteral("sent"));
        QCOMPARE(f.socket.sent.size(), outcome == QStringLiteral("sent") ? 1 : 0);
        QCOMPARE(f.socket.roomWaits, std::min(busySends, UdpClient::kSendAttempts - 1));
        QCOMPARE(refused.count(), outcome == QStringLiteral("refused") ? 1 : 0);
        QCOMPARE(failed.count(), outcome == QStringLiteral("failed") ? 1 : 0);
    }

    // What arrives while a box is open (its modal loop running), and what is
    // handed on once it closes: every answer up to 4096 held, in order, and
    // of the level packets only the newest. They follow the closing at once,
    // one per turn of the event loop, without waiting for a poll. With
    // `boxEach`, every answer raises a box, the first box sees 300 datagrams
    // and every later one a single datagram: the boxes come one after
    // another, never one inside another.
    void datagramsBehindAnOpenBox_data()
    {
        QTest::addColumn<List>("arriving");
        QTest::addColumn<bool>("boxEach");
        QTest::addColumn<List>("handled");
        QTest::addColumn<int>("dropped");
        const QByteArray answer(44, '\1');
        const auto level = [](int n) { return QByteArray(1440, char(n)); };
        List levels;
        for (int i = 0; i < 15; ++i)
            levels << level(i);
        List answers;
        for (int i = 0; i < 4100; ++i)
            answers << tag(i);
        addRow("answer among level packets", levels.mid(0, 10) + List{answer} + levels.mid(10),
               false, List{answer + "fb", level(14)}, 0);
        // Answers are 0 to 48 bytes but 3, level packets 1440; the rest goes.
        List lengths;
        for (int length : {0, 3, 48, 49, 1439, 1441, 1440})
            lengths << QByteArray(length, '\7');
        addRow("dispatch by length", lengths, false,
               List{lengths[0] + "fb", lengths[2] + "fb", lengths[6]}, 0);
        List tagged;
        for (const QByteArray& a : answers.mid(0, 4096))
            tagged << a + "fb";
        addRow("4100 answers", answers, false, tagged, 4);
        addRow("every answer raises a box", answers.mid(0, 400), true, tagged.mid(0, 400), 0);
    }
    void datagramsBehindAnOpenBox()
    {
        QFETCH(List, arriving);
        QFETCH(bool, boxEach);
        QFETCH(List, handled);
        QFETCH(int, dropped);
        Fake f;
        int depth = 0;
        int deepest = 0;
        if (boxEach)
            connect(&f.client, &UdpClient::feedbackArrived, this, [&] {
                deepest = std::max(deepest, ++depth);
                f.dialogs.critical(kApplicationTitle, {QStringLiteral("bad")});
                --depth;
            });
        qsizetype next = 0;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            const qsizetype count = next > 0 ? 1 : boxEach ? 300 : arriving.size();
            for (qsizetype i = 0; i < count && next < arriving.size(); ++i) {
                f.socket.inject(arriving[next++]);
                QCoreApplication::processEvents();
            }
        };

        f.dialogs.question(QStringLiteral("Send configuration"), {QStringLiteral("x")});
        QVERIFY(f.handed.isEmpty());
        for (int turn = 0; turn < handled.size() + 2 && f.handed.size() < handled.size(); ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(f.handed, handled);
        QCOMPARE(f.client.droppedWhileBusy(), dropped);
        QCOMPARE(deepest, boxEach ? 1 : 0);
        QCOMPARE(f.dialogs.boxes.size(), 1 + (boxEach ? handled.size() : 0));
    }

    // Over the real kernel: binding is exclusive; every length arrives, zero
    // included; and a time-out is judged by when the kernel received each
    // datagram, not by when the program read it. Behind an open box, A
    // reaches the socket before the time-out's moment and B after it; both
    // are read only once the time-out is set.
    void realEndpointJudgesByKernelTime()
    {
        const quint16 port = ownPort(1);
        QtUdpEndpoint endpoint;
        QVERIFY(endpoint.bind(port));
        QtUdpEndpoint rival;
        QVERIFY(!rival.bind(port));
        RecordingDialogs dialogs;
        SteadyClock steady;
        UdpClient client(endpoint, dialogs, steady);
        QStringList order;
        connect(&client, &UdpClient::feedbackArrived, this,
                [&](const QByteArray& d) { order << QString::number(d.size()); });
        connect(&client, &UdpClient::levelPacketArrived, this, [&] { order << u"level"_s; });
        QUdpSocket sender;
        const auto send = [&](int length) {
            QCOMPARE(sender.writeDatagram(QByteArray(length, 'x'), QHostAddress::LocalHost, port),
                     qint64(length));
        };
        dialogs.whileOpen = [&](const MessageBoxRequest&) {
            send(0);
            send(1440);
            send(44);
            QTest::qSleep(30);
            const qint64 momentUs = steady.nowUs();
            QTest::qSleep(30);
            send(2);
            QTest::qSleep(30);
            client.afterArrivalsUpTo(momentUs, this, [&] { order << u"timeout"_s; });
        };
        dialogs.question(QStringLiteral("Send configuration"), {QStringLiteral("x")});
        QTRY_COMPARE(order, QStringList({u"0"_s, u"level"_s, u"44"_s, u"timeout"_s, u"2"_s}));
    }

    // A burst larger than even the enlarged queue, not read until it is
    // over: every datagram is either handed on or counted as dropped, and
    // the queue is as large as the system lets the program have.
    void realEndpointCountsWhatTheKernelDropped()
    {
        const quint16 port = ownPort(3);
        QtUdpEndpoint endpoint;
        QVERIFY(endpoint.bind(port));
        QFile ceilingFile(QStringLiteral("/proc/sys/net/core/rmem_max"));
        QVERIFY(ceilingFile.open(QIODevice::ReadOnly));
        const int ceiling = ceilingFile.readAll().trimmed().toInt();
        QVERIFY(endpoint.receiveBufferBytes() >= 2 * ceiling);
        int arrived = 0;
        connect(&endpoint, &UdpEndpoint::datagramArrived, this, [&] { ++arrived; });
        QUdpSocket sender;
        const int burst = endpoint.receiveBufferBytes() / 65507 * 2 + 100;
        for (int i = 0; i < burst; ++i)
            QCOMPARE(sender.writeDatagram(QByteArray(65507, 'x'), QHostAddress::LocalHost, port),
                     qint64(65507));
        QTRY_COMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
        QVERIFY(endpoint.droppedDatagrams() > 0);
        QTest::qWait(50); // nothing is counted twice
        QCOMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
    }
};

QTEST_MAIN(UdpClientTest)
#include "tst_UdpClient.moc"
