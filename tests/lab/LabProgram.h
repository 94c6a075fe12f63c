#pragma once

#include <memory>

#include <QtTest>

#include <QTreeWidget>

#include "FileBytes.h"
#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "platform/HelperIcmpSocket.h"
#include "platform/IcmpHelpers.h"
#include "platform/IcmpRoute.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/QtTimer.h"
#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "protocol/AutoDiscovery.h"
#include "ui/FrmMainControls.h"
#include "ui/PagingWindow.h"
#include "ui/WidgetTreeView.h"

// The whole program on the lab network, for tests that tests/lab/lab_*.sh
// runs inside the station's namespace (`scripts/lab exec`, NMS_LAB=1), and
// what reaches the simulated elements: the lab script and their record files.
namespace nms::test::lab {

// Longer than the 3 s collection window, with room for a slow machine.
constexpr int kDiscoveryTimeoutMs = 12000;

const QString kSuccessText =
    QStringLiteral("New configuration has been sucessfuly saved and loaded!");

const char* const kOnlyInTheLab =
    "runs only inside the lab: tests/lab/lab_*.sh start it through scripts/lab exec";

inline bool outsideTheLab()
{
    return qgetenv("NMS_LAB") != "1";
}

// Runs scripts/lab with the arguments, bounded in time.
inline bool runLab(const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("bash"), QStringList{qEnvironmentVariable("NMS_SOURCE_DIR") +
                                                      QStringLiteral("/scripts/lab")} +
                                              arguments);
    if (!process.waitForFinished(60000))
        return false; // killed as the object goes
    if (output != nullptr)
        *output = QString::fromLocal8Bit(process.readAllStandardOutput());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// One element as `scripts/lab list` describes it.
struct LabElement {
    QStringList f; // I NS IP MASK GW REMOTE MAC ROLE NAME SERIAL RECORD

    int index() const { return f[0].toInt(); }
    QString name() const { return f[8]; }
    QString record() const { return f[10]; }
    bool isDecoder() const { return f[7] == QStringLiteral("decoder"); }
    // The colon form as the program shows it, and its section name.
    QString programMac() const { return f[6].toUpper(); }
    QString section() const { return programMac().remove(QLatin1Char(':')); }
};

// Every element of the lab, or none when a line is not a whole description.
inline QList<LabElement> labElements()
{
    QString output;
    if (!runLab({QStringLiteral("list")}, &output))
        return {};
    QList<LabElement> elements;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() != 11)
            return {};
        elements << LabElement{f};
    }
    return elements;
}

// (Re)starts the element's simulator with its usual options and these.
inline bool simStart(int index, const QStringList& options = {})
{
    return runLab(QStringList{QStringLiteral("sim-start"), QString::number(index)} + options);
}

// The hex of each datagram the simulator of this record file received on
// the port.
inline QStringList simReceived(const QString& record, int port)
{
    QStringList hex;
    const QString prefix = QStringLiteral("RX port=%1 ").arg(port);
    for (const QByteArray& line : readBytes(record).split('\n')) {
        if (line.startsWith(prefix.toLatin1()))
            hex << QString::fromLatin1(line.mid(line.indexOf(" hex=") + 5));
    }
    return hex;
}

// The real program: the main window object over the real platform services,
// with message boxes recorded and answered from a script. The database is in
// NMS_LAB_DB_DIR when the script gives one (a tiny file system, or one that
// outlives a killed program), else in a temporary directory with the lock.
class LabProgram {
public:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    QtTimerFactory timers;
    SteadyClock clock;
    QtUdpEndpoint udpSocket;
    LinuxIcmpSocket datagramSocket{timers};
    IcmpHelpers helpers{
        QString(qEnvironmentVariable("NMS_BUILD_DIR") + QStringLiteral("/veltrino-nms-icmp"))
            .toStdString()};
    HelperIcmpSocket helperSocket{timers, helpers};
    IcmpRoute icmpSocket{datagramSocket, helperSocket};
    LinuxNeighbourTable neighbours;
    std::unique_ptr<SingleInstanceLock> lock;
    std::unique_ptr<MainWindow> program;

    int mostOpenBoxes = 0;
    // Runs while each box is open; a test may let events run there, as a
    // real modal box does.
    std::function<void(const MessageBoxRequest&)> whileBoxOpen;
    int terminatedWith = -1;

    LabProgram()
    {
        dialogs.whileOpen = [this](const MessageBoxRequest& box) {
            mostOpenBoxes = std::max(mostOpenBoxes, ++m_openBoxes);
            if (whileBoxOpen)
                whileBoxOpen(box);
            --m_openBoxes;
        };
    }

    ~LabProgram()
    {
        if (program)
            program->unload();
    }

    bool start()
    {
        lock = std::make_unique<SingleInstanceLock>(dir.filePath(QStringLiteral("nms.lock")));
        program = std::make_unique<MainWindow>(MainWindow::Services{
            dialogs, timers, clock, udpSocket, icmpSocket, neighbours, *lock, iniPath()});
        program->setTerminate([this](int code) { terminatedWith = code; });
        const bool ready = program->load() == MainWindow::LoadResult::Ready;
        dialogs.clear();
        return ready;
    }

    FrmMainControls& ui() { return program->controls(); }
    QString iniPath() const
    {
        const QString databaseDir = qEnvironmentVariable("NMS_LAB_DB_DIR");
        return QDir(databaseDir.isEmpty() ? dir.path() : databaseDir)
            .filePath(QStringLiteral("nms.ini"));
    }
    // nms.ini as it stands on disk, read independently of the program's INI
    // store: one line per record, "[SECTION] KEY=value KEY=value ...".
    QStringList database() const
    {
        QStringList records;
        for (const QString& line : QString::fromLatin1(databaseBytes()).split(u'\n')) {
            if (line.startsWith(u'['))
                records << line;
            else if (!records.isEmpty() && !line.isEmpty())
                records.last() += u' ' + line;
        }
        return records;
    }
    QString record(const LabElement& element) const
    {
        return database().filter(u'[' + element.section() + u']').value(0);
    }
    QByteArray databaseBytes() const { return readBytes(iniPath()); }

    bool awaitDiscoveryEnd()
    {
        return QTest::qWaitFor(
            [this] {
                return !program->discovery().isAwaitingAnswers() &&
                       program->pagingWindow().window() == nullptr;
            },
            kDiscoveryTimeoutMs);
    }

    // Toolbar button 1 with Yes to the question, until the collection ends.
    bool discover()
    {
        dialogs.script = {BoxAnswer::Yes};
        program->toolbarClick(1);
        return awaitDiscoveryEnd();
    }

    // Toolbar button 4 with Yes to the question, until the question and
    // the answer's box have come (false when they do not come in time), then
    // half a second longer, so that a box too many is caught too.
    bool sendConfiguration(int timeoutMs)
    {
        dialogs.script = {BoxAnswer::Yes};
        program->toolbarClick(4);
        const bool came = QTest::qWaitFor([&] { return dialogs.boxes.size() >= 2; }, timeoutMs);
        QTest::qWait(500);
        return came;
    }

    QStringList nodeTexts()
    {
        QStringList texts;
        for (int i = 0; i < ui().TreeView1->topLevelItemCount(); ++i)
            texts << ui().TreeView1->topLevelItem(i)->text(0);
        return texts;
    }

    // A click on the element's node, as the operator gives it.
    bool select(const LabElement& element)
    {
        QTreeWidget* tree = ui().TreeView1;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            if (item->data(0, WidgetTreeView::kNodeKeyRole).toString() == element.programMac()) {
                emit tree->itemClicked(item, 0);
                return true;
            }
        }
        return false;
    }

private:
    int m_openBoxes = 0;
};

} // namespace nms::test::lab
