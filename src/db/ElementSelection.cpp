#include "db/ElementSelection.h"

#include "db/ElementRole.h"
#include "db/IniRoutines.h"
#include "db/MonitoringView.h"
#include "db/PingFieldView.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"

namespace nms {

namespace {

// More key lines than any record the program writes.
constexpr int kCorruptedKeyCount = 18;

} // namespace

ElementSelection::ElementSelection(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                                   ElementPanelView& panel, PingFieldView& pingField,
                                   MonitoringView& monitoring, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_ini(ini)
    , m_iniPath(iniPath)
    , m_panel(panel)
    , m_pingField(pingField)
    , m_monitoring(monitoring)
{
}

void ElementSelection::SelectElement(const QString& nodeKey)
{
    m_pingField.setFill(PingFieldView::Fill::Idle);
    m_monitoring.enableMonitoringButtons(false, false);
    if (nodeKey.isEmpty())
        return;

    m_section = text::NormalizeMAC(nodeKey);

    if (m_ini.GetSectionKeyCount(m_section, m_iniPath) >= kCorruptedKeyCount) {
        showCorruptedRecord();
        return;
    }
    const std::optional<RecordChoices> choices = readChoices();
    if (!choices || !textsFitFields()) {
        showCorruptedRecord();
        return;
    }
    fillFields(*choices);
    applyRole(choices->role);
    m_panel.setCaption(ElementPanelView::Caption::Mac, nodeKey);
    m_panel.setCaption(ElementPanelView::Caption::SerialNumber, read(QStringLiteral("sn")));
    m_pingField.setCaption(QStringLiteral("<Click to test>"));
}

QString ElementSelection::read(const QString& key, const QString& defaultValue) const
{
    return m_ini.ReadFromINI(m_section, key, m_iniPath, defaultValue);
}

std::optional<int> ElementSelection::readInRange(const QString& key, const QString& defaultValue,
                                                 int minimum, int maximum) const
{
    const std::optional<int> value = record::WholeNumber(read(key, defaultValue));
    if (!value || *value < minimum || *value > maximum)
        return std::nullopt;
    return value;
}

std::optional<int> ElementSelection::readListPosition(const QString& key,
                                                      const QString& defaultValue, List list) const
{
    return readInRange(key, defaultValue, 0, m_panel.listCount(list) - 1);
}

// Values that choose a list position and the role must be whole numbers
// within their control; a record that breaks this is refused as a whole
// before anything of the panel changes. A bound encoder beyond the encoders
// now listed is such a value. The SFN state is not among them: it is the
// element's own report, and refusing it would lock the element out.
std::optional<ElementSelection::RecordChoices> ElementSelection::readChoices() const
{
    const auto input = readListPosition(QStringLiteral("input"), {}, List::AudioInput);
    const auto type = readListPosition(QStringLiteral("type"), {}, List::AudioType);
    const auto tx = readListPosition(QStringLiteral("tx"), {}, List::AudioTX);
    const auto bound =
        readListPosition(QStringLiteral("bound"), QStringLiteral("0"), List::Encoders);
    const auto role = record::WholeNumber(read(QStringLiteral("role")));
    if (!input || !type || !tx || !bound || !role)
        return std::nullopt;
    return RecordChoices{*input, *type, *tx, *bound, *role};
}

// A text longer than its field would be cut by the field, and the cut text
// (another address, as "198.018.009.0010" cut to "198.018.009.001") shown
// and later sent as if it were the stored one.
bool ElementSelection::textsFitFields() const
{
    if (read(QStringLiteral("name")).size() > record::kNameLength)
        return false;
    for (const char* key : {"ip", "mask", "gw", "remote"}) {
        if (read(QString::fromLatin1(key)).size() > record::kAddressLength)
            return false;
    }
    return true;
}

void ElementSelection::showCorruptedRecord()
{
    m_dialogs.critical(
        kApplicationTitle,
        {QStringLiteral("The data stored in your computer about this element, is corrupted (1)."),
         QStringLiteral("Cannot load this element info.")});
}

void ElementSelection::fillFields(const RecordChoices& choices)
{
    using Text = ElementPanelView::Text;
    m_panel.setText(Text::Name, read(QStringLiteral("name")));
    m_panel.setText(Text::IP, read(QStringLiteral("ip")));
    m_panel.setText(Text::Mask, read(QStringLiteral("mask")));
    m_panel.setText(Text::Gateway, read(QStringLiteral("gw")));
    m_panel.setText(Text::Remote, read(QStringLiteral("remote")));
    m_panel.setListIndex(List::AudioInput, choices.input);
    m_panel.setListIndex(List::AudioType, choices.type);
    m_panel.setListIndex(List::AudioTX, choices.tx);
    m_panel.setCaption(ElementPanelView::Caption::Version,
                       record::VersionCaption(read(QStringLiteral("ver"), QStringLiteral("2"))));
    m_panel.setListIndex(List::Encoders, choices.bound);
    // Shown, never corrected: the stored value stays until the element
    // reports another.
    m_panel.setSfnOption(record::SfnOption(read(QStringLiteral("sfn"), QStringLiteral("0"))));
}

void ElementSelection::applyRole(int role)
{
    using Caption = ElementPanelView::Caption;
    m_panel.setCaption(Caption::ElementType, RoleCaption(role));
    if (role == kEncoderRole)
        m_panel.setScrollValue(Scroll::Buffer, 0);
    else if (role == kDecoderRole)
        loadDecoderValues();
}

// Each decoder value is taken on its own: one that is missing, not a whole
// number or outside its control's range leaves that control as it was, and
// loading goes on with the next.
void ElementSelection::loadDecoderValues()
{
    loadScrollValue(Scroll::Attenuation, QStringLiteral("att"), {});
    loadScrollValue(Scroll::Buffer, QStringLiteral("buf"), QStringLiteral("1"));
    const auto mode =
        readListPosition(QStringLiteral("sdm"), QStringLiteral("0"), List::SilenceMode);
    if (mode)
        m_panel.setListIndex(List::SilenceMode, *mode);
    loadScrollValue(Scroll::SilenceLevel, QStringLiteral("sdl"), QStringLiteral("37"));
    loadScrollValue(Scroll::SilenceTime, QStringLiteral("sdt"), QStringLiteral("43"));
}

void ElementSelection::loadScrollValue(Scroll bar, const QString& key, const QString& defaultValue)
{
    const auto value =
        readInRange(key, defaultValue, m_panel.scrollMinimum(bar), m_panel.scrollMaximum(bar));
    if (value)
        m_panel.setScrollValue(bar, *value);
}

} // namespace nms
