#pragma once

#include <QObject>
#include <QString>

namespace nms {

class Dialogs;
class ElementPanelView;
class ElementTreeView;
class IniRoutines;
class MeterView;

// The element list: rebuilds the tree, the encoder list, the frame caption
// and the scratch list of section names from nms.ini. The rebuild runs in
// one pass; one requested while another runs (from a handler that runs
// while the empty-database box is open) waits and runs after it.
class ElementList : public QObject {
    Q_OBJECT
public:
    ElementList(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath, ElementTreeView& tree,
                MeterView& meter, ElementPanelView& panel, QObject* parent = nullptr);

    void Load_Config();
    // The refresh command: empties the tree, rebuilds it and clears the
    // properties panel.
    void RefreshElementList();
    // Empties the tree and its lists and shows the count of none.
    void EmptyLists();

    bool isRebuilding() const { return m_rebuilding; }

private:
    void rebuildOnce();
    void updateFrameCaption();
    bool listSectionNames();
    void addElement(const QString& section);

    Dialogs& m_dialogs;
    IniRoutines& m_ini;
    const QString m_iniPath;
    ElementTreeView& m_tree;
    MeterView& m_meter;
    ElementPanelView& m_panel;
    bool m_rebuilding = false;
    bool m_rebuildQueued = false;
};

} // namespace nms
