// veltrino-nmsctl's reading of what an operator types: the first line of the
// input is an ELEMENT, every further line a KEY=VALUE of `set`. Against a
// fixed database, the element must resolve to an element it names (by MAC,
// address or name) or be refused with the usage status; the settings must be
// refused with the usage status or leave a panel whose every value its
// control can hold and whose texts fit their fields.
#include <algorithm>
#include <functional>

#include "FuzzCheck.h"
#include "cli/CliError.h"
#include "cli/ElementDatabase.h"
#include "cli/SettingChanges.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"

using namespace nms;
using namespace nms::fuzz;
using namespace nms::cli;
using Text = ElementPanelView::Text;
using List = ElementPanelView::List;
using Scroll = ElementPanelView::Scroll;

namespace {

// The site in nmsctl.ini beside this file: two elements that share a name but
// for its case, one whose address is written with a leading zero, one with
// neither name nor address.
const ElementDatabase& database()
{
    static const ElementDatabase site =
        ElementDatabase::load(QStringLiteral(NMS_FUZZ_DIR "/nmsctl.ini"), kExitUsage);
    return site;
}

bool refused(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CliError& error) {
        require(error.status == kExitUsage && !error.message.isEmpty(),
                "a refusal without the usage status or a message", error.message);
        return true;
    }
    return false;
}

bool names(const ElementDatabase::Element& element, const QString& text)
{
    const auto panel = database().select(element);
    return element.key.compare(text, Qt::CaseInsensitive) == 0 ||
           text::FormatMAC(text) == element.key ||
           (text::IsValidIP(text)
                ? panel && text::ReadIP(text) == text::ReadIP(panel->text(Text::IP))
                : element.name.compare(text.trimmed(), Qt::CaseInsensitive) == 0);
}

// Every value one its control can hold, every text one that fits its field.
void checkPanel(const HeadlessPanel& panel)
{
    for (const List list : {List::AudioInput, List::AudioType, List::AudioTX, List::SilenceMode})
        require((list == List::SilenceMode && !(panel.isDecoder() && panel.isSet(list))) ||
                    uint(panel.listIndex(list)) < uint(panel.listCount(list)),
                "a choice its list cannot hold");
    for (const Scroll bar : {Scroll::Buffer, Scroll::SilenceLevel, Scroll::SilenceTime}) {
        const int value = panel.scrollValue(bar);
        require(!panel.isDecoder() || !panel.isSet(bar) ||
                    value == std::clamp(value, panel.scrollMinimum(bar), panel.scrollMaximum(bar)),
                "a decoder value its bar cannot hold");
    }
    for (const Text field : {Text::Name, Text::IP, Text::Mask, Text::Gateway, Text::Remote})
        require(panel.text(field).size() <=
                    (field == Text::Name ? record::kNameLength : record::kAddressLength),
                "a text longer than its field", panel.text(field));
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    QStringList lines = QString::fromUtf8(input).split(u'\n');
    const QString element = lines.takeFirst();

    const ElementDatabase::Element* found = &database().elements().at(1);
    if (!refused([&] { found = &database().resolve(element, kExitUsage); }))
        require(names(*found, element), "resolved to an element the text does not name",
                element + QStringLiteral(" -> ") + found->key);

    refused([&] {
        const SettingChanges changes = SettingChanges::parse(lines, kExitUsage);
        HeadlessPanel panel = database().selectOrRefuse(*found, kExitUsage);
        changes.applyTo(panel, kExitUsage);
        checkPanel(panel);
        for (const auto& [key, value] : changes.settings())
            require(key != QLatin1String("name") || panel.text(Text::Name) == value,
                    "a name not taken as given", value);
    });
}
