#pragma once

#include <optional>

#include <QObject>
#include <QString>

class QComboBox;
class QScrollBar;
class QTreeWidgetItem;

namespace nms {

struct NmsContext;
struct FrmMainControls;

// Loads the record of the element the operator picks in the tree into the
// properties panel. A click on a node selects it, also a click on the node
// that is already current; moving the current node with the keyboard selects
// too. Each such action selects exactly once; a drag or a right click
// selects nothing (TreeNodePicker).
class ElementSelection : public QObject {
    Q_OBJECT
public:
    explicit ElementSelection(NmsContext& context, QObject* parent = nullptr);

    void SelectElement(QTreeWidgetItem* node);

private:
    // The record's list positions and role, read and checked before anything
    // of the panel changes.
    struct RecordChoices {
        int input = 0;
        int type = 0;
        int tx = 0;
        int bound = 0;
        int role = 0;
    };

    void connectTree();

    QString read(const QString& key, const QString& defaultValue = QString()) const;
    std::optional<int> readInRange(const QString& key, const QString& defaultValue, int minimum,
                                   int maximum) const;
    std::optional<RecordChoices> readChoices() const;
    void showCorruptedRecord();
    void fillFields(const RecordChoices& choices);
    void applyRole(int role);
    void loadDecoderValues();
    void loadScrollValue(QScrollBar* bar, const QString& key, const QString& defaultValue);
    void setListPosition(QComboBox* list, int index);

    NmsContext& m_context;
    FrmMainControls& m_ui;
    // Section of the element being loaded, valid during SelectElement.
    QString m_section;
};

} // namespace nms
