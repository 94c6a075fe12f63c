#include "PanelFixture.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTreeWidget>

namespace nms::test {

PanelFixture::PanelFixture()
    : window(timers)
    , ini(store)
    , iniPath(dir.filePath(QStringLiteral("nms.ini")))
    , panel(window.controls())
    , panelView(window.controls(), &panel)
    , treeView(window.controls())
    , meterView(window.controls())
    , pingField(window.controls())
    , monitoringView(window.controls())
    , list(dialogs, ini, iniPath, treeView, meterView, panelView)
    , selection(dialogs, ini, iniPath, panelView, pingField, monitoringView)
{
    QObject::connect(&treeView, &WidgetTreeView::nodePicked, &selection,
                     &ElementSelection::SelectElement);
}

void PanelFixture::writeIni(const QByteArray& bytes)
{
    QFile file(iniPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test database");
    file.write(bytes);
    file.close();
}

void PanelFixture::removeIni()
{
    QFile::remove(iniPath);
}

QTreeWidgetItem* PanelFixture::node(const QString& key)
{
    QTreeWidget* tree = ui().TreeView1;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->data(0, WidgetTreeView::kNodeKeyRole).toString() == key)
            return item;
    }
    return nullptr;
}

bool PanelFixture::showActive()
{
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace nms::test
