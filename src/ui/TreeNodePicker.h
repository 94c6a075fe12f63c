#pragma once

#include <QObject>
#include <QPersistentModelIndex>

class QTreeWidget;
class QTreeWidgetItem;

namespace nms {

// Turns the operator's input on the element tree into node picks. A node is
// picked by a click (left button pressed and released on that same node) or
// by moving the current node from the keyboard or from code. A drag across
// nodes, a right or middle click and the second press of a double click pick
// nothing and leave the current node where it was. The tree never makes a
// node current on its own when it gains the focus, so no node is drawn as
// current before the operator chooses one.
class TreeNodePicker : public QObject {
    Q_OBJECT
public:
    explicit TreeNodePicker(QTreeWidget* tree, QObject* parent = nullptr);

signals:
    void nodePicked(QTreeWidgetItem* node);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool filterViewportEvent(QEvent* event);
    void onLeftPress(const QPoint& position);
    void onLeftRelease(const QPoint& position);
    void pickClickedNode(QTreeWidgetItem* node);
    void onCurrentItemChanged(QTreeWidgetItem* current);
    void keepFocusFromPickingANode();

    QTreeWidget* m_tree;
    // The node under the left button's press; invalid when there is none
    // or when it has gone from the tree since.
    QPersistentModelIndex m_pressedIndex;
    bool m_clicking = false;
};

} // namespace nms
