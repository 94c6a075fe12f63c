#include "db/ElementList.h"

#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QListWidget>
#include <QSet>
#include <QTreeWidget>

#include "app/NmsContext.h"
#include "db/IniRoutines.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"
#include "ui/VuMeterImage.h"

namespace nms {

namespace {

const QString kInformationTitle = QStringLiteral("Information");
const QString kDatabaseEmpty = QStringLiteral("Local database is empty.");
// The two boxes differ by one word; both texts are the program's own.
const QString kProbeWhenMissing =
    QStringLiteral("Please click 'Auto Discover' icon to probe the network.");
const QString kProbeWhenNoSections =
    QStringLiteral("Please click the 'Auto Discover' icon to probe the network.");
const QString kNoEncoder = QStringLiteral("<None>");
const QString kDatabaseUnreadable = QStringLiteral("The local database cannot be read:");
const QString kDatabaseLeftAlone = QStringLiteral("The file is left as it is.");

constexpr int kEncoderImage = 6;
constexpr int kOtherImage = 7;

} // namespace

ElementList::ElementList(NmsContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_ui(context.ui)
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
    m_ui.TreeView1->clear();
    Load_Config();
    if (m_context.panel)
        m_context.panel->ClearPropertiesPanel();
}

void ElementList::rebuildOnce()
{
    emptyLists();
    updateFrameCaption();
    if (listSectionNames()) {
        // A section name that stands twice in a hand-edited file names one
        // element (reads go to its first section): it gets one node, so no
        // two nodes share a key.
        QSet<QString> listed;
        for (int i = 0; i < m_ui.lstHidden->count(); ++i) {
            const QString section = m_ui.lstHidden->item(i)->text();
            if (!listed.contains(section.toUpper())) {
                listed.insert(section.toUpper());
                addElement(section);
            }
        }
    }
    updateFrameCaption();
}

void ElementList::emptyLists()
{
    m_ui.lstHidden->clear();
    m_ui.TreeView1->clear();
    m_ui.cmbEncoders->clear();
    m_ui.cmbEncoders->addItem(kNoEncoder);
    m_ui.VUMeter->setWidthTwips(0);
}

void ElementList::updateFrameCaption()
{
    m_ui.frmTreeView->setTitle(
        QStringLiteral("Select element: (%1 items)").arg(m_ui.TreeView1->topLevelItemCount()));
}

// Fills lstHidden with the section names; false (after telling the
// operator) when there is nothing to list.
bool ElementList::listSectionNames()
{
    if (!QFileInfo::exists(m_context.iniPath)) {
        m_context.dialogs.information(kInformationTitle, {kDatabaseEmpty, kProbeWhenMissing});
        return false;
    }
    QStringList sections;
    m_context.ini.LoadIniSectionsLB(sections, m_context.iniPath);
    const QString readError = m_context.ini.lastError();
    if (!readError.isEmpty()) {
        // The file is there but cannot be read (too large, no permission):
        // it is not empty, and nothing here touches it.
        m_context.dialogs.critical(kApplicationTitle,
                                   {kDatabaseUnreadable, readError, kDatabaseLeftAlone});
        return false;
    }
    m_ui.lstHidden->addItems(sections);
    if (m_ui.lstHidden->count() == 0) {
        m_context.dialogs.information(kInformationTitle, {kDatabaseEmpty, kProbeWhenNoSections});
        return false;
    }
    return true;
}

// A role that is missing or not a number cannot mark an encoder, so such a
// record is listed like any other non-encoder.
void ElementList::addElement(const QString& section)
{
    const QString& path = m_context.iniPath;
    const bool isEncoder =
        record::WholeNumber(m_context.ini.ReadFromINI(section, QStringLiteral("role"), path)) ==
        kEncoderRole;
    const QString name = m_context.ini.ReadFromINI(section, QStringLiteral("name"), path);
    const QString key = text::FormatMAC(section);
    const QString nodeText = name + QStringLiteral(" [") + key + QStringLiteral("]");

    auto* node = new QTreeWidgetItem(m_ui.TreeView1, {nodeText});
    node->setData(0, kNodeKeyRole, key);
    node->setIcon(0, m_ui.ImageList1[isEncoder ? kEncoderImage : kOtherImage]);
    if (isEncoder)
        m_ui.cmbEncoders->addItem(nodeText);
}

} // namespace nms
