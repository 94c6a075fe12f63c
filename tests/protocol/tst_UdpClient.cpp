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

namespace {

enum class Route { Dropped, Feedback, Level };

// Four bytes, so that no tag falls on the dropped length 3.
QByteArray tag(int n)
{
    return QByteArray::number(n).rightJustified(4, '0');
}

QByteArray patterned(int length)
{
    QByteArray data(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        data[i] = char(i * 7 + 1);
    return data;
}

// A loopback port of this run's own, so that parallel runs and a running
// program do not meet.
quint16 ownPort(int offset)
{
    return quint16(20000 + offset + ::getpid() % 20000);
}

} // namespace

Q_DECLARE_METATYPE(Route)
Q_DECLARE_METATYPE(nms::UdpClient::ReopenResult)
Q_DECLARE_METATYPE(nms::UdpEndpoint::SendFailure)

class UdpClientTest : public QObject {
    Q_OBJECT
private slots:
    void dispatchByLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<Route>("route");
        for (int length : {0, 2, 4, 48})
            QTest::addRow("%d bytes", length) << length << Route::Feedback;
        for (int length : {3, 49, 1439, 1441})
            QTest::addRow("%d bytes", length) << length << Route::Dropped;
        addRow("1440 bytes", 1440, Route::Level);
    }
    void dispatchByLength()
    {
        QFETCH(int, length);
        QFETCH(Route, route);
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        FakeClock clock;
        UdpClient client(socket, dialogs, clock);
        QSignalSpy feedback(&client, &UdpClient::feedbackArrived);
        QSignalSpy level(&client, &UdpClient::levelPacketArrived);
        socket.inject(patterned(length));
        QCOMPARE(feedback.count(), route == Route::Feedback ? 1 : 0);
        QCOMPARE(level.count(), route == Route::Level ? 1 : 0);
        if (route != Route::Dropped)
            QCOMPARE((route == Route::Level ? level : feedback).at(0).at(0).toByteArray(),
                     patterned(length));
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(client.waitingCount(), 0);
    }

    // The endpoint is bound once, on 2976. An open endpoint is kept, a closed
    // one bound; an address that is not one changes nothing and raises no box
    // (the caller shows its own). Once ready, a broadcast leaves the remote
    // alone and a failed send ends the endpoint.
    void reopenForElement_data()
    {
        QTest::addColumn<bool>("bound");
        QTest::addColumn<bool>("failBind");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<UdpClient::ReopenResult>("result");
        QTest::addColumn<QString>("remoteHost"); // afterwards
        using R = UdpClient::ReopenResult;
        const QString before = QStringLiteral("198.18.0.30");
        const QString element = QStringLiteral("198.18.0.21");
        addRow("open endpoint kept", true, false, element, R::Ready, element);
        addRow("closed endpoint bound", false, false, element, R::Ready, element);
        addRow("failed bind", false, true, element, R::EndpointFailed, before);
        addRow("blanks around the digits", true, false, " 198. 18.0 .21 ", R::Ready, element);
        addRow("not an address", true, false, "198.18.0.256", R::NoValidAddress, before);
    }
    void reopenForElement()
    {
        QFETCH(bool, bound);
        QFETCH(bool, failBind);
        QFETCH(QString, stored);
        QFETCH(UdpClient::ReopenResult, result);
        QFETCH(QString, remoteHost);
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        FakeClock clock;
        UdpClient client(socket, dialogs, clock);
        if (bound)
            QVERIFY(client.bindLocal() && client.bindLocal());
        socket.failBind = failBind;
        client.setRemoteHost(QStringLiteral("198.18.0.30"));
        client.setRemotePort(2976);
        QSignalSpy failed(&client, &UdpClient::endpointFailed);

        QCOMPARE(client.ReopenForElement(2977, stored), result);

        const bool ready = result == UdpClient::ReopenResult::Ready;
        QCOMPARE(failed.count(), result == UdpClient::ReopenResult::EndpointFailed ? 1 : 0);
        QCOMPARE(client.isClosed(), !bound && failBind);
        QCOMPARE(socket.bindCount, 1);
        QCOMPARE(socket.boundPort, quint16(failBind ? 0 : 2976));
        QCOMPARE(socket.closeCount, 0);
        QCOMPARE(client.remoteHost(), remoteHost);
        QCOMPARE(client.remotePort(), quint16(ready ? 2977 : 2976));
        QVERIFY(dialogs.boxes.isEmpty());
        QVERIFY(socket.sent.isEmpty());
        if (!ready)
            return;
        QVERIFY(client.send(QByteArrayLiteral("VOL")));
        QCOMPARE(socket.sent.size(), 1);
        QCOMPARE(socket.sent[0].data, QByteArrayLiteral("VOL"));
        QCOMPARE(socket.sent[0].host, QHostAddress(remoteHost));
        QCOMPARE(socket.sent[0].port, quint16(2977));
        QVERIFY(!socket.sent[0].broadcast);
        QVERIFY(client.broadcast(QByteArrayLiteral("hello"), 1901));
        QVERIFY(socket.sent[1].broadcast);
        QCOMPARE(socket.sent[1].port, quint16(1901));
        QCOMPARE(client.remoteHost(), remoteHost);
        QCOMPARE(client.remotePort(), quint16(2977));
        client.close();
        QVERIFY(client.isClosed());
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
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        FakeClock clock;
        UdpClient client(socket, dialogs, clock);
        QVERIFY(client.bindLocal());
        QCOMPARE(client.ReopenForElement(2977, QStringLiteral("198.18.0.21")),
                 UdpClient::ReopenResult::Ready);
        socket.busySends = busySends;
        socket.failSend = failure != UdpEndpoint::SendFailure::None;
        socket.failure = failure;
        QSignalSpy refused(&client, &UdpClient::sendRefused);
        QSignalSpy failed(&client, &UdpClient::endpointFailed);

        QCOMPARE(client.send(QByteArrayLiteral("VOL")), outcome == QStringLiteral("sent"));
        QCOMPARE(socket.sent.size(), outcome == QStringLiteral("sent") ? 1 : 0);
        QCOMPARE(socket.roomWaits, std::min(busySends, UdpClient::kSendAttempts - 1));
        QCOMPARE(refused.count(), outcome == QStringLiteral("refused") ? 1 : 0);
        QCOMPARE(failed.count(), outcome == QStringLiteral("failed") ? 1 : 0);
    }

    // What arrives while a box is open (its modal loop running), and what is
    // handed on once it closes: every answer up to 4096 held, in order, and
    // of the level packets only the newest. They follow the closing at once,
    // one per turn of the event loop, without waiting for a poll. A flood of
    // -1: all arrive during one box. Otherwise every answer raises a box, the
    // first box sees `flood` datagrams and every later one a single datagram:
    // the boxes come one after another, never one inside another.
    void datagramsBehindAnOpenBox_data()
    {
        QTest::addColumn<QList<QByteArray>>("arriving");
        QTest::addColumn<int>("flood");
        QTest::addColumn<QList<QByteArray>>("handled");
        QTest::addColumn<int>("dropped");
        using List = QList<QByteArray>;
        const QByteArray answer(44, '\1');
        const auto level = [](int n) { return QByteArray(1440, char(n)); };
        List levels;
        for (int i = 0; i < 300; ++i)
            levels << level(i);
        List answers;
        for (int i = 0; i < 4100; ++i)
            answers << tag(i);
        addRow("answer, level packet, dropped length", List{answer, level(1), QByteArray(3, '\0')},
               -1, List{answer, level(1)}, 0);
        addRow("answer behind 300 level packets", levels + List{answer}, -1,
               List{level(299), answer}, 0);
        addRow("answer among level packets", levels.mid(0, 10) + List{answer} + levels.mid(10, 5),
               -1, List{answer, level(14)}, 0);
        addRow("4100 answers", answers, -1, answers.mid(0, 4096), 4);
        addRow("every answer raises a box", answers.mid(0, 400), 300, answers.mid(0, 400), 0);
    }
    void datagramsBehindAnOpenBox()
    {
        QFETCH(QList<QByteArray>, arriving);
        QFETCH(int, flood);
        QFETCH(QList<QByteArray>, handled);
        QFETCH(int, dropped);
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        FakeClock clock;
        UdpClient client(socket, dialogs, clock);
        QList<QByteArray> got;
        int depth = 0;
        int deepest = 0;
        connect(&client, &UdpClient::levelPacketArrived, this,
                [&](const QByteArray& d) { got << d; });
        connect(&client, &UdpClient::feedbackArrived, this, [&](const QByteArray& d) {
            got << d;
            if (flood < 0)
                return;
            deepest = std::max(deepest, ++depth);
            dialogs.critical(kApplicationTitle, {QStringLiteral("bad"), QStringLiteral("x")});
            --depth;
        });
        qsizetype next = 0;
        dialogs.whileOpen = [&](const MessageBoxRequest&) {
            const qsizetype count = next > 0 ? 1 : flood < 0 ? arriving.size() : flood;
            for (qsizetype i = 0; i < count && next < arriving.size(); ++i) {
                socket.inject(arriving[next++]);
                QCoreApplication::processEvents();
            }
        };

        dialogs.question(QStringLiteral("Send configuration"), {QStringLiteral("x")});
        QVERIFY(got.isEmpty());
        for (int turn = 0; turn < handled.size() + 2 && got.size() < handled.size(); ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(got, handled);
        QCOMPARE(client.waitingCount(), 0);
        QCOMPARE(client.droppedWhileBusy(), dropped);
        QCOMPARE(deepest, flood < 0 ? 0 : 1);
        QCOMPARE(dialogs.boxes.size(), 1 + (flood < 0 ? 0 : handled.size()));
    }

    // Binding is exclusive and only a closed endpoint binds; only a bound
    // endpoint sends; every length arrives, zero included.
    void realEndpointsExchangeEveryLength()
    {
        const quint16 port = ownPort(1);
        QtUdpEndpoint receiver;
        QVERIFY(receiver.bind(port));
        QVERIFY(receiver.isOpen());
        QVERIFY(!receiver.bind(port));
        QtUdpEndpoint rival;
        QVERIFY(!rival.bind(port));
        QVERIFY(!rival.isOpen());
        QList<QByteArray> arrived;
        QList<quint16> senderPorts;
        QList<qint64> arrivedUs;
        connect(&receiver, &UdpEndpoint::datagramArrived, this,
                [&](const QByteArray& d, const QHostAddress&, quint16 senderPort, qint64 at) {
                    arrived << d;
                    senderPorts << senderPort;
                    arrivedUs << at;
                });
        SteadyClock steady;
        const qint64 beforeUs = steady.nowUs();
        QtUdpEndpoint sender;
        QVERIFY(!sender.sendTo(QByteArrayLiteral("VOL"), QHostAddress::LocalHost, port));
        QVERIFY(sender.bind(ownPort(2)));
        const QList<int> lengths{0, 3, 44, 48, 49, 1440, 65507, 0};
        for (int length : lengths)
            QVERIFY(sender.sendTo(patterned(length), QHostAddress::LocalHost, port));
        QTRY_COMPARE(arrived.size(), lengths.size());
        for (int i = 0; i < lengths.size(); ++i) {
            QCOMPARE(arrived.at(i), patterned(lengths.at(i)));
            QCOMPARE(senderPorts.at(i), ownPort(2));
            // The kernel's receive time, on the steady clock.
            QVERIFY(arrivedUs.at(i) >= beforeUs - 1000 && arrivedUs.at(i) <= steady.nowUs());
        }
        receiver.close();
        QVERIFY(!receiver.isOpen());
        QVERIFY(rival.bind(port));
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
        QVERIFY2(endpoint.receiveBufferBytes() >= 2 * ceiling,
                 qPrintable(QString::number(endpoint.receiveBufferBytes())));
        int arrived = 0;
        connect(&endpoint, &UdpEndpoint::datagramArrived, this,
                [&](const QByteArray&, const QHostAddress&, quint16) { ++arrived; });
        QUdpSocket sender;
        const int burst = endpoint.receiveBufferBytes() / 65507 * 2 + 100;
        for (int i = 0; i < burst; ++i)
            QCOMPARE(sender.writeDatagram(patterned(65507), QHostAddress::LocalHost, port),
                     qint64(65507));
        QTRY_COMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
        QVERIFY(endpoint.droppedDatagrams() > 0);
        QTest::qWait(50); // nothing is counted twice
        QCOMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
    }
};

QTEST_MAIN(UdpClientTest)
#include "tst_UdpClient.moc"
