#include <QtTest>

#include <QGroupBox>
#include <QHostAddress>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>

#include "LabProgram.h"
#include "TableRow.h"
#include "db/IniRoutines.h"
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

// Nobody in the lab holds these.
const QString kUnheldAddress = QStringLiteral("198.18.0.77");
// Nor these, from 198.18.5.1 on; only the /21 of a lab built by up-many has
// room for so many on the station's link.
constexpr quint32 kFirstSilentAddress = 0xC6120501;
constexpr int kSilentLabMinimum = 500;
constexpr int kFloodCount = 10000;
constexpr int kFloodBatch = 200;
// A feedback whose MAC is never found is reported after the 5 s bound.
constexpr int kMacBoxTimeoutMs = 15000;
constexpr int kQuietMs = 6000;
constexpr int kSettleTimeoutMs = 60000;
// What the flood may add to the program's resident memory at most: the
// queues in front of the handlers are bounded well below it.
#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer keeps up to 256 MB of freed memory in quarantine, and
// its shadow grows with it; the bound still catches an unbounded queue.
constexpr qint64 kFloodMemoryBoundKiB = (128 + 512) * 1024;
#else
constexpr qint64 kFloodMemoryBoundKiB = 128 * 1024;
#endif
// One page: the first record fits, the second (old file and replacement
// side by side) does not.
constexpr qint64 kRoomLeftOnFullDisk = 4096;
const QString kQuestionText =
    QStringLiteral("Performing an 'Auto Discovery' will delete the local database in your "
                   "computer\rand create a new one, based on the Network Elements found (if any). "
                   "\rAre you sure?");
const QString kWriteFailedText =
    QStringLiteral("An error occured while saving this element info to the local "
                   "database.\rCannot save this element info.");

const QStringList kEncoderKeys =
    QStringLiteral("NAME IP MASK GW REMOTE INPUT TYPE TX ROLE SN VER SFN BUF")
        .split(QLatin1Char(' '));
const QStringList kDecoderKeys =
    kEncoderKeys + QStringLiteral("ATT SDM SDL SDT").split(QLatin1Char(' '));

// The record as the program must store the simulator's default answer: the
// name padded to 16 and upper-cased, the lab's plan for address, mask,
// gateway and remote, version 3.4, buffer 2, attenuation 255, silence
// detection 0 / 50 / 30.
QString expectedRecord(const LabElement& element)
{
    const QString record =
        QStringLiteral(
            "[%1] NAME=%2 IP=%3 MASK=%4 GW=%5 REMOTE=%6 INPUT=0 TYPE=0 TX=0 ROLE=%7 SN=%8 "
            "VER=3.4 SFN=0 BUF=2")
            .arg(element.section(), element.name.toUpper().leftJustified(16), element.ip,
                 element.mask, element.gateway, element.remote,
                 element.isDecoder() ? QStringLiteral("2") : QStringLiteral("1"), element.serial);
    return element.isDecoder() ? record + QStringLiteral(" ATT=255 SDM=0 SDL=50 SDT=30") : record;
}

QString recordText(const IniSection& section)
{
    QStringList pairs;
    for (qsizetype i = 0; i < section.keys.size(); ++i)
        pairs << section.keys.at(i) + QLatin1Char('=') + section.values.at(i);
    return QLatin1Char('[') + section.name + QStringLiteral("] ") + pairs.join(QLatin1Char(' '));
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

// The first address in this namespace's neighbour table (every address the
// program asked the kernel to resolve) that lies outside the lab network.
QString addressResolvedOffTheLab()
{
    QFile table(QStringLiteral("/proc/net/arp"));
    if (!table.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("no /proc/net/arp");
    table.readLine(); // header
    while (!table.atEnd()) {
        const QString address =
            QString::fromLatin1(table.readLine()).simplified().section(QLatin1Char(' '), 0, 0);
        if (!address.isEmpty() && !insideLabNetwork(address))
            return address;
    }
    return QString();
}

// A well-formed encoder's feedback that reports this address (host order).
QByteArray feedbackReporting(quint32 address)
{
    QByteArray data = QByteArray::fromHex("c6120000ffffff00c61200fec612000b000000") +
                      QByteArray("FLOOD").leftJustified(16, ' ') +
                      QByteArray::fromHex("01"       // encoder
                                          "00000001" // serial 1
                                          "0304"     // version 3.4
                                          "0000");   // sfn, buffer
    for (int i = 0; i < 4; ++i)
        data[i] = char(address >> (24 - 8 * i));
    return data;
}

// Datagrams of random lengths from 0 to 65,507 bytes, a third of them
// 1440 bytes (the level packet's length), random bytes throughout. Every
// 50th is a well-formed feedback naming an address nobody holds, so that
// MAC lookups and their boxes run during the flood too; its address lies
// in the lab network.
QByteArray floodDatagram(QRandomGenerator& random, int number)
{
    if (number % 50 == 0) // 198.18.0.200 to .249
        return feedbackReporting(0xC61200C8 + quint32(number / 50 % 50));
    const int length = number % 3 == 0 ? 1440 : random.bounded(65508);
    QByteArray data(length, Qt::Uninitialized);
    for (char& byte : data)
        byte = char(random.bounded(256));
    return data;
}

qint64 residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return 0;
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
        m_elements = labElements();
        QCOMPARE(m_elements.size(), m_count);
    }

    void init()
    {
        m_program = std::make_unique<LabProgram>();
        QVERIFY(m_program->start());
        m_program->clearBoxes();
    }

    void cleanup() { m_program.reset(); }

    // Every element answering one broadcast is recorded within the single
    // collection window, and the endpoint aims where it did; so too while
    // hundreds of lookups wait on addresses nobody holds, whose probes the
    // kernel keeps for seconds.
    void discoveryRecordsEveryElement_data()
    {
        QTest::addColumn<int>("silent");
        addRow("alone", 0);
        addRow("behind 500 silent lookups", 500);
    }
    void discoveryRecordsEveryElement()
    {
        QFETCH(int, silent);
        if (silent > 0 && m_count < kSilentLabMinimum)
            QSKIP("needs the lab of many (scripts/lab up-many 500): the others have no room "
                  "for 500 addresses nobody holds");
        if (silent > 0)
            QVERIFY(lookUpSilentAddresses(silent));
        UdpClient& udp = m_program->program->udpClient();
        udp.setRemoteHost(QStringLiteral("198.18.0.12"));
        udp.setRemotePort(2977);

        QVERIFY(m_program->discover());

        // The silent addresses' own boxes may come meanwhile.
        if (silent == 0)
            QCOMPARE(m_program->dialogs.texts(), QStringList{kQuestionText});
        checkProgramHolds(m_elements);
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

        checkProgramHolds(othersThan(stopped));
    }

    // The element (a position in the lab) restarted with these options
    // answers the one copy of the request it receives, and the answer is
    // refused with one box, not before the earliest time: an address nobody
    // holds has its MAC lookup give up after its 5 s bound. The window goes
    // on handling events all the while.
    void refusedAnswerGivesOneBox_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QStringList>("options");
        QTest::addColumn<QString>("box");
        QTest::addColumn<int>("earliestMs");
        addRow("address nobody holds", 0, QStringList{QStringLiteral("--ip"), kUnheldAddress},
               boxLine(BoxIcon::Critical, kApplicationTitle,
                       latin1("An error occured while retrieving 'Element MAC':\rFeedback is "
                              "corrupted.")),
               4000);
        addRow("corrupt serial", 1,
               QStringList{QStringLiteral("--corrupt"), QStringLiteral("serial")},
               boxLine(BoxIcon::Critical, kApplicationTitle,
                       latin1("An error occured while retrieving 'Serial Number':\rFeedback is "
                              "corrupted.")),
               0);
    }
    void refusedAnswerGivesOneBox()
    {
        QFETCH(int, position);
        QFETCH(QStringList, options);
        QFETCH(QString, box);
        QFETCH(int, earliestMs);
        const LabElement& refused = m_elements.at(position);
        QVERIFY(simStart(refused.index, options));
        auto restart = qScopeGuard([&] { simStart(refused.index); });
        QElapsedTimer sinceLastTick;
        qint64 longestGap = 0;
        int ticks = 0;
        QTimer heartbeat;
        connect(&heartbeat, &QTimer::timeout, this, [&] {
            if (ticks++ > 0)
                longestGap = std::max(longestGap, sinceLastTick.elapsed());
            sinceLastTick.start();
        });
        heartbeat.start(50);
        const SimRecord record(refused.record);
        const qint64 clickedAt = m_program->elapsedMs();

        QVERIFY(m_program->discover());
        QVERIFY(m_program->awaitBoxes(2, kMacBoxTimeoutMs, 1000));
        heartbeat.stop();

        QCOMPARE(record.linesStartingWith(QStringLiteral("TX port=1901 ")).size(), qsizetype(1));
        QCOMPARE(m_program->dialogs.boxes.first().text(), kQuestionText);
        QCOMPARE(m_program->boxLines().mid(1), QStringList{box});
        const qint64 after = m_program->boxTimes.last() - clickedAt;
        QVERIFY2(after >= earliestMs, qPrintable(QStringLiteral("box after %1 ms").arg(after)));
        QVERIFY2(ticks >= 20, qPrintable(QStringLiteral("only %1 ticks").arg(ticks)));
        QVERIFY2(longestGap < 2000,
                 qPrintable(QStringLiteral("the window stood still for %1 ms").arg(longestGap)));
        checkProgramHolds(othersThan(refused));
    }

    // Ten thousand arbitrary datagrams at the endpoint while level
    // monitoring runs and a box stands, every box letting events run as a
    // real modal box does: the program survives with bounded memory, never
    // has two boxes open at once, asks only about lab addresses, leaves the
    // database alone, confirms a configuration sent afterwards, and
    // discovers as before.
    void floodNeitherCrashesNorStacksBoxes()
    {
        QVERIFY(m_program->discover());
        const QByteArray databaseBefore = m_program->databaseBytes();
        QVERIFY(m_program->select(m_elements.at(1)));
        m_program->program->toolbarClick(6); // level monitoring on
        m_program->clearBoxes();
        const qint64 residentBefore = residentKiB();

        QUdpSocket sender;
        const QHostAddress station(QStringLiteral("198.18.0.1"));
        QVERIFY(sender.bind(station, 0));
        QRandomGenerator random(20240611);
        bool flooded = false;
        qint64 residentPeak = 0;
        m_program->whileBoxOpen = [&](const MessageBoxRequest&) {
            if (!flooded) {
                flooded = true; // before the first wait, which may open a box
                for (int sent = 0; sent < kFloodCount; ++sent) {
                    sender.writeDatagram(floodDatagram(random, sent), station, 2976);
                    if (sent % kFloodBatch == kFloodBatch - 1) {
                        QTest::qWait(2);
                        residentPeak = std::max(residentPeak, residentKiB());
                    }
                }
            }
            QTest::qWait(5);
        };
        // The box that stands during the flood: a feedback that fails its
        // checks (input 2).
        QByteArray corrupt = floodDatagram(random, 0);
        corrupt[16] = char(2);
        sender.writeDatagram(corrupt, station, 2976);
        QTRY_VERIFY_WITH_TIMEOUT(flooded, kSettleTimeoutMs);
        // Until no box has come for a while: the last lookups of addresses
        // nobody holds end 5 s after their datagram.
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
        residentPeak = std::max(residentPeak, residentKiB());
        m_program->program->toolbarClick(7);

        QCOMPARE(m_program->terminatedWith, -1);
        QCOMPARE(m_program->mostOpenBoxes, 1);
        QVERIFY2(residentPeak - residentBefore < kFloodMemoryBoundKiB,
                 qPrintable(QStringLiteral("grew by %1 KiB").arg(residentPeak - residentBefore)));
        for (const MessageBoxRequest& box : std::as_const(m_program->dialogs.boxes)) {
            for (const QString& address : dottedAddressesIn(box.text()))
                QVERIFY2(insideLabNetwork(address), qPrintable(box.text()));
        }
        QCOMPARE(addressResolvedOffTheLab(), QString());
        QCOMPARE(m_program->databaseBytes(), databaseBefore);

        m_program->whileBoxOpen = nullptr;
        m_program->clearBoxes();
        m_program->sendConfiguration();
        QVERIFY(m_program->awaitBoxes(2, kMacBoxTimeoutMs, 0));
        QCOMPARE(m_program->dialogs.last().text(), kSuccessText);

        m_program->clearBoxes();
        QVERIFY(m_program->discover());
        QCOMPARE(m_program->dialogs.texts(), QStringList{kQuestionText});
        checkProgramHolds(m_elements);
    }

    // Started by lab_discovery.sh, which kills it with SIGKILL at a random
    // moment of the discovery's writes into NMS_LAB_DB_DIR.
    void discoveryToBeKilled()
    {
        if (!qEnvironmentVariableIsSet("NMS_LAB_DB_DIR"))
            QSKIP("lab_discovery.sh kills this one: it needs NMS_LAB_DB_DIR");
        std::printf("DISCOVERING\n");
        std::fflush(stdout);
        QVERIFY(m_program->discover());
    }

    // The start after a kill: whole records, and no temporary file of a
    // write the kill cut short.
    void startLeavesNoTemporaryFile()
    {
        if (!qEnvironmentVariableIsSet("NMS_LAB_DB_DIR"))
            QSKIP("lab_discovery.sh runs this after its kills: it needs NMS_LAB_DB_DIR");
        const QDir folder(QFileInfo(m_program->iniPath()).path());
        QCOMPARE(folder.entryList({QStringLiteral(".nms.ini.tmp-*")}, QDir::Files | QDir::Hidden),
                 QStringList());
        QCOMPARE(wholeRecordsProblem(m_program->iniPath()), QString());
    }

    // The database folder fails during the discovery's writes (the script
    // made NMS_LAB_DB_DIR a tiny tmpfs): the write box appears, at most
    // one box stands at a time, and the file holds whole records only.
    void databaseFaultKeepsWholeRecords_data()
    {
        QTest::addColumn<bool>("readOnly");
        addRow("full disk", false);
        addRow("read-only folder", true);
    }
    void databaseFaultKeepsWholeRecords()
    {
        QFETCH(bool, readOnly);
        const QString folder = qEnvironmentVariable("NMS_LAB_DB_DIR");
        if (folder.isEmpty())
            QSKIP("lab_discovery.sh runs this on a tmpfs of its own (NMS_LAB_DB_DIR)");
        if (!readOnly)
            QVERIFY(fillLeaving(folder, kRoomLeftOnFullDisk));
        m_program->dialogs.script = {BoxAnswer::Yes};
        m_program->program->toolbarClick(1);
        // The empty database has replaced the old one; the answers are not
        // yet read. From here on nothing can be written.
        if (readOnly && !remount(folder, "ro"))
            QSKIP("cannot remount the database folder read-only (not root?)");
        QVERIFY(QTest::qWaitFor([this] { return !m_program->discoveryRunning(); },
                                kDiscoveryTimeoutMs));
        if (readOnly)
            remount(folder, "rw");

        QVERIFY2(m_program->dialogs.texts().contains(kWriteFailedText),
                 qPrintable(m_program->dialogs.texts().join(QStringLiteral("\n"))));
        QCOMPARE(m_program->mostOpenBoxes, 1);
        QCOMPARE(wholeRecordsProblem(m_program->iniPath()), QString());
        const qsizetype stored = m_program->database().size();
        QVERIFY2(stored < m_count, qPrintable(QStringLiteral("%1 stored").arg(stored)));
        QCOMPARE(m_program->terminatedWith, -1);
    }

    // The script restarted the elements as hostile ones: a name with CR,
    // LF, '[', ']', '=' and control bytes, a serial with the top bit set,
    // one answering from and reporting an address off the station's link,
    // and one whose MAC the station's neighbour table holds as all zeros.
    // Whatever the program makes of them, every line it writes reads back,
    // and it never asks for an address off its link.
    void hostileElementsWriteOnlyReadableLines()
    {
        if (!qEnvironmentVariableIsSet("NMS_LAB_HOSTILE"))
            QSKIP("lab_discovery.sh runs this after restarting the elements as hostile ones");
        m_program->whileBoxOpen = [](const MessageBoxRequest&) { QTest::qWait(5); };
        QVERIFY(m_program->discover());
        QTest::qWait(kQuietMs); // a MAC that is never found is reported after 5 s

        QCOMPARE(wholeRecordsProblem(m_program->iniPath()), QString());
        QCOMPARE(addressResolvedOffTheLab(), QString());
        QCOMPARE(m_program->mostOpenBoxes, 1);
        QCOMPARE(m_program->terminatedWith, -1);
        // The program's own reading of what it wrote agrees with the file
        // (it trims the blanks around a value, as such stores do).
        for (const IniSection& section : m_program->database()) {
            for (qsizetype i = 0; i < section.keys.size(); ++i) {
                const QString read = m_program->program->ini().ReadFromINI(
                    section.name, section.keys.at(i), m_program->iniPath());
                QCOMPARE(read, section.values.at(i).trimmed());
            }
        }
    }

    // Run by bench/lab_many_discovery.sh on a lab of many elements: how
    // many of them one discovery stores, and what the same burst does to a
    // socket with the kernel's default receive queue. Records, never fails
    // on the figures.
    void benchmarkStoredOfMany()
    {
        if (!qEnvironmentVariableIsSet("NMS_LAB_BENCH"))
            QSKIP("a benchmark: bench/lab_many_discovery.sh runs it");
        const BurstFigures plain = burstIntoDefaultQueue();
        const quint64 dropsBefore = m_program->udpSocket.droppedDatagrams();
        QVERIFY(m_program->discover());
        QTest::qWait(200);
        const qsizetype stored = m_program->database().size();
        const int listed = m_program->ui().TreeView1->topLevelItemCount();
        const QString line =
            QStringLiteral("BENCH elements=%1 stored=%2 listed=%3 endpoint_drops=%4 "
                           "endpoint_queue=%5 default_queue_received=%6 default_queue_drops=%7 "
                           "boxes=%8")
                .arg(m_count)
                .arg(stored)
                .arg(listed)
                .arg(m_program->udpSocket.droppedDatagrams() - dropsBefore)
                .arg(m_program->udpSocket.receiveBufferBytes())
                .arg(plain.received)
                .arg(plain.dropped)
                .arg(m_program->dialogs.boxes.size());
        std::printf("%s\n", qPrintable(line));
        // What the boxes said, for finding where elements went missing.
        for (const QString& box : m_program->dialogs.texts())
            std::printf("BOX %s\n", qPrintable(QString(box).replace(u'\r', u'|')));
        std::fflush(stdout);
    }

private:
    // Feedbacks reporting that many addresses nobody holds, handled by the
    // program: their lookups wait their five seconds. The station forgets
    // every MAC first, so that each element's must be asked for again.
    bool lookUpSilentAddresses(int count)
    {
        if (QProcess::execute(QStringLiteral("ip"),
                              {QStringLiteral("-4"), QStringLiteral("neigh"),
                               QStringLiteral("flush"), QStringLiteral("all")}) != 0)
            return false;
        UdpClient& udp = m_program->program->udpClient();
        const quint64 handledBefore = udp.lastArrivalNumber();
        QUdpSocket sender;
        const QHostAddress station(QStringLiteral("198.18.0.1"));
        if (!sender.bind(station, 0))
            return false;
        for (int i = 0; i < count; ++i)
            sender.writeDatagram(
                feedbackReporting(kFirstSilentAddress + quint32(i / 250 * 256) + quint32(i % 250)),
                station, 2976);
        return QTest::qWaitFor(
            [&] { return udp.lastArrivalNumber() >= handledBefore + quint64(count); }, 5000);
    }

    struct BurstFigures {
        int received = 0;
        quint64 dropped = 0;
    };

    // The paging request from a plain socket with the kernel's default
    // receive queue, read only after every element has answered: what the
    // endpoint received before it asked for a larger queue.
    BurstFigures burstIntoDefaultQueue()
    {
        BurstFigures figures;
        QUdpSocket plain;
        if (!plain.bind(QHostAddress(QStringLiteral("198.18.0.1")), 2990))
            return figures;
        const int on = 1;
        ::setsockopt(int(plain.socketDescriptor()), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
        plain.writeDatagram(QByteArrayLiteral("IPMPXSTL ORBELUND PAGING REQUEST"),
                            QHostAddress(QStringLiteral("198.18.7.255")), 1901);
        ::usleep(1500 * 1000); // no reading meanwhile: the answers queue up
        while (plain.hasPendingDatagrams() && plain.receiveDatagram().isValid())
            ++figures.received;
        struct stat status {};
        ::fstat(int(plain.socketDescriptor()), &status);
        QFile table(QStringLiteral("/proc/net/udp"));
        if (table.open(QIODevice::ReadOnly)) {
            for (const QByteArray& row : table.readAll().split('\n')) {
                const QList<QByteArray> f = row.simplified().split(' ');
                if (f.size() >= 13 && f.at(9) == QByteArray::number(qulonglong(status.st_ino)))
                    figures.dropped = f.at(12).toULongLong();
            }
        }
        return figures;
    }

    // Empty when the file holds only whole records: lines that are a
    // section header of twelve hex digits or KEY=VALUE of the known keys,
    // values without line breaks or NUL, and every section with the whole
    // key set of its role, in order.
    static QString wholeRecordsProblem(const QString& path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return file.exists() ? QStringLiteral("cannot read ") + path : QString();
        const QByteArray bytes = file.readAll();
        if (!bytes.isEmpty() && !bytes.endsWith('\n'))
            return QStringLiteral("the file ends inside a line");
        static const QRegularExpression recordLine(
            QStringLiteral("^(|\\[[0-9A-F]{12}\\]|(%1)=[^\\r\\x00]*)$")
                .arg(kDecoderKeys.join(QLatin1Char('|'))));
        for (const QByteArray& line : bytes.split('\n')) {
            if (!recordLine.match(QString::fromLatin1(line)).hasMatch())
                return QStringLiteral("a line that is no record line: ") +
                       QString::fromLatin1(line.toHex());
        }
        for (const IniSection& section : readIniFile(path)) {
            if (section.keys != kEncoderKeys && section.keys != kDecoderKeys)
                return QStringLiteral("a cut record: [") + section.name + QStringLiteral("] ") +
                       section.keys.join(QLatin1Char(','));
        }
        return QString();
    }

    static bool remount(const QString& folder, const char* mode)
    {
        return QProcess::execute(
                   QStringLiteral("mount"),
                   {QStringLiteral("-o"), QStringLiteral("remount,") + latin1(mode), folder}) == 0;
    }

    // Fills the file system of the folder until only this much is free.
    static bool fillLeaving(const QString& folder, qint64 room)
    {
        struct statvfs space {};
        if (::statvfs(QFile::encodeName(folder).constData(), &space) != 0)
            return false;
        const qint64 free = qint64(space.f_bavail) * qint64(space.f_frsize);
        QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly))
            return false;
        const QByteArray block(4096, 'x');
        for (qint64 left = free - room; left > 0; left -= block.size()) {
            if (filler.write(block.left(int(std::min<qint64>(left, block.size())))) < 0)
                return false;
        }
        return filler.flush();
    }

    // The database, the list's caption and its nodes hold exactly these
    // elements, each record key by key as the element reported it.
    void checkProgramHolds(const QList<LabElement>& elements)
    {
        QStringList expectedRecords;
        QStringList expectedNodes;
        for (const LabElement& element : elements) {
            expectedRecords << expectedRecord(element);
            expectedNodes << element.name + QStringLiteral(" [") + element.programMac() +
                                 QStringLiteral("]");
        }
        QStringList records;
        for (const IniSection& section : m_program->database())
            records << recordText(section);
        QStringList nodes = m_program->nodeTexts();
        for (QStringList* list : {&expectedRecords, &expectedNodes, &records, &nodes})
            list->sort();
        QCOMPARE(records, expectedRecords);
        QCOMPARE(m_program->ui().frmTreeView->title(),
                 QStringLiteral("Select element: (%1 items)").arg(elements.size()));
        QCOMPARE(nodes, expectedNodes);
    }

    QList<LabElement> othersThan(const LabElement& left) const
    {
        QList<LabElement> others = m_elements;
        others.removeIf([&](const LabElement& element) { return element.index == left.index; });
        return others;
    }

    int m_count = 0;
    QList<LabElement> m_elements;
    std::unique_ptr<LabProgram> m_program;
};

QTEST_MAIN(LabDiscoveryTest)
#include "tst_LabDiscovery.moc"
