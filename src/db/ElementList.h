#pragma once

#include <QObject>
#include <QString>

class QComboBox;

namespace nms {

struct NmsContext;
struct FrmMainControls;

// The element list: rebuilds the tree, the encoder list, the frame caption
// and the scratch list of section names from nms.ini. The rebuild runs in
// one pass; one requested while another runs (from a handler that runs
// while the empty-database box is open) waits and runs after it.
class ElementList : public QObject {
    Q_OBJECT
public:
    explicit ElementList(NmsContext& context, QObject* parent = nullptr);

    void Load_Config();
    // The refresh command: empties the tree, rebuilds it and clears the
    // properties panel.
    void RefreshElementList();

    bool isRebuilding() const { return m_rebuilding; }

    // Empties the encoder list down to its "<None>" item, with no item
    // selected: the list shows a bound encoder only once an element's record
    // has chosen one.
    static void ResetEncoderList(QComboBox* list);

    // Role 1 marks an encoder; the tree's item data holds the node key.
    static constexpr int kEncoderRole = 1;
    static constexpr int kNodeKeyRole = Qt::UserRole;

private:
    void rebuildOnce();
    void emptyLists();
    void updateFrameCaption();
    bool listSectionNames();
    void addElement(const QString& section);

    NmsContext& m_context;
    FrmMainControls& m_ui;
    bool m_rebuilding = false;
    bool m_rebuildQueued = false;
};

} // namespace nms
