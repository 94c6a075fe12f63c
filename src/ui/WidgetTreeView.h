#pragma once

#include <QObject>

#include "db/ElementTreeView.h"

class QTreeWidgetItem;

namespace nms {

struct FrmMainControls;

// The element tree of the main window: TreeView1 with its frame caption,
// the encoder list cmbEncoders and the hidden list lstHidden. Reports each
// node the operator picks (TreeNodePicker) by the node's key.
class WidgetTreeView : public QObject, public ElementTreeView {
    Q_OBJECT
public:
    // The tree's item data holds the node key.
    static constexpr int kNodeKeyRole = Qt::UserRole;

    explicit WidgetTreeView(FrmMainControls& ui, QObject* parent = nullptr);

    void clearTree() override;
    void addNode(const QString& text, const QString& key, bool encoder) override;
    int nodeCount() const override;
    void setFrameCaption(const QString& caption) override;
    void resetEncoderList() override;
    void addEncoder(const QString& text) override;
    void clearSectionList() override;
    void addSections(const QStringList& sections) override;
    QStringList sections() const override;

signals:
    // Empty for no node or a node without text.
    void nodePicked(const QString& nodeKey);

private:
    void reportPick(QTreeWidgetItem* node);

    FrmMainControls& m_ui;
};

} // namespace nms
