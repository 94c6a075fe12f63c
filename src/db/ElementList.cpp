#include "db/ElementList.h"

#include <QFileInfo>
#include <QSet>

#include "db/ElementPanelView.h"
#include "db/ElementRole.h"
#include "db/ElementTreeView.h"
#include "db/IniRoutines.h"
#include "db/MeterView.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"

namespace nms {

namespace {

const QString kInformationTitle = QStringLiteral("Information");
const QString kDatabaseEmpty = QStringLiteral("Local database is empty.");
// The two boxes differ by one word; both texts are the program's own.
const QString kProbeWhenMissing =
    QStringLiteral("Please click 'Auto Discover' icon to probe the network.");
const QString kProbeWhenNoSections =
    QStringLiteral("Please click the 'Auto Discover' icon to probe the network.");
const QString kDatabaseUnreadable = QStringLiteral("The local database cannot be read:");
const QString kDatabaseLeftAlone = QStringLiteral("The file is left as it is.");

} // namespace

ElementList::ElementList(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                         ElementTreeView& tree, MeterView& meter, ElementPanelView& panel,
                         QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_ini(ini)
    , m_iniPath(iniPath)
    , m_tree(tree)
    , m_meter(meter)
    , m_panel(panel)
{
}

void ElementList::Load_Config()
{
    if (m_rebuilding) {
        m_rebuildQueued = true;
        return;
    }
    m_rebuilding = true;
    do {
        m_rebuildQueued = false;
        rebuildOnce();
    } while (m_rebuildQueued);
    m_rebuilding = false;
}

void ElementList::RefreshElementList()
{
    m_tree.clearTree();
    Load_Config();
    m_panel.clear();
}

void ElementList::rebuildOnce()
{
    EmptyLists();
    if (listSectionNames()) {
        // A section name that stands twice in a hand-edited file names one
        // element (reads go to its first section): it gets one node, so no
        // two nodes share a key.
        QSet<QString> listed;
        for (const QString& section : m_tree.sections()) {
            if (!listed.contains(section.toUpper())) {
                listed.insert(section.toUpper());
                addElement(section);
            }
        }
    }
    updateFrameCaption();
}

void ElementList::EmptyLists()
{
    m_tree.clearSectionList();
    m_tree.clearTree();
    m_tree.resetEncoderList();
    m_meter.setMeterWidthTwips(0);
    updateFrameCaption();
}

void ElementList::updateFrameCaption()
{
    m_tree.setFrameCaption(QStringLiteral("Select element: (%1 items)").arg(m_tree.nodeCount()));
}

// Fills the scratch list with the section names; false (after telling the
// operator) when there is nothing to list.
bool ElementList::listSectionNames()
{
    if (!QFileInfo::exists(m_iniPath)) {
        m_dialogs.information(kInformationTitle, {kDatabaseEmpty, kProbeWhenMissing});
        return false;
    }
    QStringList sections;
    m_ini.LoadIniSectionsLB(sections, m_iniPath);
    const QString readError = m_ini.lastError();
    if (!readError.isEmpty()) {
        // The file is there but cannot be read (too large, no permission):
        // it is not empty, and nothing here touches it.
        m_dialogs.critical(kApplicationTitle, {kDatabaseUnreadable, readError, kDatabaseLeftAlone});
        return false;
    }
    m_tree.addSections(sections);
    if (m_tree.sections().isEmpty()) {
        m_dialogs.information(kInformationTitle, {kDatabaseEmpty, kProbeWhenNoSections});
        return false;
    }
    return true;
}

// A role that is missing or not a number cannot mark an encoder, so such a
// record is listed like any other non-encoder.
void ElementList::addElement(const QString& section)
{
    const bool isEncoder = record::WholeNumber(m_ini.ReadFromINI(section, QStringLiteral("role"),
                                                                 m_iniPath)) == kEncoderRole;
    const QString name = m_ini.ReadFromINI(section, QStringLiteral("name"), m_iniPath);
    const QString key = text::FormatMAC(section);
    const QString nodeText = name + QStringLiteral(" [") + key + QStringLiteral("]");

    m_tree.addNode(nodeText, key, isEncoder);
    if (isEncoder)
        m_tree.addEncoder(nodeText);
}

} // namespace nms
