#include <QtTest>

#include <QGroupBox>
#include <QHostAddress>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

#include "LabProgram.h"
#include "protocol/UdpClient.h"

// Discovery by the whole program on the lab network: the database it builds
// from the simulated elements' answers, answers that must be refused, and a
// flood of arbitrary datagrams. Runs inside the lab's station namespace
// (tests/lab/lab_discovery.sh). NMS_LAB_ELEMENTS tells how many elements the
// lab holds; they all answer at the start of every test.

using namespace nms;
using namespace nms::test;
using namespace nms::test::lab;

namespace {

const QString kMacLine = QStringLiteral("An error occured while retrieving 'Element MAC':");
const QString kSerialLine = QStringLiteral("An error occured while retrieving 'Serial Number':");
const QString kCorrupted = QStringLiteral("Feedback is corrupted.");
const QString kLabGateway = QStringLiteral("198.18.0.254");
const QString kLabMask = QStringLiteral("255.255.255.0");
// Nobody in the lab holds these.
const QString kUnheldAddress = QStringLiteral("198.18.0.77");
constexpr int kFloodCount = 10000;
constexpr int kFloodBatch = 200;
// A feedback whose MAC is never found is reported after the 5 s bound.
constexpr int kMacBoxTimeoutMs = 15000;
constexpr int kQuietMs = 6000;
constexpr int kSettleTimeoutMs = 60000;

const QStringList kEncoderKeys{"NAME", "IP",   "MASK", "GW",  "REMOTE", "INPUT", "TYPE",
                               "TX",   "ROLE", "SN",   "VER", "SFN",    "BUF"};
const QStringList kDecoderKeys = kEncoderKeys + QStringList{"ATT", "SDM", "SDL", "SDT"};

// The lab's plan: an encoder feeds the next element, a decoder listens to
// the previous one; the last element, when it is an encoder, feeds nobody.
QString plannedRemote(int index, int count)
{
    const auto address = [](int i) { return QStringLiteral("198.18.0.%1").arg(10 + i); };
    if (index % 2 == 0)
        return address(index - 1);
    return index < count ? address(index + 1) : QStringLiteral("0.0.0.0");
}

// The values the simulator reports by default, as the program must store
// them: the name padded to 16 and upper-cased, version 3.4, buffer 2,
// attenuation 255, silence detection 0 / 50 / 30.
QStringList expectedValues(const LabElement& element, int count)
{
    QStringList values{element.name.toUpper().leftJustified(16, QLatin1Char(' ')),
                       element.ip,
                       kLabMask,
                       kLabGateway,
                       plannedRemote(element.index, count),
                       "0",
                       "0",
                       "0",
                       element.isDecoder() ? "2" : "1",
                       element.serial,
                       "3.4",
                       "0",
                       "2"};
    if (element.isDecoder())
        values << "255"
               << "0"
               << "50"
               << "30";
    return values;
}

bool insideLabNetwork(const QString& address)
{
    QHostAddress parsed;
    return parsed.setAddress(address) &&
           parsed.isInSubnet(QHostAddress(QStringLiteral("198.18.0.0")), 24);
}

QStringList dottedAddressesIn(const QString& text)
{
    static const QRegularExpression dotted(QStringLiteral("\\b(\\d{1,3}(?:\\.\\d{1,3}){3})\\b"));
    QStringList found;
    for (auto it = dotted.globalMatch(text); it.hasNext();)
        found << it.next().captured(1);
    return found;
}

// Addresses in this namespace's neighbour table: every address the program
// asked the kernel to resolve.
QStringList neighbourAddresses()
{
    QStringList addresses;
    QFile table(QStringLiteral("/proc/net/arp"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return addresses;
    table.readLine(); // header
    while (!table.atEnd()) {
        const QString line = QString::fromLatin1(table.readLine()).simplified();
        if (!line.isEmpty())
            addresses << line.section(QLatin1Char(' '), 0, 0);
    }
    return addresses;
}

// Mixed datagrams of every kind of length: empty, short, the refused 3,
// feedback lengths with arbitrary fields (most fail the checks), the
// level-packet length, and longer ones. Whatever a decodable one reports as
// its address lies in the lab network, so that the MAC lookups it starts
// stay there; every 50th is well-formed and names an address nobody holds.
QByteArray floodDatagram(QRandomGenerator& random, int number)
{
    static const int kLengths[] = {0,  1,  2,  3,  4,  20, 35, 39, 40,   41,   42,
                                   43, 44, 45, 46, 47, 48, 49, 64, 1440, 1441, 2000};
    const int length = kLengths[random.bounded(int(std::size(kLengths)))];
    QByteArray data(length, '\0');
    for (char& byte : data)
        byte = char(random.bounded(256));
    if (length >= 4) {
        data[0] = char(198);
        data[1] = char(18);
        data[2] = char(0);
    }
    if (number % 50 == 0) {
        data = QByteArray::fromHex("c6120000ffffff00c61200fec612000b000000") +
               QByteArray("FLOOD").leftJustified(16, ' ') +
               QByteArray::fromHex("01"         // encoder
                                   "00000001"   // serial 1
                                   "0304"       // version 3.4
                                   "0000");     // sfn, buffer
        data[3] = char(200 + number / 50 % 50); // 198.18.0.200 to .249
    }
    return data;
}

} // namespace

class LabDiscoveryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase()
    {
        if (!inLab())
            QSKIP("runs only inside the lab: scripts/lab exec env NMS_LAB=1 tst_LabDiscovery "
                  "(tests/lab/lab_discovery.sh does this)");
        QVERIFY2(!sourceDir().isEmpty(), "NMS_SOURCE_DIR is not set");
        const int count = qEnvironmentVariableIntValue("NMS_LAB_ELEMENTS");
        m_count = count > 0 ? count : 4;
        for (int i = 1; i <= m_count; ++i) {
            m_elements << elementInfo(i);
            QVERIFY2(m_elements.last().isValid(),
                     qPrintable(QStringLiteral("no element %1").arg(i)));
        }
    }

    void init()
    {
        m_program = std::make_unique<LabProgram>();
        QVERIFY(m_program->start());
        m_program->clearBoxes();
    }

    void cleanup() { m_program.reset(); }

    // Every element answering one broadcast is recorded within the single
    // collection window, key by key, and the endpoint aims where it did.
    void discoveryRecordsEveryElement()
    {
        UdpClient& udp = m_program->program->udpClient();
        udp.setRemoteHost(QStringLiteral("198.18.0.12"));
        udp.setRemotePort(2977);

        QVERIFY(m_program->discover());

        QCOMPARE(m_program->dialogs.texts(), QStringList{questionText()});
        const QList<IniSection> database = m_program->database();
        QCOMPARE(database.size(), m_count);
        for (const LabElement& element : std::as_const(m_elements)) {
            checkSection(database, element);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(m_program->ui().frmTreeView->title(),
                 QStringLiteral("Select element: (%1 items)").arg(m_count));
        QStringList expectedNodes;
        for (const LabElement& element : std::as_const(m_elements))
            expectedNodes << element.name + " [" + element.programMac() + "]";
        QStringList nodes = m_program->nodeTexts();
        nodes.sort();
        expectedNodes.sort();
        QCOMPARE(nodes, expectedNodes);
        QCOMPARE(udp.remoteHost(), QStringLiteral("198.18.0.12"));
        QCOMPARE(udp.remotePort(), quint16(2977));
        QCOMPARE(m_program->mostOpenBoxes, 1);
    }

    void secondDiscoveryKeepsOnlyAnsweringElements()
    {
        QVERIFY(m_program->discover());
        QCOMPARE(m_program->database().size(), m_count);
        const LabElement& stopped = m_elements.last();
        QVERIFY(simStop(stopped.index));
        auto restart = qScopeGuard([&] { simStart(stopped.index); });

        QVERIFY(m_program->discover());

        const QList<IniSection> database = m_program->database();
        QCOMPARE(database.size(), m_count - 1);
        QVERIFY(!sectionNames(database).contains(stopped.section()));
        for (const LabElement& element : std::as_const(m_elements)) {
            if (element.index != stopped.index)
                checkSection(database, element);
            if (QTest::currentTestFailed())
                return;
        }
        QCOMPARE(m_program->ui().frmTreeView->title(),
                 QStringLiteral("Select element: (%1 items)").arg(m_count - 1));
        QVERIFY(m_program->node(stopped.programMac()) == nullptr);
    }

    // An element that reports an address nobody holds: its MAC is never
    // found, the bounded lookup gives up after about 5 s with its box, and
    // the window went on handling events all the while.
    void addressNobodyHoldsGivesMacBox()
    {
        const LabElement& liar = m_elements.first();
        QVERIFY(simStart(liar.index, {QStringLiteral("--ip"), kUnheldAddress}));
        auto restart = qScopeGuard([&] { simStart(liar.index); });
        QElapsedTimer sinceLastTick;
        qint64 longestGap = 0;
        int ticks = 0;
        QTimer heartbeat;
        heartbeat.setInterval(50);
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            if (ticks > 0)
                longestGap = std::max(longestGap, sinceLastTick.elapsed());
            sinceLastTick.start();
            ++ticks;
        });
        heartbeat.start();
        const SimRecord record(liar.record);
        const qint64 clickedAt = m_program->elapsedMs();

        QVERIFY(m_program->discover());
        QTRY_VERIFY_WITH_TIMEOUT(m_program->dialogs.boxes.size() >= 2, kMacBoxTimeoutMs);
        QTest::qWait(1000); // no further box follows
        heartbeat.stop();

        // The request reaches each element once, so one answer and one box,
        // after the lookup's bound.
        const qsizetype answers = record.linesStartingWith(QStringLiteral("TX port=1901 ")).size();
        QCOMPARE(answers, qsizetype(1));
        QCOMPARE(m_program->dialogs.boxes.size(), answers + 1);
        for (qsizetype i = 1; i <= answers; ++i) {
            const MessageBoxRequest& box = m_program->dialogs.boxes.at(i);
            QCOMPARE(box.text(), kMacLine + "\r" + kCorrupted);
            QCOMPARE(box.title, kApplicationTitle);
            QCOMPARE(box.icon, BoxIcon::Critical);
            QCOMPARE(box.buttons, BoxButtons::Ok);
            // The lookup is bounded by 5 s; it must not give up long before.
            const qint64 after = m_program->boxTimes.at(i) - clickedAt;
            QVERIFY2(after >= 4000, qPrintable(QStringLiteral("MAC box after %1 ms").arg(after)));
        }
        QVERIFY2(ticks >= 20, qPrintable(QStringLiteral("only %1 ticks").arg(ticks)));
        QVERIFY2(longestGap < 2000,
                 qPrintable(QStringLiteral("the window stood still for %1 ms").arg(longestGap)));

        const QList<IniSection> database = m_program->database();
        QCOMPARE(database.size(), m_count - 1);
        QVERIFY(!sectionNames(database).contains(liar.section()));
    }

    // The element answers the one copy of the request it receives, and the
    // answer is refused with its box.
    void corruptSerialGivesBoxAndStoresNothing()
    {
        const LabElement& corrupt = m_elements.at(1);
        QVERIFY(simStart(corrupt.index, {QStringLiteral("--corrupt"), QStringLiteral("serial")}));
        auto restart = qScopeGuard([&] { simStart(corrupt.index); });
        const SimRecord record(corrupt.record);

        QVERIFY(m_program->discover());
        QTest::qWait(500);

        const qsizetype answers = record.linesStartingWith(QStringLiteral("TX port=1901 ")).size();
        QCOMPARE(answers, qsizetype(1));
        QStringList expected{questionText()};
        for (qsizetype i = 0; i < answers; ++i)
            expected << kSerialLine + "\r" + kCorrupted;
        QCOMPARE(m_program->dialogs.texts(), expected);
        const MessageBoxRequest& box = m_program->dialogs.last();
        QCOMPARE(box.title, kApplicationTitle);
        QCOMPARE(box.icon, BoxIcon::Critical);
        const QList<IniSection> database = m_program->database();
        QCOMPARE(database.size(), m_count - 1);
        QVERIFY(!sectionNames(database).contains(corrupt.section()));
        QCOMPARE(m_program->ui().frmTreeView->title(),
                 QStringLiteral("Select element: (%1 items)").arg(m_count - 1));
    }

    // Ten thousand arbitrary datagrams at the endpoint, while every box
    // lets events run as a real modal box does: the program survives, never
    // has two boxes open at once, asks only about lab addresses, leaves the
    // database alone, and discovers as before afterwards.
    void floodNeitherCrashesNorStacksBoxes()
    {
        QVERIFY(m_program->discover());
        const QByteArray databaseBefore = databaseBytes();
        m_program->clearBoxes();
        m_program->whileBoxOpen = [](const MessageBoxRequest&) { QTest::qWait(5); };

        QUdpSocket sender;
        QVERIFY(sender.bind(QHostAddress(QStringLiteral("198.18.0.1")), 0));
        QRandomGenerator random(20240611);
        const QHostAddress station(QStringLiteral("198.18.0.1"));
        for (int sent = 0; sent < kFloodCount;) {
            for (int i = 0; i < kFloodBatch && sent < kFloodCount; ++i, ++sent)
                sender.writeDatagram(floodDatagram(random, sent), station, 2976);
            QTest::qWait(2);
        }
        waitUntilQuiet();

        QCOMPARE(m_program->terminatedWith, -1);
        QCOMPARE(m_program->mostOpenBoxes, 1);
        QVERIFY(!m_program->dialogs.boxes.isEmpty());
        for (const MessageBoxRequest& box : std::as_const(m_program->dialogs.boxes)) {
            for (const QString& address : dottedAddressesIn(box.text()))
                QVERIFY2(insideLabNetwork(address), qPrintable(box.text()));
        }
        for (const QString& address : neighbourAddresses())
            QVERIFY2(insideLabNetwork(address), qPrintable("resolved " + address));
        QCOMPARE(databaseBytes(), databaseBefore);

        m_program->whileBoxOpen = nullptr;
        m_program->clearBoxes();
        QVERIFY(m_program->discover());
        QCOMPARE(m_program->dialogs.texts(), QStringList{questionText()});
        const QList<IniSection> database = m_program->database();
        QCOMPARE(database.size(), m_count);
        for (const LabElement& element : std::as_const(m_elements)) {
            checkSection(database, element);
            if (QTest::currentTestFailed())
                return;
        }
    }

private:
    static QString questionText()
    {
        return QStringLiteral("Performing an 'Auto Discovery' will delete the local database in "
                              "your computer\rand create a new one, based on the Network "
                              "Elements found (if any). \rAre you sure?");
    }

    static QStringList sectionNames(const QList<IniSection>& database)
    {
        QStringList names;
        for (const IniSection& section : database)
            names << section.name;
        return names;
    }

    QByteArray databaseBytes() const
    {
        QFile file(m_program->iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    // Until no box has come for a while (bounded): the last lookups of
    // addresses nobody holds end 5 s after their datagram.
    void waitUntilQuiet()
    {
        QElapsedTimer total;
        total.start();
        qsizetype seen = -1;
        QElapsedTimer quiet;
        quiet.start();
        while (total.elapsed() < kSettleTimeoutMs) {
            QTest::qWait(100);
            if (m_program->dialogs.boxes.size() != seen) {
                seen = m_program->dialogs.boxes.size();
                quiet.start();
            } else if (quiet.elapsed() >= kQuietMs) {
                return;
            }
        }
        QFAIL("the program did not settle after the flood");
    }

    void checkSection(const QList<IniSection>& database, const LabElement& element)
    {
        const auto it = std::find_if(database.begin(), database.end(), [&](const IniSection& s) {
            return s.name == element.section();
        });
        QVERIFY2(it != database.end(), qPrintable("no section for " + element.mac));
        QCOMPARE(it->keys, element.isDecoder() ? kDecoderKeys : kEncoderKeys);
        QCOMPARE(it->values, expectedValues(element, m_count));
    }

    int m_count = 0;
    QList<LabElement> m_elements;
    std::unique_ptr<LabProgram> m_program;
};

QTEST_MAIN(LabDiscoveryTest)
#include "tst_LabDiscovery.moc"
