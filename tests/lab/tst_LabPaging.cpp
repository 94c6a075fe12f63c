#include <QtTest>

#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

#include <numeric>

#include "TableRow.h"

// Runs inside the lab's station namespace (tests/lab/lab_sim.sh starts it with
// NMS_LAB=1 through `scripts/lab exec`). It talks to the simulated elements
// as the station would: paging by broadcast, configurations, level requests,
// and the neighbour table after the answers. It knows the lab's fixed plan:
// element I is at 198.18.0.(10+I) with MAC 02:00:c6:12:00:(10+I), odd ones
// are encoders named ENC-0I, even ones decoders named DEC-0I, serial 100000+I.

using namespace nms::test;

namespace {

constexpr quint16 kStationPort = 2976;
constexpr int kAnswerWaitMs = 3000;
constexpr int kQuietWaitMs = 300;
constexpr int kNeighbourWaitMs = 3000;
const QByteArray kPagingRequest = "IPMPXSTL ORBELUND PAGING REQUEST";

struct Answer {
    QHostAddress sender;
    QByteArray data;
};

QString elementIp(int index)
{
    return QStringLiteral("198.18.0.%1").arg(10 + index);
}

QString elementMac(int index)
{
    return QStringLiteral("02:00:c6:12:00:%1").arg(10 + index, 2, 16, QLatin1Char('0'));
}

bool isDecoder(int index)
{
    return index % 2 == 0;
}

QByteArray elementName(int index)
{
    return (isDecoder(index) ? QByteArrayLiteral("DEC-0") : QByteArrayLiteral("ENC-0")) +
           QByteArray::number(index).leftJustified(11, ' ');
}

// The elements NMS_LAB_ANSWERING names, or all of them.
QList<int> answeringElements()
{
    const QByteArray named = qgetenv("NMS_LAB_ANSWERING");
    QList<int> indexes;
    if (named.isEmpty()) {
        const int count = qEnvironmentVariableIntValue("NMS_LAB_ELEMENTS");
        indexes.resize(count > 0 ? count : 4);
        std::iota(indexes.begin(), indexes.end(), 1);
        return indexes;
    }
    for (const QByteArray& part : named.split(','))
        indexes.append(part.toInt());
    return indexes;
}

// A complete neighbour entry (flags 0x2) for the address, from the table of
// this namespace; empty when there is none yet.
QString neighbourMac(const QString& ip)
{
    QFile table(QStringLiteral("/proc/net/arp"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    table.readLine(); // header
    while (!table.atEnd()) {
        const QStringList fields =
            QString::fromLatin1(table.readLine()).simplified().split(QLatin1Char(' '));
        if (fields.size() >= 4 && fields[0] == ip && fields[2] == QStringLiteral("0x2"))
            return fields[3];
    }
    return {};
}

} // namespace

class LabPagingTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (qgetenv("NMS_LAB") != "1")
            QSKIP("runs only inside the lab: scripts/lab exec env NMS_LAB=1 tst_LabPaging "
                  "(tests/lab/lab_sim.sh does this)");
        m_answering = answeringElements();
        m_interfaceIndex = labInterfaceIndex();
        QVERIFY2(m_interfaceIndex > 0, "no interface with 198.18.0.1 in this namespace");
        QVERIFY2(
            m_socket.bind(QHostAddress::AnyIPv4, kStationPort, QAbstractSocket::DontShareAddress),
            qPrintable(m_socket.errorString()));
    }

    void init() { drain(); }

    void pagingAnswers_data()
    {
        QTest::addColumn<QString>("destination");
        QTest::addColumn<bool>("throughInterface");
        QTest::newRow("subnet broadcast") << "198.18.0.255" << false;
        QTest::newRow("limited broadcast out of the interface") << "255.255.255.255" << true;
    }
    void pagingAnswers()
    {
        QFETCH(QString, destination);
        QFETCH(bool, throughInterface);
        QNetworkDatagram request(kPagingRequest, QHostAddress(destination), 1901);
        if (throughInterface)
            request.setInterfaceIndex(uint(m_interfaceIndex));
        QCOMPARE(m_socket.writeDatagram(request), qint64(kPagingRequest.size()));

        const QList<Answer> answers = collect(m_answering.size());
        QStringList senders;
        for (const Answer& answer : answers)
            senders << answer.sender.toString();
        QStringList expected;
        for (int index : std::as_const(m_answering))
            expected << elementIp(index);
        senders.sort();
        expected.sort();
        QCOMPARE(senders, expected); // one answer per answering element
        for (const Answer& answer : answers)
            checkFeedback(int(answer.sender.toIPv4Address() & 0xff) - 10, answer.data);
    }

    void neighbourTableHoldsElementMacs()
    {
        for (int index : m_answering)
            QCOMPARE(resolve(elementIp(index)), elementMac(index));
    }

    // The element takes the configuration and answers with its whole state
    // (the packet's fields, role, serial, then for an encoder version, SFN
    // and buffer, for a decoder attenuation, version, SFN, buffer and
    // silence detection) from the address it now runs, where ARP finds it.
    // An address outside the test range is taken into the state and
    // reported, but the interface stays where it is.
    void configurationAnswered_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<QByteArray>("packetHex");
        QTest::addColumn<QString>("sender");
        QTest::addColumn<QByteArray>("answerTailHex");
        // To 198.18.0.51, remote .12, inputs 1 1 1, "MOVED 01".
        addRow("encoder moves its interface", 1,
               QByteArray("c6120033 ffffff00 c61200fe c612000c 01 01 01 "
                          "4d4f5645442030312020202020202020"),
               "198.18.0.51", QByteArray("01 000186a1 0304 00 02"));
        // Remote .51, MPX, "DEC-02 NEW", SFN 1, buffer 4, mode 1, 100, 200.
        addRow("decoder", 2,
               QByteArray("c612000c ffffff00 c61200fe c6120033 00 01 00 "
                          "4445432d3032204e4557202020202020 01 04 01 64 c8"),
               "198.18.0.12", QByteArray("02 000186a2 ff 0304 01 04 01 64 c8"));
        // To 192.0.2.5 with gateway 192.0.2.1, remote .14, "ENC-03".
        addRow("address outside the test range", 3,
               QByteArray("c0000205 ffffff00 c0000201 c612000e 00 00 00 "
                          "454e432d303320202020202020202020"),
               "198.18.0.13", QByteArray("01 000186a3 0304 00 02"));
    }
    void configurationAnswered()
    {
        QFETCH(int, index);
        QFETCH(QByteArray, packetHex);
        QFETCH(QString, sender);
        QFETCH(QByteArray, answerTailHex);
        const QByteArray packet = QByteArray::fromHex(packetHex);
        QCOMPARE(packet.size(), isDecoder(index) ? 40 : 35);
        QCOMPARE(m_socket.writeDatagram(packet, QHostAddress(elementIp(index)), 2976),
                 qint64(packet.size()));

        const QList<Answer> answers = collect(1);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].sender.toString(), sender);
        QCOMPARE(answers[0].data.toHex(),
                 QByteArray(packet.left(35) + QByteArray::fromHex(answerTailHex)).toHex());
        QCOMPARE(resolve(sender), elementMac(index));
    }

    void levelAndAttenuation()
    {
        const QHostAddress decoder(elementIp(2));
        QCOMPARE(m_socket.writeDatagram(QByteArray::fromHex("c800"), decoder, 2977), qint64(2));
        QCOMPARE(m_socket.writeDatagram(QByteArray("VOL"), decoder, 2977), qint64(3));
        const QList<Answer> answers = collect(1);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].data.size(), 1440);
        // The default tone peaks at -6 dBFS: 4204263 = 0x4026e7 at sample 12.
        QCOMPARE(answers[0].data.mid(36, 3).toHex(), QByteArray("4026e7"));
    }

private:
    int labInterfaceIndex() const
    {
        for (const QNetworkInterface& netif : QNetworkInterface::allInterfaces()) {
            for (const QNetworkAddressEntry& entry : netif.addressEntries()) {
                if (entry.ip() == QHostAddress(QStringLiteral("198.18.0.1")))
                    return netif.index();
            }
        }
        return 0;
    }

    void drain()
    {
        while (m_socket.hasPendingDatagrams())
            m_socket.receiveDatagram();
    }

    // Waits for the expected number of answers (bounded), then a little
    // longer so that an answer that should not come is caught too.
    QList<Answer> collect(int expected)
    {
        QList<Answer> answers;
        auto take = [&] {
            while (m_socket.hasPendingDatagrams()) {
                const QNetworkDatagram d = m_socket.receiveDatagram();
                answers.append({QHostAddress(d.senderAddress().toIPv4Address()), d.data()});
            }
            return answers.size() >= expected;
        };
        static_cast<void>(QTest::qWaitFor(take, kAnswerWaitMs));
        QTest::qWait(kQuietWaitMs);
        take();
        return answers;
    }

    // Probes the address as the station's MAC lookup does (an empty datagram
    // to the discard port) and waits, bounded, for the complete entry.
    QString resolve(const QString& ip)
    {
        QUdpSocket probe;
        probe.writeDatagram(QByteArray(), QHostAddress(ip), 9);
        QString mac;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                mac = neighbourMac(ip);
                return !mac.isEmpty();
            },
            kNeighbourWaitMs));
        return mac;
    }

    void checkFeedback(int index, const QByteArray& data)
    {
        QCOMPARE(data.size(), isDecoder(index) ? 48 : 44);
        QCOMPARE(QHostAddress(qFromBigEndian<quint32>(data.constData())).toString(),
                 elementIp(index));
        QCOMPARE(data.mid(19, 16), elementName(index));
        QCOMPARE(int(quint8(data[35])), isDecoder(index) ? 2 : 1);
        QCOMPARE(qFromBigEndian<quint32>(data.constData() + 36), quint32(100000 + index));
    }

    QUdpSocket m_socket;
    QList<int> m_answering;
    int m_interfaceIndex = 0;
};

QTEST_GUILESS_MAIN(LabPagingTest)
#include "tst_LabPaging.moc"
