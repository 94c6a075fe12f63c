// veltrino-nmsctl's reading of what an operator types: the first line of the
// input is an ELEMENT, every further line a KEY=VALUE of `set`. Against a
// fixed database, the element must resolve to an element it names (by MAC,
// address or name) or be refused with the usage status; the settings must be
// refused with the usage status or give a panel whose every value its control
// can hold, and a configuration packet that carries each change.
#include <functional>

#include "FuzzCheck.h"
#include "cli/CliError.h"
#include "cli/ElementDatabase.h"
#include "cli/PanelValues.h"
#include "cli/SettingChanges.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"
#include "protocol/ConfigurationPacket.h"

using namespace nms;
using namespace nms::cli;
using nms::fuzz::require;
using nms::fuzz::shown;

namespace {

using Keys = QList<std::pair<QString, QString>>;

Keys record(const char* name, const char* ip, int role)
{
    Keys keys{{QStringLiteral("name"), QString::fromLatin1(name).leftJustified(16)}};
    const QString rest = QStringLiteral("ip=%1 mask=255.255.255.0 gw=198.18.0.254 "
                                        "remote=198.18.0.12 input=0 type=1 tx=0 role=%2 sn=100001")
                             .arg(QString::fromLatin1(ip))
                             .arg(role);
    for (const QString& pair : rest.split(QLatin1Char(' ')))
        keys.append({pair.section(QLatin1Char('='), 0, 0), pair.section(QLatin1Char('='), 1)});
    if (role == 2)
        keys.append({QStringLiteral("sdl"), QStringLiteral("50")});
    return keys;
}

const ElementDatabase& database()
{
    static const ElementDatabase site(
        {StoredElement(QStringLiteral("0200C612000B"), record("STUDIO", "198.18.0.11", 1)),
         StoredElement(QStringLiteral("0200C612000C"), record("TX SITE", "198.18.0.12", 2)),
         StoredElement(QStringLiteral("0200C612000D"), record("studio", "198.18.0.013", 1)),
         StoredElement(QStringLiteral("0200C612000E"), record("", "", 2))});
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

bool names(const StoredElement& element, const QString& text)
{
    const QString section = ElementDatabase::sectionFromMac(text);
    if (!section.isEmpty() && element.section() == section)
        return true;
    if (text::IsValidIP(text))
        return addressOf(text) == addressOf(element.value(QStringLiteral("ip")));
    return !text.trimmed().isEmpty() &&
           element.name().compare(text.trimmed(), Qt::CaseInsensitive) == 0;
}

void checkPacket(const PanelValues& panel, const SettingChanges& changes)
{
    if (panel.firstFailedCheck(QString()) !=
        QStringLiteral("The local database in your computer, is corrupted!"))
        return; // the window's checks refuse it before anything is sent
    const auto packet = ConfigurationPacket::build(panel.packetFields());
    require(packet.has_value(), "checked addresses that build no packet");
    require(packet->size() == (panel.isDecoder() ? 40 : 35), "a packet of the wrong length");
    // The offset of each setting that is sent as one byte.
    const std::pair<const char*, int> byteSettings[] = {
        {"input", 16}, {"buf", 36}, {"sdl", 38}, {"sdt", 39}};
    for (const auto& [key, value] : changes.settings()) {
        for (const auto& [name, offset] : byteSettings)
            if (key == QLatin1String(name))
                require(quint8(packet->at(offset)) == value.trimmed().toInt(),
                        "a setting not sent as given", key + QLatin1Char('=') + shown(value));
        if (key == QLatin1String("name"))
            require(packet->mid(19, 16) == ConfigurationPacket::encodeName(value),
                    "name not sent as given", shown(value));
    }
}

} // namespace

NMS_FUZZ_TARGET(input)
{
    QStringList lines = QString::fromUtf8(input).split(QLatin1Char('\n'));
    const QString element = lines.takeFirst();

    const StoredElement* found = nullptr;
    const bool elementRefused = refused([&] { found = &database().resolve(element, kExitUsage); });
    if (!elementRefused)
        require(names(*found, element), "resolved to an element the text does not name",
                shown(element) + QStringLiteral(" -> ") + found->section());
    if (elementRefused || found->value(QStringLiteral("ip")).isEmpty())
        found = &database().elements().at(1);

    SettingChanges changes;
    PanelValues panel;
    const bool settingsRefused = refused([&] {
        changes = SettingChanges::parse(lines, kExitUsage);
        panel = PanelValues::fromRecord(*found, database().encoderCount(), kExitUsage);
        changes.applyTo(panel, database().encoderCount(), kExitUsage);
    });
    if (settingsRefused)
        return;
    require(panel.input >= 0 && panel.input <= 1 && panel.type >= 0 && panel.type <= 1 &&
                panel.tx >= 0 && panel.tx <= 1,
            "an audio choice its list cannot hold");
    require(panel.bound >= 0 && panel.bound <= database().encoderCount(), "a bound out of range");
    require(panel.buf >= record::kBufferMin && panel.buf <= record::kBufferMax && panel.sdm >= 0 &&
                panel.sdm <= 2 && panel.sdl >= record::kSilenceLevelMin &&
                panel.sdl <= record::kSilenceLevelMax && panel.sdt >= record::kSilenceTimeMin &&
                panel.sdt <= record::kSilenceTimeMax,
            "a decoder value its bar cannot hold");
    require(!panel.name.isEmpty(), "an empty name taken");
    checkPacket(panel, changes);
}
