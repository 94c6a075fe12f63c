#pragma once

#include <optional>

#include <QObject>
#include <QString>

#include "db/ElementPanelView.h"

namespace nms {

class Dialogs;
class IniRoutines;
class MonitoringView;
class PingFieldView;

// Loads the record of the element the operator picks in the tree into the
// properties panel. The window reports each pick once, with the node's key
// (TreeNodePicker): a click on a node, also on the node that is already
// current, or moving the current node with the keyboard.
class ElementSelection : public QObject {
    Q_OBJECT
public:
    ElementSelection(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                     ElementPanelView& panel, PingFieldView& pingField, MonitoringView& monitoring,
                     QObject* parent = nullptr);

    // The node's key is its colon-form MAC; an empty key (no node, or a
    // node without text) only resets the ping field and the toolbar.
    void SelectElement(const QString& nodeKey);

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
    using List = ElementPanelView::List;
    using Scroll = ElementPanelView::Scroll;

    QString read(const QString& key, const QString& defaultValue = QString()) const;
    std::optional<int> readInRange(const QString& key, const QString& defaultValue, int minimum,
                                   int maximum) const;
    std::optional<int> readListPosition(const QString& key, const QString& defaultValue,
                                        List list) const;
    std::optional<RecordChoices> readChoices() const;
    bool textsFitFields() const;
    void showCorruptedRecord();
    void fillFields(const RecordChoices& choices);
    void applyRole(int role);
    void loadDecoderValues();
    void loadScrollValue(Scroll bar, const QString& key, const QString& defaultValue);

    Dialogs& m_dialogs;
    IniRoutines& m_ini;
    const QString m_iniPath;
    ElementPanelView& m_panel;
    PingFieldView& m_pingField;
    MonitoringView& m_monitoring;
    // Section of the element being loaded, valid during SelectElement.
    QString m_section;
};

} // namespace nms
