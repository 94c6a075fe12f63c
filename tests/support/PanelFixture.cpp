#include "PanelFixture.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTreeWidget>

namespace nms::test {

PanelFixture::PanelFixture()
    : window(timers)
    , ini(store)
    , context{window.controls(),
              dialogs,
              ini,
              timers,
              clock,
              dir.filePath(QStringLiteral("nms.ini"))}
    , panel(context)
    , list(context)
    , selection(context)
{
    context.panel = &panel;
    context.elementList = &list;
    context.selection = &selection;
}

void PanelFixture::writeIni(const QByteArray& bytes)
{
    QFile file(context.iniPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test database");
    file.write(bytes);
    file.close();
}

void PanelFixture::removeIni()
{
    QFile::remove(context.iniPath);
}

QTreeWidgetItem* PanelFixture::node(const QString& key)
{
    QTreeWidget* tree = ui().TreeView1;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = tree->topLevelItem(i);
        if (item->data(0, ElementList::kNodeKeyRole).toString() == key)
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
