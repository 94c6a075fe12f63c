// veltrino-nmsctl's reading of what an operator types: the first line of the
// input is an ELEMENT, every further line a KEY=VALUE of `set`. Against a
// fixed database, the element must resolve to an element it names (by MAC,
// address or name) or be refused with the usage status; the settings must be
// refused with the usage status or leave a panel whose every value its
// control can hold and whose texts fit their fields.
#include <functional>

#include <QFile>
#include <QTemporaryDir>

#include "FuzzCheck.h"
#include "cli/CliError.h"
#include "cli/ElementDatabase.h"
#include "cli/SettingChanges.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"

using namespace nms;
using namespace nms::cli;
using nms::fuzz::require;
using nms::fuzz::shown;
using Text = ElementPanelView::Text;
using List = ElementPanelView::List;
using Scroll = ElementPanelView::Scroll;

namespace {

QByteArray record(const char* section, const char* name, const char* ip, int role)
{
    QByteArray keys = QByteArray("[") + section + "]\nNAME=" + QByteArray(name).leftJustified(16) +
                      "\nIP=" + ip +
                      "\nMASK=255.255.255.0\nGW=198.18.0.254\nREMOTE=198.18.0.12\nINPUT=0\n"
                      "TYPE=1\nTX=0\nROLE=" +
                      QByteArray::number(role) + "\nSN=100001\n";
    return role == 2 ? keys + "SDL=50\n" : keys;
}

const ElementDatabase& database()
{
    static QTemporaryDir dir;
    static const ElementDatabase site = [] {
        const QString path = dir.filePath(QStringLiteral("nms.ini"));
        QFile file(path);
        require(file.open(QIODevice::WriteOnly), "cannot write the database");
        file.write(record("0200C612000B", "STUDIO", "198.18.0.11", 1) +
                   record("0200C612000C", "TX SITE", "198.18.0.12", 2) +
                   record("0200C612000D", "studio", "198.18.0.013", 1) +
                   record("0200C612000E", "", "", 2));
        file.close();
        return ElementDatabase::load(path, kExitUsage);
    }();
    return site;
}

bool refused(const std::function<void()>& action)
{
    try {
        action();
    } catch (const CliError& error) {
        require(error.status == kExitUsage, "a refusal without the usage status", error.message);
        require(!error.message.isEmpty(), "a refusal without a message");
        return true;
    }
    return false;
}

// Dotted text as the four numbers it names; nothing for any other text.
QList<uint> addressOf(const QString& text)
{
    QList<uint> numbers;
    if (!text::IsValidIP(text))
        return numbers;
    for (const QString& part : text::SplitIP(text))
        numbers.append(part.trimmed().toUInt());
    return numbers;
}

bool names(const ElementDatabase::Element& element, const QString& text)
{
    if (element.key.compare(text, Qt::CaseInsensitive) == 0 || text::FormatMAC(text) == element.key)
        return true;
    if (text::IsValidIP(text)) {
        const auto panel = database().select(element);
        return panel && addressOf(text) == addressOf(panel->text(Text::IP));
    }
    return element.name.compare(text.trimmed(), Qt::CaseInsensitive) == 0;
}

bool within(int value, int minimum, int maximum)
{
    return value >= minimum && value <= maximum;
}

void checkPanel(const HeadlessPanel& panel)
{
    for (const List list : {List::AudioInput, List::AudioType, List::AudioTX})
        require(within(panel.listIndex(list), 0, panel.listCount(list) - 1),
                "an audio choice its list cannot hold");
    if (panel.isDecoder()) {
        require(!panel.isSet(List::SilenceMode) ||
                    within(panel.listIndex(List::SilenceMode), 0, record::kSilenceModes - 1),
                "a silence mode its list cannot hold");
        for (const Scroll bar : {Scroll::Buffer, Scroll::SilenceLevel, Scroll::SilenceTime})
            require(!panel.isSet(bar) || within(panel.scrollValue(bar), panel.scrollMinimum(bar),
                                                panel.scrollMaximum(bar)),
                    "a decoder value its bar cannot hold");
    }
    require(panel.text(Text::Name).size() <= record::kNameLength, "a name longer than its field");
    for (const Text field : {Text::IP, Text::Mask, Text::Gateway, Text::Remote})
        require(panel.text(field).size() <= record::kAddressLength,
                "an address longer than its field", shown(panel.text(field)));
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    QStringList lines = QString::fromUtf8(input).split(QLatin1Char('\n'));
    const QString element = lines.takeFirst();

    const ElementDatabase::Element* found = nullptr;
    const bool elementRefused = refused([&] { found = &database().resolve(element, kExitUsage); });
    if (!elementRefused)
        require(names(*found, element), "resolved to an element the text does not name",
                shown(element) + QStringLiteral(" -> ") + found->key);
    if (elementRefused)
        found = &database().elements().at(1);

    const bool settingsRefused = refused([&] {
        const SettingChanges changes = SettingChanges::parse(lines, kExitUsage);
        HeadlessPanel panel = database().selectOrRefuse(*found, kExitUsage);
        changes.applyTo(panel, kExitUsage);
        checkPanel(panel);
        for (const auto& [key, value] : changes.settings()) {
            if (key == QLatin1String("name"))
                require(panel.text(Text::Name) == value, "a name not taken as given", shown(value));
        }
    });
    (void)settingsRefused;
}
