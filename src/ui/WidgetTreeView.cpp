#include "ui/WidgetTreeView.h"

#include <QComboBox>
#include <QGroupBox>
#include <QListWidget>
#include <QTreeWidget>

#include "ui/FrmMainControls.h"
#include "ui/TreeNodePicker.h"

namespace nms {

namespace {

const QString kNoEncoder = QStringLiteral("<None>");
constexpr int kEncoderImage = 6;
constexpr int kOtherImage = 7;

} // namespace

WidgetTreeView::WidgetTreeView(FrmMainControls& ui, QObject* parent)
    : QObject(parent)
    , m_ui(ui)
{
    auto* picker = new TreeNodePicker(m_ui.TreeView1, this);
    connect(picker, &TreeNodePicker::nodePicked, this, &WidgetTreeView::reportPick);
}

void WidgetTreeView::reportPick(QTreeWidgetItem* node)
{
    if (node == nullptr || node->text(0).isEmpty()) {
        emit nodePicked(QString());
        return;
    }
    emit nodePicked(node->data(0, kNodeKeyRole).toString());
}

void WidgetTreeView::clearTree()
{
    m_ui.TreeView1->clear();
}

void WidgetTreeView::addNode(const QString& text, const QString& key, bool encoder)
{
    auto* node = new QTreeWidgetItem(m_ui.TreeView1, {text});
    node->setData(0, kNodeKeyRole, key);
    node->setIcon(0, m_ui.ImageList1[encoder ? kEncoderImage : kOtherImage]);
}

int WidgetTreeView::nodeCount() const
{
    return m_ui.TreeView1->topLevelItemCount();
}

void WidgetTreeView::setFrameCaption(const QString& caption)
{
    m_ui.frmTreeView->setTitle(caption);
}

// A list that was empty selects the first item added to it; the list has no
// behaviour of its own, so taking that back changes nothing else.
void WidgetTreeView::resetEncoderList()
{
    m_ui.cmbEncoders->clear();
    m_ui.cmbEncoders->addItem(kNoEncoder);
    m_ui.cmbEncoders->setCurrentIndex(-1);
}

void WidgetTreeView::addEncoder(const QString& text)
{
    m_ui.cmbEncoders->addItem(text);
}

void WidgetTreeView::clearSectionList()
{
    m_ui.lstHidden->clear();
}

void WidgetTreeView::addSections(const QStringList& sections)
{
    m_ui.lstHidden->addItems(sections);
}

QStringList WidgetTreeView::sections() const
{
    QStringList names;
    for (int i = 0; i < m_ui.lstHidden->count(); ++i)
        names.append(m_ui.lstHidden->item(i)->text());
    return names;
}

} // namespace nms
