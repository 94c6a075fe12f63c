// Loaded into the window as a generic plugin. Every 100 ms it compares the
// window's socket descriptors with the raw sockets of its network namespace
// (/proc/self/net/raw) and writes "RAW fd N" for each one it finds. Once
// the tree shows the elements, it selects each in turn, clicks the ping
// field and writes the caption the echo leaves there ("PING <caption>"),
// stopping a time-out's countdown with a second click. Then "DONE".
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtGui/qgenericplugin.h>

namespace {

QSet<QString> rawSocketInodes()
{
    QSet<QString> inodes;
    QFile table(QStringLiteral("/proc/self/net/raw"));
    if (!table.open(QIODevice::ReadOnly))
        return inodes;
    const QList<QByteArray> lines = table.readAll().split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> fields = lines[i].simplified().split(' ');
        if (fields.size() > 9)
            inodes.insert(QString::fromLatin1(fields[9]));
    }
    return inodes;
}

class Probe : public QObject {
public:
    explicit Probe(const QString& reportPath)
        : m_report(reportPath)
    {
        m_report.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
        write(QStringLiteral("LOADED"));
        connect(&m_timer, &QTimer::timeout, this, &Probe::tick);
        m_timer.start(100);
    }

private:
    void write(const QString& line) { m_report.write((line + u'\n').toUtf8()); }

    void scanDescriptors()
    {
        const QSet<QString> raw = rawSocketInodes();
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QString& fd :
             fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            const QString target = QFile::symLinkTarget(fds.filePath(fd));
            const QString inode = target.section(u'[', 1).section(u']', 0, 0);
            if (target.contains(QStringLiteral("socket:[")) && raw.contains(inode))
                write(QStringLiteral("RAW fd ") + fd);
        }
    }

    QLabel* pingField() const
    {
        for (QWidget* widget : QApplication::allWidgets())
            if (widget->objectName() == QStringLiteral("lblPing"))
                return qobject_cast<QLabel*>(widget);
        return nullptr;
    }

    QList<QTreeWidgetItem*> elements() const
    {
        QList<QTreeWidgetItem*> found;
        for (QWidget* widget : QApplication::allWidgets())
            if (auto* tree = qobject_cast<QTreeWidget*>(widget))
                for (QTreeWidgetItemIterator it(tree); *it; ++it)
                    if ((*it)->childCount() == 0 && !(*it)->text(0).isEmpty())
                        found << *it;
        return found;
    }

    static void click(QWidget* widget)
    {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(
                type, QPointF(5, 5), widget->mapToGlobal(QPointF(5, 5)), Qt::LeftButton,
                type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(widget, &event);
        }
    }

    void tick()
    {
        scanDescriptors();
        QLabel* field = pingField();
        const QList<QTreeWidgetItem*> items = elements();
        if (!field || items.isEmpty() || !field->window()->isVisible() || m_done)
            return;
        const QString caption = field->text();
        if (m_waiting) {
            const bool finished =
                caption.endsWith(QStringLiteral(" ms")) ||
                (caption != QStringLiteral("<Click to test>") && !caption.startsWith(u'<'));
            if (!finished || ++m_ticksWaited > 60)
                return;
            write(QStringLiteral("PING ") + caption);
            if (caption.contains(QStringLiteral("Timed")))
                click(field); // stops the countdown
            m_waiting = false;
            ++m_next;
        }
        if (m_next >= items.size()) {
            m_done = true;
            write(QStringLiteral("DONE"));
            return;
        }
        items[m_next]->treeWidget()->setCurrentItem(items[m_next]);
        click(field);
        m_waiting = true;
        m_ticksWaited = 0;
    }

    QFile m_report;
    QTimer m_timer;
    qsizetype m_next = 0;
    bool m_waiting = false;
    bool m_done = false;
    int m_ticksWaited = 0;
};

} // namespace

class RawSocketProbePlugin : public QGenericPlugin {
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "probe.json")
public:
    QObject* create(const QString&, const QString&) override
    {
        return new Probe(qEnvironmentVariable("NMS_PROBE_REPORT"));
    }
};

#include "RawSocketProbe.moc"
