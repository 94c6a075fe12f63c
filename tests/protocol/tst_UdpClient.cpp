#include <QtTest>

#include "FakeUdpEndpoint.h"
#include "RecordingDialogs.h"
#include "platform/QtUdpEndpoint.h"
#include "protocol/UdpClient.h"

#include <QNetworkDatagram>
#include <QUdpSocket>
#include <unistd.h>

using namespace nms;
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

// Lets queued deliveries run; bounded in count and time.
void pumpUntil(const std::function<bool()>& done)
{
    QDeadlineTimer deadline(5000);
    for (int round = 0; round < 100000 && !done() && !deadline.hasExpired(); ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

} // namespace

Q_DECLARE_METATYPE(Route)

class UdpClientTest : public QObject {
    Q_OBJECT
private slots:
    void dispatchByLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<Route>("route");
        QTest::newRow("0 bytes") << 0 << Route::Feedback;
        QTest::newRow("1 byte") << 1 << Route::Feedback;
        QTest::newRow("2 bytes") << 2 << Route::Feedback;
        QTest::newRow("3 bytes") << 3 << Route::Dropped;
        QTest::newRow("4 bytes") << 4 << Route::Feedback;
        QTest::newRow("40 bytes") << 40 << Route::Feedback;
        QTest::newRow("44 bytes") << 44 << Route::Feedback;
        QTest::newRow("48 bytes") << 48 << Route::Feedback;
        QTest::newRow("49 bytes") << 49 << Route::Dropped;
        QTest::newRow("1439 bytes") << 1439 << Route::Dropped;
        QTest::newRow("1440 bytes") << 1440 << Route::Level;
        QTest::newRow("1441 bytes") << 1441 << Route::Dropped;
        QTest::newRow("65535 bytes") << 65535 << Route::Dropped;
    }
    void dispatchByLength()
    {
        QFETCH(int, length);
        QFETCH(Route, route);
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QList<QByteArray> feedback;
        QList<QByteArray> level;
        connect(&client, &UdpClient::feedbackArrived, this,
                [&](const QByteArray& d) { feedback << d; });
        connect(&client, &UdpClient::levelPacketArrived, this,
                [&](const QByteArray& d) { level << d; });

        const QByteArray data = patterned(length);
        socket.inject(data);

        QCOMPARE(feedback.size(), route == Route::Feedback ? 1 : 0);
        QCOMPARE(level.size(), route == Route::Level ? 1 : 0);
        if (route == Route::Feedback)
            QCOMPARE(feedback.first(), data);
        if (route == Route::Level)
            QCOMPARE(level.first(), data);
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(client.waitingCount(), 0);
    }

    void bindLocalBindsOnceOnPort2976()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QVERIFY(client.isClosed());
        QVERIFY(client.bindLocal());
        QCOMPARE(socket.boundPort, quint16(2976));
        QVERIFY(!client.isClosed());
        QVERIFY(client.bindLocal());
        QCOMPARE(socket.bindCount, 1);
        client.close();
        QVERIFY(client.isClosed());
    }

    void bindLocalReportsOccupiedPort()
    {
        FakeUdpEndpoint socket;
        socket.failBind = true;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QVERIFY(!client.bindLocal());
        QVERIFY(client.isClosed());
    }

    void reopenKeepsAnOpenEndpoint()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QVERIFY(client.bindLocal());
        QSignalSpy failed(&client, &UdpClient::endpointFailed);

        QCOMPARE(client.ReopenForElement(2977, QStringLiteral("198.18.0.21")),
                 UdpClient::ReopenResult::Ready);
        QCOMPARE(socket.closeCount, 0);
        QCOMPARE(socket.bindCount, 1);
        QCOMPARE(client.remoteHost(), QStringLiteral("198.18.0.21"));
        QCOMPARE(client.remotePort(), quint16(2977));

        QVERIFY(client.send(QByteArrayLiteral("VOL")));
        QCOMPARE(socket.sent.size(), 1);
        QCOMPARE(socket.sent[0].data, QByteArrayLiteral("VOL"));
        QCOMPARE(socket.sent[0].host, QHostAddress(QStringLiteral("198.18.0.21")));
        QCOMPARE(socket.sent[0].port, quint16(2977));
        QVERIFY(!socket.sent[0].broadcast);
        QCOMPARE(failed.count(), 0);
    }

    void reopenBindsAClosedEndpoint()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QCOMPARE(client.ReopenForElement(2976, QStringLiteral("198.18.0.22")),
                 UdpClient::ReopenResult::Ready);
        QCOMPARE(socket.bindCount, 1);
        QCOMPARE(socket.boundPort, quint16(2976));
        QVERIFY(!client.isClosed());
    }

    void reopenReportsAFailedBind()
    {
        FakeUdpEndpoint socket;
        socket.failBind = true;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QSignalSpy failed(&client, &UdpClient::endpointFailed);
        QCOMPARE(client.ReopenForElement(2976, QStringLiteral("198.18.0.22")),
                 UdpClient::ReopenResult::EndpointFailed);
        QCOMPARE(failed.count(), 1);
        QVERIFY(socket.sent.isEmpty());
    }

    void reopenRefusesAnAddressThatIsNotOne_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << QString();
        QTest::newRow("three parts") << QStringLiteral("198.18.0");
        QTest::newRow("five parts") << QStringLiteral("198.18.0.1.2");
        QTest::newRow("above 255") << QStringLiteral("198.18.0.256");
        QTest::newRow("negative") << QStringLiteral("198.18.-1.2");
        QTest::newRow("empty part") << QStringLiteral("198..0.2");
        QTest::newRow("name") << QStringLiteral("encoder.local");
    }
    void reopenRefusesAnAddressThatIsNotOne()
    {
        QFETCH(QString, stored);
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QVERIFY(client.bindLocal());
        client.setRemoteHost(QStringLiteral("198.18.0.30"));
        client.setRemotePort(2976);
        QSignalSpy failed(&client, &UdpClient::endpointFailed);

        QCOMPARE(client.ReopenForElement(2977, stored), UdpClient::ReopenResult::NoValidAddress);

        QCOMPARE(failed.count(), 0);
        QVERIFY(socket.sent.isEmpty());
        QVERIFY(dialogs.boxes.isEmpty()); // the caller shows its own box
        QCOMPARE(client.remoteHost(), QStringLiteral("198.18.0.30"));
        QCOMPARE(client.remotePort(), quint16(2976));
        QCOMPARE(socket.closeCount, 0);
    }

    void reopenAcceptsBlanksAroundTheDigits()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QCOMPARE(client.ReopenForElement(2976, QStringLiteral(" 198. 18.0 .7 ")),
                 UdpClient::ReopenResult::Ready);
        QCOMPARE(client.remoteHost(), QStringLiteral("198.18.0.7"));
        QVERIFY(client.send(QByteArrayLiteral("x")));
        QCOMPARE(socket.sent[0].host, QHostAddress(QStringLiteral("198.18.0.7")));
    }

    void failedSendEndsTheEndpoint()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QVERIFY(client.bindLocal());
        QCOMPARE(client.ReopenForElement(2976, QStringLiteral("198.18.0.22")),
                 UdpClient::ReopenResult::Ready);
        socket.failSend = true;
        QSignalSpy failed(&client, &UdpClient::endpointFailed);
        QVERIFY(!client.send(QByteArray(35, '\0')));
        QCOMPARE(failed.count(), 1);
    }

    void broadcastLeavesTheRemoteSettingsAlone()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QVERIFY(client.bindLocal());
        client.setRemoteHost(QStringLiteral("198.18.0.40"));
        client.setRemotePort(2977);
        QVERIFY(client.broadcast(QByteArrayLiteral("hello"), 1901));
        QCOMPARE(socket.sent.size(), 1);
        QVERIFY(socket.sent[0].broadcast);
        QCOMPARE(socket.sent[0].port, quint16(1901));
        QCOMPARE(client.remoteHost(), QStringLiteral("198.18.0.40"));
        QCOMPARE(client.remotePort(), quint16(2977));
    }

    // Every feedback raises a box, and while each box is open the network
    // keeps sending: the boxes come one after another, never one inside
    // another, and the datagrams keep their order.
    void datagramsWaitWhileABoxIsOpen()
    {
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QList<QByteArray> handled;
        int depth = 0;
        int deepest = 0;
        connect(&client, &UdpClient::feedbackArrived, this, [&](const QByteArray& d) {
            handled << d;
            ++depth;
            deepest = std::max(deepest, depth);
            dialogs.critical(kApplicationTitle, {QStringLiteral("bad"), QStringLiteral("x")});
            --depth;
        });
        int next = 0;
        dialogs.whileOpen = [&](const MessageBoxRequest&) {
            // The first box sees a flood; later boxes see one datagram each.
            const int count = next == 0 ? 300 : 1;
            for (int i = 0; i < count && next < 400; ++i)
                socket.inject(tag(next++));
        };

        socket.inject(QByteArrayLiteral("first"));
        QCOMPARE(handled.size(), 1); // no box was open: handled at once
        QCOMPARE(client.waitingCount(), 300);

        pumpUntil([&] { return client.waitingCount() == 0; });

        QCOMPARE(deepest, 1);
        QCOMPARE(handled.first(), QByteArrayLiteral("first"));
        QCOMPARE(handled.size(), 401);
        for (int i = 0; i < 400; ++i)
            QCOMPARE(handled.at(1 + i), tag(i));
        QCOMPARE(handled.size(), dialogs.boxes.size());
        QCOMPARE(client.droppedWhileBusy(), 0);
    }

    // What arrives while a box is open (its modal loop running), and what is
    // handed on once it closes: every answer up to 4096 held, in order, and
    // of the level packets only the newest. They follow the closing at once,
    // one per turn of the event loop, without waiting for a poll.
    void datagramsBehindAnOpenBox_data()
    {
        QTest::addColumn<QList<QByteArray>>("arriving");
        QTest::addColumn<QList<QByteArray>>("handled");
        QTest::addColumn<int>("dropped");
        const QByteArray answer(44, '\1');
        const auto level = [](int n) { return QByteArray(1440, char(n)); };
        QList<QByteArray> levels;
        for (int i = 0; i < 300; ++i)
            levels << level(i);

        QTest::newRow("answer, level packet, dropped length")
            << QList<QByteArray>{answer, level(1), QByteArray(3, '\0')}
            << QList<QByteArray>{answer, level(1)} << 0;
        QTest::newRow("answer behind 300 level packets")
            << (levels + QList<QByteArray>{answer}) << QList<QByteArray>{level(299), answer} << 0;
        QTest::newRow("answer among level packets")
            << (levels.mid(0, 10) + QList<QByteArray>{answer} + levels.mid(10, 5))
            << QList<QByteArray>{answer, level(14)} << 0;
        QList<QByteArray> answers;
        for (int i = 0; i < 4100; ++i)
            answers << tag(i);
        QTest::newRow("4100 answers") << answers << answers.mid(0, 4096) << 4;
    }
    void datagramsBehindAnOpenBox()
    {
        QFETCH(QList<QByteArray>, arriving);
        QFETCH(QList<QByteArray>, handled);
        QFETCH(int, dropped);
        FakeUdpEndpoint socket;
        RecordingDialogs dialogs;
        UdpClient client(socket, dialogs);
        QList<QByteArray> got;
        connect(&client, &UdpClient::levelPacketArrived, this,
                [&](const QByteArray& d) { got << d; });
        connect(&client, &UdpClient::feedbackArrived, this, [&](const QByteArray& d) { got << d; });
        dialogs.whileOpen = [&](const MessageBoxRequest&) {
            for (const QByteArray& datagram : arriving) {
                socket.inject(datagram);
                QCoreApplication::processEvents();
            }
        };

        dialogs.question(QStringLiteral("Send configuration"), {QStringLiteral("x")});
        QVERIFY(got.isEmpty());
        QCOMPARE(client.droppedWhileBusy(), dropped);
        for (int turn = 0; turn < handled.size() + 2 && got.size() < handled.size(); ++turn)
            QCoreApplication::processEvents();

        QCOMPARE(got.size(), handled.size());
        QCOMPARE(got, handled);
        QCOMPARE(client.waitingCount(), 0);
    }

    // The real endpoint on loopback, on a port of its own so that parallel
    // runs and a running program do not meet.
    void realEndpointIsExclusive()
    {
        const quint16 port = quint16(20000 + ::getpid() % 20000);
        QtUdpEndpoint first;
        QVERIFY(first.bind(port));
        QVERIFY(first.isOpen());
        QVERIFY(!first.bind(port)); // binds only a closed endpoint
        QtUdpEndpoint second;
        QVERIFY(!second.bind(port));
        QVERIFY(!second.isOpen());
        first.close();
        QVERIFY(!first.isOpen());
        QVERIFY(second.bind(port));
    }

    void realEndpointDeliversEveryLength()
    {
        const quint16 port = quint16(20001 + ::getpid() % 20000);
        QtUdpEndpoint endpoint;
        QVERIFY(endpoint.bind(port));
        QList<QByteArray> arrived;
        connect(&endpoint, &UdpEndpoint::datagramArrived, this,
                [&](const QByteArray& d, const QHostAddress&, quint16) { arrived << d; });
        QUdpSocket sender;
        const QList<int> lengths{0, 3, 44, 48, 49, 1440, 65507, 0};
        for (int length : lengths)
            QCOMPARE(sender.writeDatagram(patterned(length), QHostAddress::LocalHost, port),
                     qint64(length));
        QTRY_COMPARE(arrived.size(), lengths.size());
        for (int i = 0; i < lengths.size(); ++i)
            QCOMPARE(arrived.at(i), patterned(lengths.at(i)));
    }

    // A burst larger than even the enlarged queue, not read until it is
    // over: every datagram is either handed on or counted as dropped, and
    // the queue is as large as the system lets the program have.
    void realEndpointCountsWhatTheKernelDropped()
    {
        const quint16 port = quint16(20003 + ::getpid() % 20000);
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
        QTest::qWait(50);
        QCOMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
    }

    void realEndpointSendsToAHost()
    {
        const quint16 port = quint16(20002 + ::getpid() % 20000);
        QUdpSocket receiver;
        QVERIFY(receiver.bind(QHostAddress::LocalHost, port));
        QtUdpEndpoint endpoint;
        QVERIFY(!endpoint.sendTo(QByteArrayLiteral("VOL"), QHostAddress::LocalHost, port));
        QVERIFY(endpoint.bind(quint16(port + 1)));
        QVERIFY(endpoint.sendTo(QByteArrayLiteral("VOL"), QHostAddress::LocalHost, port));
        QTRY_VERIFY(receiver.hasPendingDatagrams());
        const QNetworkDatagram got = receiver.receiveDatagram();
        QCOMPARE(got.data(), QByteArrayLiteral("VOL"));
        QCOMPARE(got.senderPort(), port + 1);
    }
};

QTEST_MAIN(UdpClientTest)
#include "tst_UdpClient.moc"
