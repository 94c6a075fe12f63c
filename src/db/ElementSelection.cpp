#include "db/ElementSelection.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QScrollBar>
#include <QTreeWidget>

#include "app/NmsContext.h"
#include "db/ElementList.h"
#include "db/IniRoutines.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/PropertiesPanel.h"
#include "ui/ShapeWidget.h"
#include "ui/TreeNodePicker.h"

namespace nms {

namespace {

const QColor kPingIdleColour(255, 255, 192);

// More key lines than any record the program writes.
constexpr int kCorruptedKeyCount = 18;

constexpr int kEncoderRole = 1;
constexpr int kDecoderRole = 2;

// Shown, never corrected: the stored value stays until the element reports
// another.
Qt::CheckState sfnState(int option)
{
    switch (option) {
    case 1: return Qt::Checked;
    case 2: return Qt::PartiallyChecked;
    default: return Qt::Unchecked;
    }
}

int lastIndex(const QComboBox* list)
{
    return list->count() - 1;
}

} // namespace

ElementSelection::ElementSelection(NmsContext& context, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_ui(context.ui)
{
    connectTree();
}

void ElementSelection::connectTree()
{
    auto* picker = new TreeNodePicker(m_ui.TreeView1, this);
    connect(picker, &TreeNodePicker::nodePicked, this, &ElementSelection::SelectElement);
}

void ElementSelection::SelectElement(QTreeWidgetItem* node)
{
    m_ui.shpPing->setFillColor(kPingIdleColour);
    m_ui.Toolbar1Buttons[6]->setEnabled(false);
    m_ui.Toolbar1Buttons[7]->setEnabled(false);
    if (node == nullptr || node->text(0).isEmpty())
        return;

    // The node may go away while a box is open; keep what is needed of it.
    const QString nodeKey = node->data(0, ElementList::kNodeKeyRole).toString();
    m_section = text::NormalizeMAC(nodeKey);

    if (m_context.ini.GetSectionKeyCount(m_section, m_context.iniPath) >= kCorruptedKeyCount) {
        showCorruptedRecord();
        return;
    }
    const std::optional<RecordChoices> choices = readChoices();
    if (!choices) {
        showCorruptedRecord();
        return;
    }
    fillFields(*choices);
    applyRole(choices->role);
    m_ui.lblElementMAC->setCaption(nodeKey);
    m_ui.lblSerialNumber->setCaption(read(QStringLiteral("sn")));
    m_ui.lblPing->setCaption(QStringLiteral("<Click to test>"));
}

QString ElementSelection::read(const QString& key, const QString& defaultValue) const
{
    return m_context.ini.ReadFromINI(m_section, key, m_context.iniPath, defaultValue);
}

std::optional<int> ElementSelection::readInRange(const QString& key, const QString& defaultValue,
                                                 int minimum, int maximum) const
{
    const std::optional<int> value = record::WholeNumber(read(key, defaultValue));
    if (!value || *value < minimum || *value > maximum)
        return std::nullopt;
    return value;
}

// Values that choose a list position and the role must be whole numbers
// within their control; a record that breaks this is refused as a whole
// before anything of the panel changes. A bound encoder beyond the encoders
// now listed is such a value. The SFN state is not among them: it is the
// element's own report, and refusing it would lock the element out.
std::optional<ElementSelection::RecordChoices> ElementSelection::readChoices() const
{
    const auto input = readInRange(QStringLiteral("input"), {}, 0, lastIndex(m_ui.cmbAudioInput));
    const auto type = readInRange(QStringLiteral("type"), {}, 0, lastIndex(m_ui.cmbAudioType));
    const auto tx = readInRange(QStringLiteral("tx"), {}, 0, lastIndex(m_ui.cmbAudioTX));
    const auto bound =
        readInRange(QStringLiteral("bound"), QStringLiteral("0"), 0, lastIndex(m_ui.cmbEncoders));
    const auto role = record::WholeNumber(read(QStringLiteral("role")));
    if (!input || !type || !tx || !bound || !role)
        return std::nullopt;
    return RecordChoices{*input, *type, *tx, *bound, *role};
}

void ElementSelection::showCorruptedRecord()
{
    m_context.dialogs.critical(
        kApplicationTitle,
        {QStringLiteral("The data stored in your computer about this element, is corrupted (1)."),
         QStringLiteral("Cannot load this element info.")});
}

void ElementSelection::fillFields(const RecordChoices& choices)
{
    m_ui.txtElementName->setText(read(QStringLiteral("name")));
    m_ui.txtElementIP->setText(read(QStringLiteral("ip")));
    m_ui.txtElementMask->setText(read(QStringLiteral("mask")));
    m_ui.txtElementGW->setText(read(QStringLiteral("gw")));
    m_ui.txtRemoteIP->setText(read(QStringLiteral("remote")));
    setListPosition(m_ui.cmbAudioInput, choices.input);
    setListPosition(m_ui.cmbAudioType, choices.type);
    setListPosition(m_ui.cmbAudioTX, choices.tx);
    m_ui.lblVersion->setCaption(
        record::VersionCaption(read(QStringLiteral("ver"), QStringLiteral("2"))));
    setListPosition(m_ui.cmbEncoders, choices.bound);
    m_ui.chkSFNEnabled->setCheckState(
        sfnState(record::SfnOption(read(QStringLiteral("sfn"), QStringLiteral("0")))));
}

void ElementSelection::applyRole(int role)
{
    if (role == kEncoderRole) {
        m_ui.lblElementType->setCaption(QStringLiteral("ENCODER"));
        m_ui.scrlBuffer->setValue(0);
    } else if (role == kDecoderRole) {
        m_ui.lblElementType->setCaption(QStringLiteral("DECODER"));
        loadDecoderValues();
    } else {
        m_ui.lblElementType->setCaption(QStringLiteral("UNKNOWN"));
    }
}

// Each decoder value is taken on its own: one that is missing, not a whole
// number or outside its control's range leaves that control as it was, and
// loading goes on with the next.
void ElementSelection::loadDecoderValues()
{
    loadScrollValue(m_ui.scrlAtten, QStringLiteral("att"), {});
    loadScrollValue(m_ui.scrlBuffer, QStringLiteral("buf"), QStringLiteral("1"));
    const auto mode =
        readInRange(QStringLiteral("sdm"), QStringLiteral("0"), 0, lastIndex(m_ui.cmbSilDetMode));
    if (mode)
        setListPosition(m_ui.cmbSilDetMode, *mode);
    loadScrollValue(m_ui.scrlSilDetLevel, QStringLiteral("sdl"), QStringLiteral("37"));
    loadScrollValue(m_ui.scrlSilDetTime, QStringLiteral("sdt"), QStringLiteral("43"));
}

void ElementSelection::loadScrollValue(QScrollBar* bar, const QString& key,
                                       const QString& defaultValue)
{
    const auto value = readInRange(key, defaultValue, bar->minimum(), bar->maximum());
    if (!value)
        return;
    if (m_context.panel)
        m_context.panel->SetScrollValue(bar, *value);
    else
        bar->setValue(*value);
}

// Through the panel, so that its rule for the list runs even when the stored
// position equals the one shown.
void ElementSelection::setListPosition(QComboBox* list, int index)
{
    if (m_context.panel)
        m_context.panel->SetListIndex(list, index);
    else
        list->setCurrentIndex(index);
}

} // namespace nms
