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

// The whole program on the lab network, for tests that run inside the lab's
// station namespace (started by tests/lab/lab_*.sh with NMS_LAB=1 through
// `scripts/lab exec`), and the helpers that reach the simulated elements:
// the lab script for stopping, starting and listing them, and their record
// files for what they received.
namespace nms::test::lab {

// Longer than the 3 s collection window, with room for a slow machine.
constexpr int kDiscoveryTimeoutMs = 12000;

const QString kSuccessText =
    QStringLiteral("New configuration has been sucessfuly saved and loaded!");

inline bool inLab()
{
    return qgetenv("NMS_LAB") == "1";
}

inline QString sourceDir()
{
    // Set by ctest and by the lab test scripts.
    return qEnvironmentVariable("NMS_SOURCE_DIR");
}

// Runs scripts/lab with the arguments, bounded in time: false when it fails
// or does not finish (it is killed then).
inline bool runLab(const QStringList& arguments, QString* output = nullptr)
{
    constexpr int kTimeoutMs = 60000;
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("bash"),
                  QStringList{sourceDir() + QStringLiteral("/scripts/lab")} + arguments);
    const bool finished = process.waitForFinished(kTimeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    if (output != nullptr)
        *output = QString::fromLocal8Bit(process.readAll());
    return finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// One element as `scripts/lab list` describes it.
struct LabElement {
    int index = 0;
    QString ip;
    QString mask;
    QString gateway;
    QString remote;
    QString mac; // lower case, colon form, as the interface shows it
    QString role;
    QString name;
    QString serial;
    QString record;

    // The colon form as the program shows it, and its section name.
    QString programMac() const { return mac.toUpper(); }
    QString section() const { return programMac().remove(QLatin1Char(':')); }
    bool isDecoder() const { return role == QStringLiteral("decoder"); }
};

// Every element of the lab from one `scripts/lab list` (a lab of a
// thousand is described in one call, not a thousand); none when a line is
// not a whole description.
inline QList<LabElement> labElements()
{
    QString output;
    if (!runLab({QStringLiteral("list")}, &output))
        return {};
    QList<LabElement> elements;
    for (const QString& line : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QStringList f = line.split(QLatin1Char(' '));
        if (f.size() != 11 || f[0].toInt() <= 0 || f[6].isEmpty())
            return {};
        elements << LabElement{f[0].toInt(), f[2], f[3], f[4], f[5], f[6], f[7], f[8], f[9], f[10]};
    }
    return elements;
}

inline bool simStop(int index)
{
    return runLab({QStringLiteral("sim-stop"), QString::number(index)});
}

// (Re)starts the element's simulator with its usual options and these.
inline bool simStart(int index, const QStringList& options = {})
{
    return runLab(QStringList{QStringLiteral("sim-start"), QString::number(index)} + options);
}

// A simulator's record file from the moment this object was made, so that
// a test sees only what happened since it began.
class SimRecord {
public:
    explicit SimRecord(QString path)
        : m_path(std::move(path))
        , m_mark(lines().size())
    {
    }

    QStringList linesStartingWith(const QString& prefix) const
    {
        QStringList matching;
        for (const QString& line : lines().mid(m_mark)) {
            if (line.startsWith(prefix))
                matching << line;
        }
        return matching;
    }

    // The hex of each datagram received on the port.
    QStringList received(int port) const
    {
        QStringList hex;
        for (const QString& line : linesStartingWith(QStringLiteral("RX port=%1 ").arg(port)))
            hex << line.section(QStringLiteral(" hex="), 1);
        return hex;
    }

private:
    QStringList lines() const
    {
        QFile file(m_path);
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

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
    for (QString line : QString::fromLatin1(file.readAll()).split(QLatin1Char('\n'))) {
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

// A box in one line, so that one comparison checks the icon, buttons,
// default answer, title and text of a whole sequence of boxes.
inline QString boxLine(BoxIcon icon, const QString& title, const QString& text,
                       BoxButtons buttons = BoxButtons::Ok, BoxAnswer defaultButton = BoxAnswer::Ok)
{
    return QStringLiteral("icon %1 buttons %2 default %3 [%4] %5")
        .arg(int(icon))
        .arg(int(buttons))
        .arg(int(defaultButton))
        .arg(title, text);
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
    // Milliseconds since start() at which each recorded box was opened.
    QList<qint64> boxTimes;
    // Runs while each box is open; a test may let events run there, as a
    // real modal box does.
    std::function<void(const MessageBoxRequest&)> whileBoxOpen;
    int terminatedWith = -1;

    LabProgram()
    {
        dialogs.whileOpen = [this](const MessageBoxRequest& box) {
            mostOpenBoxes = std::max(mostOpenBoxes, ++m_openBoxes);
            boxTimes << m_sinceStart.elapsed();
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

    QStringList boxLines() const
    {
        QStringList lines;
        for (const MessageBoxRequest& box : dialogs.boxes)
            lines << boxLine(box.icon, box.title, box.text(), box.buttons, box.defaultButton);
        return lines;
    }

    // Until that many boxes have been recorded (false when they do not come
    // in time), then quietMs longer, so that a box too many is caught too.
    bool awaitBoxes(qsizetype count, int timeoutMs, int quietMs)
    {
        const bool came = QTest::qWaitFor([&] { return dialogs.boxes.size() >= count; }, timeoutMs);
        QTest::qWait(quietMs);
        return came;
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
    IniSection section(const LabElement& element) const
    {
        for (const IniSection& section : database()) {
            if (section.name == element.section())
                return section;
        }
        return {};
    }
    QByteArray databaseBytes() const
    {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

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

    // Toolbar button 4 with Yes to the question.
    void sendConfiguration()
    {
        dialogs.script = {BoxAnswer::Yes};
        program->toolbarClick(4);
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
    QElapsedTimer m_sinceStart;
    int m_openBoxes = 0;
};

} // namespace nms::test::lab
