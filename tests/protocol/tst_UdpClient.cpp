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
using namespace nms::test;
using List = QList<QByteArray>;
using namespace Qt::StringLiterals;

namespace {

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

class UdpClientTest : public QObject {
    Q_OBJECT
private slots:
    // Before every datagram to an element, a closed endpoint is bound again
    // on 2976 and the element's stored address is taken as the checks read
    // it. A send the kernel has no room for (EAGAIN, ENOBUFS) is tried again
    // after a short wait; only one that never leaves is refused.
    void sendToElement_data()
    {
        QTest::addColumn<int>("busySends");
        addRow("room at once", 0);
        addRow("busy, then room", UdpClient::kSendAttempts - 1);
        addRow("busy throughout", UdpClient::kSendAttempts);
    }
    void sendToElement()
    {
        QFETCH(int, busySends);
        Fake f;
        f.socket.busySends = busySends;
        QSignalSpy refused(&f.client, &UdpClient::sendRefused);
        QVERIFY(f.client.ReopenForElement(2977, u" 198. 18.0 .21 "_s) ==
                UdpClient::ReopenResult::Ready);
        QCOMPARE(f.socket.boundPort, quint16(2976));
        const bool sent = busySends < UdpClient::kSendAttempts;
        QCOMPARE(f.client.send("VOL"), sent);
        QCOMPARE(f.socket.sent.size(), sent ? 1 : 0);
        if (sent)
            QVERIFY(f.socket.sent[0].host == QHostAddress(u"198.18.0.21"_s) &&
                    f.socket.sent[0].port == 2977);
        QCOMPARE(f.socket.roomWaits, std::min(busySends, UdpClient::kSendAttempts - 1));
        QCOMPARE(refused.count(), sent ? 0 : 1);
    }

    // What arrives while a box is open (its modal loop running), and what is
    // handed on once it closes: every answer (0 to 48 bytes but 3; the
    // discovery's test goes beyond the hold limit), and of the level packets
    // (1440 bytes) only the newest; other lengths go. They follow the closing
    // at once, one per turn of the event loop, without waiting for a poll.
    void datagramsBehindAnOpenBox()
    {
        List arriving;
        for (int length : {0, 3, 48, 49, 1439, 1441})
            arriving << QByteArray(length, '\7');
        for (int i = 0; i < 15; ++i)
            arriving << QByteArray(1440, char(i));
        const QByteArray answer(44, '\1');
        arriving.insert(16, answer); // among the level packets
        const List handled{"fb", QByteArray(48, '\7') + "fb", answer + "fb", arriving.last()};
        Fake f;
        f.dialogs.whileOpen = [&](const MessageBoxRequest&) {
            for (const QByteArray& datagram : arriving) {
                f.socket.inject(datagram);
                QCoreApplication::processEvents();
            }
        };
        f.dialogs.question(u"Send configuration"_s, {u"x"_s});
        QVERIFY(f.handed.isEmpty());
        for (int turn = 0; turn < handled.size() + 2 && f.handed.size() < handled.size(); ++turn)
            QCoreApplication::processEvents();
        QCOMPARE(f.handed, handled);
        QCOMPARE(f.client.droppedWhileBusy(), 0);
    }

    // Over the real kernel, in one place. Binding is exclusive; every length
    // arrives, zero included; and a time-out is judged by when the kernel
    // received each datagram, not by when the program read it: behind an
    // open box, the answers reach the socket before the time-out's moment
    // and the last one after it, and all are read only once the time-out is
    // set. Then a burst larger than even the enlarged queue, not read until
    // it is over: every datagram is either handed on or counted as dropped,
    // and the queue is as large as the system lets the program have.
    void realEndpoint()
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
        int arrived = 0;
        qint64 lastAgeUs = 0;
        connect(&endpoint, &UdpEndpoint::datagramArrived, this,
                [&](const QByteArray&, const QHostAddress&, quint16, qint64 arrivedUs) {
                    ++arrived;
                    lastAgeUs = steady.nowUs() - arrivedUs;
                });
        QUdpSocket sender;
        const auto send = [&](int length) {
            QCOMPARE(sender.writeDatagram(QByteArray(length, 'x'), QHostAddress::LocalHost, port),
                     qint64(length));
        };
        // Loopback delivery may lag behind the send on a busy machine: a
        // probe sent after the datagrams to a socket of its own is awaited,
        // so that they have reached theirs.
        QUdpSocket probe;
        QVERIFY(probe.bind(QHostAddress::LocalHost, ownPort(2)));
        const auto settle = [&] {
            sender.writeDatagram("p", QHostAddress::LocalHost, ownPort(2));
            QVERIFY(probe.waitForReadyRead(5000));
            char byte = 0;
            probe.readDatagram(&byte, 1);
            QTest::qSleep(20);
        };
        // The kernel starts stamping arrivals a moment after the first socket
        // asks for it; until then a datagram carries the time it is read.
        for (int i = 0; i < 100 && lastAgeUs < 10000; ++i) {
            send(3);
            QTest::qSleep(20);
            endpoint.takePending();
        }
        QVERIFY(lastAgeUs >= 10000);
        dialogs.whileOpen = [&](const MessageBoxRequest&) {
            send(0);
            send(1440);
            send(44);
            settle();
            const qint64 momentUs = steady.nowUs();
            QTest::qSleep(20);
            send(2);
            settle();
            client.afterArrivalsUpTo(momentUs, this, [&] { order << u"timeout"_s; });
        };
        dialogs.question(u"Send configuration"_s, {u"x"_s});
        QTRY_COMPARE(order, QStringList({u"0"_s, u"level"_s, u"44"_s, u"timeout"_s, u"2"_s}));

        QFile ceilingFile(u"/proc/sys/net/core/rmem_max"_s);
        QVERIFY(ceilingFile.open(QIODevice::ReadOnly));
        QVERIFY(endpoint.receiveBufferBytes() >= 2 * ceilingFile.readAll().trimmed().toInt());
        arrived = 0;
        const int burst = endpoint.receiveBufferBytes() / 65507 * 2 + 100;
        for (int i = 0; i < burst; ++i)
            send(65507);
        QTRY_COMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
        QVERIFY(endpoint.droppedDatagrams() > 0);
        QTest::qWait(50); // nothing is counted twice
        QCOMPARE(quint64(arrived) + endpoint.droppedDatagrams(), quint64(burst));
    }
};

QTEST_MAIN(UdpClientTest)
#include "tst_UdpClient.moc"
