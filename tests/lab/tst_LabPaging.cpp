#include <QtTest>

#include <QFile>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QUdpSocket>

// Runs inside the lab's station namespace (tests/lab/lab_sim.sh starts it with
// NMS_LAB=1 through `scripts/lab exec`). It talks to the simulated elements
// as the station would: paging by broadcast, configurations, level requests,
// and the neighbour table after the answers. It knows the lab's fixed plan:
// element I is at 198.18.0.(10+I) with MAC 02:00:c6:12:00:(10+I), odd ones
// are encoders named ENC-0I, even ones decoders named DEC-0I, serial 100000+I.

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
    const QString name = QStringLiteral("%1-%2")
                             .arg(isDecoder(index) ? QStringLiteral("DEC") : QStringLiteral("ENC"))
                             .arg(index, 2, 10, QLatin1Char('0'));
    return name.toLatin1().leftJustified(16, ' ');
}

QByteArray addressBytes(const QString& dotted)
{
    QByteArray bytes;
    for (const QString& part : dotted.split(QLatin1Char('.')))
        bytes.append(char(part.toInt()));
    return bytes;
}

QByteArray serialBytes(quint32 serial)
{
    QByteArray bytes(4, '\0');
    qToBigEndian(serial, bytes.data());
    return bytes;
}

QList<int> indexList(const QByteArray& text, int count)
{
    QList<int> indexes;
    if (text.isEmpty()) {
        for (int i = 1; i <= count; ++i)
            indexes.append(i);
        return indexes;
    }
    for (const QByteArray& part : text.split(','))
        indexes.append(part.trimmed().toInt());
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
        const int count = qEnvironmentVariableIntValue("NMS_LAB_ELEMENTS");
        m_count = count > 0 ? count : 4;
        m_answering = indexList(qgetenv("NMS_LAB_ANSWERING"), m_count);
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
        QSet<QString> senders;
        for (const Answer& answer : answers)
            senders.insert(answer.sender.toString());
        QCOMPARE(senders.size(), answers.size()); // one answer per element
        QCOMPARE(answers.size(), m_answering.size());
        for (int index : m_answering) {
            const auto it = std::find_if(answers.begin(), answers.end(), [&](const Answer& a) {
                return a.sender.toString() == elementIp(index);
            });
            QVERIFY2(it != answers.end(),
                     qPrintable(QStringLiteral("no answer from ") + elementIp(index)));
            checkFeedback(index, it->data);
        }
    }

    void neighbourTableHoldsElementMacs()
    {
        for (int index : m_answering)
            QCOMPARE(resolve(elementIp(index)), elementMac(index));
    }

    // Element 1 (an encoder) is given a new address; it moves its interface
    // and answers from there, and ARP for the new address finds it.
    void configurationMovesInterface()
    {
        const QString newIp = QStringLiteral("198.18.0.51");
        QByteArray packet = addressBytes(newIp) + addressBytes(QStringLiteral("255.255.255.0")) +
                            addressBytes(QStringLiteral("198.18.0.254")) +
                            addressBytes(QStringLiteral("198.18.0.12"));
        packet += QByteArray::fromHex("010101");
        packet += QByteArray("MOVED 01").leftJustified(16, ' ');
        QCOMPARE(packet.size(), 35);
        QCOMPARE(m_socket.writeDatagram(packet, QHostAddress(elementIp(1)), 2976), qint64(35));

        const QList<Answer> answers = collect(1);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].sender.toString(), newIp);
        QCOMPARE(answers[0].data.size(), 44);
        QCOMPARE(answers[0].data.left(35).toHex(), packet.toHex());
        QCOMPARE(resolve(newIp), elementMac(1));
    }

    void decoderConfigurationApplied()
    {
        QByteArray packet = addressBytes(elementIp(2)) +
                            addressBytes(QStringLiteral("255.255.255.0")) +
                            addressBytes(QStringLiteral("198.18.0.254")) +
                            addressBytes(QStringLiteral("198.18.0.51"));
        packet += QByteArray::fromHex("000100");
        packet += QByteArray("DEC-02 NEW").leftJustified(16, ' ');
        packet += QByteArray::fromHex("010401"
                                      "64"
                                      "c8"); // sfn buf sdm sdl sdt
        QCOMPARE(packet.size(), 40);
        QCOMPARE(m_socket.writeDatagram(packet, QHostAddress(elementIp(2)), 2976), qint64(40));

        const QList<Answer> answers = collect(1);
        QCOMPARE(answers.size(), 1);
        const QByteArray& data = answers[0].data;
        QCOMPARE(answers[0].sender.toString(), elementIp(2));
        QCOMPARE(data.size(), 48);
        QCOMPARE(data.left(35).toHex(), packet.left(35).toHex());
        // att (unchanged), version 3.4, then sfn buf sdm sdl sdt as sent.
        QCOMPARE(data.mid(40).toHex(), QByteArray("ff0304010401"
                                                  "64"
                                                  "c8"));
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

    // An address outside the test range is taken into the element's state
    // and reported, but its interface stays where it is.
    void configurationOutsideTestRangeKeepsInterface()
    {
        QByteArray packet = addressBytes(QStringLiteral("192.0.2.5")) +
                            addressBytes(QStringLiteral("255.255.255.0")) +
                            addressBytes(QStringLiteral("192.0.2.1")) +
                            addressBytes(QStringLiteral("198.18.0.14"));
        packet += QByteArray::fromHex("000000");
        packet += QByteArray("ENC-03").leftJustified(16, ' ');
        QCOMPARE(m_socket.writeDatagram(packet, QHostAddress(elementIp(3)), 2976), qint64(35));

        const QList<Answer> answers = collect(1);
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers[0].sender.toString(), elementIp(3));
        QCOMPARE(answers[0].data.left(4).toHex(), QByteArray("c0000205"));
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
        QCOMPARE(data.left(4).toHex(), addressBytes(elementIp(index)).toHex());
        QCOMPARE(data.mid(19, 16), elementName(index));
        QCOMPARE(int(quint8(data[35])), isDecoder(index) ? 2 : 1);
        QCOMPARE(data.mid(36, 4).toHex(), serialBytes(100000 + index).toHex());
    }

    QUdpSocket m_socket;
    int m_count = 0;
    QList<int> m_answering;
    int m_interfaceIndex = 0;
};

QTEST_GUILESS_MAIN(LabPagingTest)
#include "tst_LabPaging.moc"
