#include <QtTest>

#include <QGroupBox>
#include <QHostAddress>
#include <QUdpSocket>

#include <cstdio>

#include "LabProgram.h"

// Discovery by the whole program on the lab network (tests/lab/lab_discovery.sh
// and lab_nmsctl.sh). NMS_LAB_FAULT names what the script did to the lab or
// the database's folder beforehand; the script checks the file it leaves.

using namespace nms;
using namespace nms::test;
using namespace nms::test::lab;

namespace {

constexpr int kFloodCount = 10000;
// A MAC that is never found is reported after its 5 s bound.
constexpr int kQuietMs = 6000;
constexpr int kSettleTimeoutMs = 60000;
// The queues in front of the handlers are bounded well below this.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 kFloodMemoryBoundKiB = (128 + 512) * 1024; // ASan's quarantine
#else
constexpr qint64 kFloodMemoryBoundKiB = 128 * 1024;
#endif
const QString kQuestionText =
    QStringLiteral("Performing an 'Auto Discovery' will delete the local database in your "
                   "computer\rand create a new one, based on the Network Elements found (if any). "
                   "\rAre you sure?");
const QString kWriteFailedText =
    QStringLiteral("An error occured while saving this element info to the local "
                   "database.\rCannot save this element info.");

// The first address this namespace's neighbour table holds (every address
// the program asked the kernel to resolve) outside the lab network.
QString addressResolvedOffTheLab()
{
    const QByteArray table = readBytes(QStringLiteral("/proc/net/arp"));
    if (table == kNoFile)
        return QStringLiteral("no /proc/net/arp");
    for (const QByteArray& row : table.split('\n').mid(1)) {
        const QString address = QString::fromLatin1(row.simplified().split(' ').first());
        if (!address.isEmpty() &&
            !QHostAddress(address).isInSubnet(QHostAddress(QStringLiteral("198.18.0.0")), 24))
            return address;
    }
    return QString();
}

// Random lengths up to 65,507 bytes, a third of them the level packet's
// 1440, random bytes; every 50th a well-formed feedback reporting an address
// of the lab nobody holds (198.18.0.200 to .249), so that MAC lookups and
// their boxes run during the flood too.
QByteArray floodDatagram(QRandomGenerator& random, int number)
{
    if (number % 50 == 0)
        return QByteArray::fromHex("c61200") + char(200 + number / 50 % 50) +
               QByteArray::fromHex("ffffff00c61200fec612000b000000") +
               QByteArray("FLOOD").leftJustified(16, ' ') +
               QByteArray::fromHex("01000000010304 0000");
    QByteArray data(number % 3 == 0 ? 1440 : random.bounded(65508), Qt::Uninitialized);
    for (char& byte : data)
        byte = char(random.bounded(256));
    return data;
}

qint64 residentKiB()
{
    const QByteArray status = readBytes(QStringLiteral("/proc/self/status"));
    return status.mid(status.indexOf("VmRSS:") + 6).trimmed().split(' ').value(0).toLongLong();
}

} // namespace

class LabDiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (outsideTheLab())
            QSKIP(kOnlyInTheLab);
        m_elements = labElements();
        QCOMPARE(m_elements.size(), qEnvironmentVariableIntValue("NMS_LAB_ELEMENTS"));
    }

    void init()
    {
        m_program = std::make_unique<LabProgram>();
        QVERIFY(m_program->start());
    }
    void cleanup() { m_program.reset(); }

    // Every box lets events run, as a real modal box does; at most one
    // stands at a time, and the program never ends itself.
    void discovery()
    {
        const QString fault = qEnvironmentVariable("NMS_LAB_FAULT");
        m_program->whileBoxOpen = [](const MessageBoxRequest&) { QTest::qWait(5); };
        std::printf("DISCOVERING\n"); // the kills wait for this
        std::fflush(stdout);

        QVERIFY(m_program->discover());

        if (fault == QStringLiteral("full disk")) {
            QVERIFY2(m_program->dialogs.texts().contains(kWriteFailedText),
                     qPrintable(m_program->dialogs.texts().join(u'\n')));
            QVERIFY(m_program->database().size() < m_elements.size());
        } else if (fault == QStringLiteral("hostile")) {
            // A name with CR, LF, '[', ']', '=' and control bytes, a serial
            // with the top bit set, an element off the station's link and
            // one whose MAC the station holds as zeros: the program asks for
            // no address off its link (the script checks the file).
            QTest::qWait(kQuietMs);
            QCOMPARE(addressResolvedOffTheLab(), QString());
        } else {
            QCOMPARE(m_program->dialogs.texts(), QStringList{kQuestionText});
            checkProgramHolds();
        }
        QCOMPARE(m_program->mostOpenBoxes, 1);
        QCOMPARE(m_program->terminatedWith, -1);
    }

    // Ten thousand arbitrary datagrams at the endpoint while level
    // monitoring runs and a box stands: the program survives with bounded
    // memory, asks only about lab addresses, leaves the database alone,
    // confirms a configuration sent afterwards, and discovers as before.
    void flood()
    {
        QVERIFY(m_program->discover());
        const QByteArray databaseBefore = m_program->databaseBytes();
        QVERIFY(m_program->select(m_elements.at(1)));
        m_program->program->toolbarClick(6); // level monitoring on
        m_program->dialogs.clear();
        const qint64 residentBefore = residentKiB();
        QUdpSocket sender;
        const QHostAddress station(QStringLiteral("198.18.0.1"));
        QVERIFY(sender.bind(station, 0));
        QRandomGenerator random(20240611);
        bool flooded = false;
        qint64 residentPeak = 0;
        m_program->whileBoxOpen = [&](const MessageBoxRequest&) {
            // Set before the first wait, which may open a box.
            for (int sent = std::exchange(flooded, true) ? kFloodCount : 0; sent < kFloodCount;
                 ++sent) {
                sender.writeDatagram(floodDatagram(random, sent), station, 2976);
                if (sent % 200 == 199) {
                    QTest::qWait(2);
                    residentPeak = std::max(residentPeak, residentKiB());
                }
            }
            QTest::qWait(5);
        };
        // The box that stands during the flood: a feedback with input 2.
        QByteArray corrupt = floodDatagram(random, 0);
        corrupt[16] = char(2);
        sender.writeDatagram(corrupt, station, 2976);
        QTRY_VERIFY_WITH_TIMEOUT(flooded, kSettleTimeoutMs);
        qsizetype seen = -1;
        QElapsedTimer quiet;
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         if (m_program->dialogs.boxes.size() != seen) {
                             seen = m_program->dialogs.boxes.size();
                             quiet.start();
                         }
                         return quiet.elapsed() >= kQuietMs;
                     },
                     kSettleTimeoutMs),
                 "the program did not settle after the flood");
        m_program->program->toolbarClick(7);

        QCOMPARE(m_program->terminatedWith, -1);
        QCOMPARE(m_program->mostOpenBoxes, 1);
        QVERIFY2(std::max(residentPeak, residentKiB()) - residentBefore < kFloodMemoryBoundKiB,
                 "the queues grew without bound");
        QCOMPARE(addressResolvedOffTheLab(), QString());
        QCOMPARE(m_program->databaseBytes(), databaseBefore);

        m_program->whileBoxOpen = nullptr;
        m_program->dialogs.clear();
        QVERIFY(m_program->sendConfiguration(kSettleTimeoutMs));
        QCOMPARE(m_program->dialogs.last().text(), kSuccessText);
        m_program->dialogs.clear();
        QVERIFY(m_program->discover());
        QCOMPARE(m_program->dialogs.texts(), QStringList{kQuestionText});
        checkProgramHolds();
    }

private:
    // The database, the list's caption and its nodes hold exactly the lab's
    // elements, each record key by key as the element reported it.
    void checkProgramHolds()
    {
        QStringList expectedRecords, expectedNodes, records = m_program->database();
        // The simulator's default answer as the program must store it: the
        // name padded to 16 and upper-cased, the lab's plan for the addresses,
        // version 3.4, buffer 2, attenuation 255, silence detection 0 / 50 / 30.
        for (const LabElement& e : std::as_const(m_elements)) {
            const QString record =
                QStringLiteral("[%1] NAME=%2 IP=%3 MASK=%4 GW=%5 REMOTE=%6 INPUT=0 TYPE=0 TX=0 "
                               "ROLE=%7 SN=%8 VER=3.4 SFN=0 BUF=2")
                    .arg(e.section(), e.name().toUpper().leftJustified(16), e.f[2], e.f[3], e.f[4],
                         e.f[5], e.isDecoder() ? QStringLiteral("2") : QStringLiteral("1"), e.f[9]);
            expectedRecords << (e.isDecoder()
                                    ? record + QStringLiteral(" ATT=255 SDM=0 SDL=50 SDT=30")
                                    : record);
            expectedNodes << e.name() + QStringLiteral(" [") + e.programMac() + u']';
        }
        QStringList nodes = m_program->nodeTexts();
        for (QStringList* list : {&expectedRecords, &expectedNodes, &records, &nodes})
            list->sort();
        QCOMPARE(records, expectedRecords);
        QCOMPARE(nodes, expectedNodes);
        QCOMPARE(m_program->ui().frmTreeView->title(),
                 QStringLiteral("Select element: (%1 items)").arg(m_elements.size()));
    }

    QList<LabElement> m_elements;
    std::unique_ptr<LabProgram> m_program;
};

QTEST_MAIN(LabDiscoveryTest)
#include "tst_LabDiscovery.moc"
