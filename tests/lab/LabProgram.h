#pragma once

#include <memory>

#include <QtTest>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "RecordingDialogs.h"
#include "app/MainWindow.h"
#include "app/SingleInstanceLock.h"
#include "db/ElementList.h"
#include "platform/LinuxIcmpSocket.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/QtTimer.h"
#include "platform/QtUdpEndpoint.h"
#include "platform/SteadyClock.h"
#include "protocol/AutoDiscovery.h"
#include "protocol/NetworkBoxes.h"
#include "ui/FrmMain.h"
#include "ui/FrmMainControls.h"
#include "ui/PagingWindow.h"
#include "ui/WidgetTreeView.h"

// The whole program on the lab network, for tests that run inside the lab's
// station namespace (started by tests/lab/lab_*.sh with NMS_LAB=1 through
// `scripts/lab exec`), and the helpers that reach the simulated elements:
// the lab script for stopping, starting and describing them, and their
// record files for what they received.
namespace nms::test::lab {

constexpr int kLabCommandTimeoutMs = 60000;
// Longer than the 3 s collection window, with room for a slow machine.
constexpr int kDiscoveryTimeoutMs = 12000;

inline bool inLab()
{
    return qgetenv("NMS_LAB") == "1";
}

inline QString sourceDir()
{
    // Set by ctest and by the lab test scripts.
    return qEnvironmentVariable("NMS_SOURCE_DIR");
}

struct LabCommandResult {
    bool finished = false;
    int exitCode = -1;
    QString output;

    bool ok() const { return finished && exitCode == 0; }
};

// Runs scripts/lab with the arguments, bounded in time; a command that does
// not finish in time is killed and reported as failed.
inline LabCommandResult runLab(const QStringList& arguments, int timeoutMs = kLabCommandTimeoutMs)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("bash"),
                  QStringList{sourceDir() + QStringLiteral("/scripts/lab")} + arguments);
    LabCommandResult result;
    if (!process.waitForStarted(timeoutMs)) {
        result.output = process.errorString();
        return result;
    }
    result.finished = process.waitForFinished(timeoutMs);
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitCode();
    result.output = QString::fromLocal8Bit(process.readAll());
    return result;
}

// One element as `scripts/lab info I` describes it.
struct LabElement {
    int index = 0;
    QString ns;
    QString ip;
    QString currentIp;
    QString mac; // lower case, colon form, as the interface shows it
    QString role;
    QString name;
    QString serial;
    QString record;
    // As the element reports them (from `scripts/lab list`).
    QString mask;
    QString gateway;
    QString remote;

    bool isValid() const { return index > 0 && !mac.isEmpty(); }
    // The colon form as the program shows it, and its section name.
    QString programMac() const { return mac.toUpper(); }
    QString section() const { return programMac().remove(QLatin1Char(':')); }
    bool isDecoder() const { return role == QStringLiteral("decoder"); }
};

inline LabElement elementInfo(int index)
{
    LabElement element;
    const LabCommandResult result = runLab({QStringLiteral("info"), QString::number(index)});
    if (!result.ok())
        return element;
    QHash<QString, QString> values;
    for (const QString& line : result.output.split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            values.insert(line.left(equals), line.mid(equals + 1));
    }
    element.index = index;
    element.ns = values.value(QStringLiteral("NS"));
    element.ip = values.value(QStringLiteral("IP"));
    element.currentIp = values.value(QStringLiteral("CURRENT_IP"));
    element.mac = values.value(QStringLiteral("MAC"));
    element.role = values.value(QStringLiteral("ROLE"));
    element.name = values.value(QStringLiteral("NAME"));
    element.serial = values.value(QStringLiteral("SERIAL"));
    element.record = values.value(QStringLiteral("RECORD"));
    return element;
}

// Every element of the lab from one `scripts/lab list`: a lab of a
// thousand is described in one call, not a thousand.
inline QList<LabElement> labElements()
{
    QList<LabElement> elements;
    const LabCommandResult result = runLab({QStringLiteral("list")});
    if (!result.ok())
        return elements;
    for (const QString& line : result.output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() != 11)
            return {};
        LabElement element;
        element.index = f[0].toInt();
        element.ns = f[1];
        element.ip = element.currentIp = f[2];
        element.mask = f[3];
        element.gateway = f[4];
        element.remote = f[5];
        element.mac = f[6];
        element.role = f[7];
        element.name = f[8];
        element.serial = f[9];
        element.record = f[10];
        elements << element;
    }
    return elements;
}

inline bool simStop(int index)
{
    return runLab({QStringLiteral("sim-stop"), QString::number(index)}).ok();
}

// (Re)starts the element's simulator with its usual options and these.
inline bool simStart(int index, const QStringList& options = {})
{
    return runLab(QStringList{QStringLiteral("sim-start"), QString::number(index)} + options).ok();
}

// A simulator's record file, read from a mark onwards so that a test sees
// only what happened since it began.
class SimRecord {
public:
    explicit SimRecord(QString path = QString())
        : m_path(std::move(path))
    {
        mark();
    }

    void mark() { m_mark = allLines().size(); }

    QStringList allLines() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QStringList linesSinceMark() const { return allLines().mid(m_mark); }

    QStringList linesStartingWith(const QString& prefix) const
    {
        QStringList matching;
        for (const QString& line : linesSinceMark()) {
            if (line.startsWith(prefix))
                matching << line;
        }
        return matching;
    }

    // The hex of each datagram received on the port since the mark.
    QStringList received(int port) const
    {
        QStringList hex;
        const QString prefix = QStringLiteral("RX port=%1 ").arg(port);
        for (const QString& line : linesStartingWith(prefix)) {
            const qsizetype at = line.indexOf(QStringLiteral(" hex="));
            hex << (at < 0 ? QString() : line.mid(at + 5));
        }
        return hex;
    }

private:
    QString m_path;
    qsizetype m_mark = 0;
};

// One section of nms.ini as it stands on disk, keys and values exactly as
// written (read here independently of the program's INI store).
struct IniSection {
    QString name;
    QStringList keys;
    QStringList values;

    QString value(const QString& key) const
    {
        const qsizetype at = keys.indexOf(key.toUpper());
        return at < 0 ? QString() : values.at(at);
    }
};

inline QList<IniSection> readIniFile(const QString& path)
{
    QList<IniSection> sections;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    const QString content = QString::fromLatin1(file.readAll());
    for (QString line : content.split(QLatin1Char('\n'))) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            sections.append({line.mid(1, line.size() - 2), {}, {}});
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || sections.isEmpty())
            continue;
        sections.last().keys << line.left(equals).trimmed().toUpper();
        sections.last().values << line.mid(equals + 1);
    }
    return sections;
}

// The real program: the main window object over the real platform services
// (timers, clock, UDP endpoint, ICMP socket, neighbour table), with message
// boxes recorded and answered from a script, and its database and lock file
// in a temporary directory.
class LabProgram {
public:
    QTemporaryDir dir;
    RecordingDialogs dialogs;
    QtTimerFactory timers;
    SteadyClock clock;
    QtUdpEndpoint udpSocket;
    LinuxIcmpSocket icmpSocket{timers};
    LinuxNeighbourTable neighbours;
    std::unique_ptr<SingleInstanceLock> lock;
    std::unique_ptr<MainWindow> program;

    // Boxes open at this moment and the most ever open at once.
    int openBoxes = 0;
    int mostOpenBoxes = 0;
    // Milliseconds since start() at which each recorded box was opened.
    QList<qint64> boxTimes;
    // Runs while each box is open; a test may let events run there, as a
    // real modal box does.
    std::function<void(const MessageBoxRequest&)> whileBoxOpen;
    int terminatedWith = -1;

    LabProgram()
    {
        dialogs.whileOpen = [this](const MessageBoxRequest& box) {
            ++openBoxes;
            mostOpenBoxes = std::max(mostOpenBoxes, openBoxes);
            boxTimes << m_sinceStart.elapsed();
            if (whileBoxOpen)
                whileBoxOpen(box);
            --openBoxes;
        };
    }

    ~LabProgram()
    {
        if (program)
            program->unload();
    }

    bool start()
    {
        m_sinceStart.start();
        lock = std::make_unique<SingleInstanceLock>(dir.filePath(QStringLiteral("nms.lock")));
        program = std::make_unique<MainWindow>(MainWindow::Services{
            dialogs, timers, clock, udpSocket, icmpSocket, neighbours, *lock, iniPath()});
        program->setTerminate([this](int code) { terminatedWith = code; });
        return program->load() == MainWindow::LoadResult::Ready;
    }

    void clearBoxes()
    {
        dialogs.clear();
        boxTimes.clear();
    }

    qint64 elapsedMs() const { return m_sinceStart.elapsed(); }
    FrmMainControls& ui() { return program->controls(); }
    // NMS_LAB_DB_DIR puts the database in a folder the test script made
    // (a tiny or read-only file system, or one that outlives a killed
    // program); the lock file stays in the temporary directory.
    QString iniPath() const
    {
        const QString databaseDir = qEnvironmentVariable("NMS_LAB_DB_DIR");
        return QDir(databaseDir.isEmpty() ? dir.path() : databaseDir)
            .filePath(QStringLiteral("nms.ini"));
    }
    QList<IniSection> database() const { return readIniFile(iniPath()); }

    bool discoveryRunning()
    {
        return program->discovery().isAwaitingAnswers() ||
               program->pagingWindow().window() != nullptr;
    }

    // Toolbar button 1 with Yes to the question; returns when the collection
    // window has closed (false when it did not, in time).
    bool discover()
    {
        dialogs.script = {BoxAnswer::Yes};
        program->toolbarClick(1);
        return QTest::qWaitFor([this] { return !discoveryRunning(); }, kDiscoveryTimeoutMs);
    }

    QTreeWidgetItem* node(const QString& programMac)
    {
        QTreeWidget* tree = ui().TreeView1;
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = tree->topLevelItem(i);
            if (item->data(0, WidgetTreeView::kNodeKeyRole).toString() == programMac)
                return item;
        }
        return nullptr;
    }

    QStringList nodeTexts()
    {
        QStringList texts;
        QTreeWidget* tree = ui().TreeView1;
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            texts << tree->topLevelItem(i)->text(0);
        return texts;
    }

    // A click on the element's node, as the operator gives it.
    bool select(const QString& programMac)
    {
        QTreeWidgetItem* item = node(programMac);
        if (item == nullptr)
            return false;
        emit ui().TreeView1->itemClicked(item, 0);
        return true;
    }

private:
    QElapsedTimer m_sinceStart;
};

} // namespace nms::test::lab
