#include "ui/TreeNodePicker.h"

#include <QEvent>
#include <QMouseEvent>
#include <QTreeWidget>

namespace nms {

TreeNodePicker::TreeNodePicker(QTreeWidget* tree, QObject* parent)
    : QObject(parent)
    , m_tree(tree)
{
    m_tree->installEventFilter(this);
    m_tree->viewport()->installEventFilter(this);
    connect(m_tree, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current) { onCurrentItemChanged(current); });
    // The view never sees a mouse button, so it reports a click only when
    // one is given to it by code; that click picks like the operator's.
    connect(m_tree, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* node) { pickClickedNode(node); });
}

bool TreeNodePicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_tree->viewport())
        return filterViewportEvent(event);
    if (watched == m_tree && event->type() == QEvent::FocusIn)
        keepFocusFromPickingANode();
    return QObject::eventFilter(watched, event);
}

// The tree itself never sees a mouse button: left to itself it would make
// the node under a press current at once, and every node a drag passes over
// after it. Only a whole click moves the current node, here.
bool TreeNodePicker::filterViewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            onLeftPress(mouse->position().toPoint());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton)
            onLeftRelease(mouse->position().toPoint());
        return true;
    }
    case QEvent::MouseButtonDblClick:
        // The second press of a double click: the first click has picked
        // the node already.
        m_pressedIndex = QPersistentModelIndex();
        return true;
    case QEvent::MouseMove: return static_cast<QMouseEvent*>(event)->buttons() != Qt::NoButton;
    default: return false;
    }
}

void TreeNodePicker::onLeftPress(const QPoint& position)
{
    m_pressedIndex = QPersistentModelIndex(m_tree->indexAt(position));
}

void TreeNodePicker::onLeftRelease(const QPoint& position)
{
    const QModelIndex released = m_tree->indexAt(position);
    const bool sameNode = m_pressedIndex.isValid() && released == m_pressedIndex;
    m_pressedIndex = QPersistentModelIndex();
    QTreeWidgetItem* node = m_tree->itemAt(position);
    if (sameNode && node != nullptr)
        pickClickedNode(node);
}

void TreeNodePicker::pickClickedNode(QTreeWidgetItem* node)
{
    // The click moves the current node itself; that move is no second pick.
    m_clicking = true;
    m_tree->setCurrentItem(node);
    m_clicking = false;
    emit nodePicked(node);
}

// A move of the current node by the keyboard (or by code) picks the new
// node. Emptying the tree leaves no current node and picks nothing.
void TreeNodePicker::onCurrentItemChanged(QTreeWidgetItem* current)
{
    if (current == nullptr || m_clicking)
        return;
    emit nodePicked(current);
}

// A view that gains the keyboard focus without a current node makes its
// first node current, unless a current node has been set, even an empty one.
// Setting the empty one keeps the focus from choosing a node for the
// operator; the first arrow key then moves to the first node.
void TreeNodePicker::keepFocusFromPickingANode()
{
    if (m_tree->currentItem() == nullptr)
        m_tree->setCurrentItem(nullptr);
}

} // namespace nms
