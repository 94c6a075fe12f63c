#include "cli/PanelValues.h"

#include <QFileInfo>

#include "cli/CliError.h"
#include "cli/StoredElement.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"

namespace nms::cli {

namespace {

// More key lines than any record the program writes.
constexpr int kCorruptedKeyCount = 18;
constexpr int kLastAudioChoice = 1;
constexpr int kLastSilenceMode = 2;
// What the panel's captions show with no element selected.
const QString kNoSelectionCaption = QStringLiteral("-");

QString valueOr(const StoredElement& element, const QString& key, const QString& fallback)
{
    return element.has(key) ? element.value(key) : fallback;
}

std::optional<int> inRange(const QString& stored, int minimum, int maximum)
{
    const std::optional<int> value = record::WholeNumber(stored);
    if (!value || *value < minimum || *value > maximum)
        return std::nullopt;
    return value;
}

[[noreturn]] void refuseCorrupted(int status)
{
    throw CliError{status, QStringLiteral("The data stored in your computer about this element, "
                                          "is corrupted (1). Cannot load this element info.")};
}

} // namespace

PanelValues PanelValues::fromRecord(const StoredElement& element, int encoderCount,
                                    int refusalStatus)
{
    if (element.keys().size() >= kCorruptedKeyCount)
        refuseCorrupted(refusalStatus);
    const auto input = inRange(element.value(QStringLiteral("input")), 0, kLastAudioChoice);
    const auto type = inRange(element.value(QStringLiteral("type")), 0, kLastAudioChoice);
    const auto tx = inRange(element.value(QStringLiteral("tx")), 0, kLastAudioChoice);
    const auto bound =
        inRange(valueOr(element, QStringLiteral("bound"), QStringLiteral("0")), 0, encoderCount);
    const auto role = record::WholeNumber(element.value(QStringLiteral("role")));
    if (!input || !type || !tx || !bound || !role)
        refuseCorrupted(refusalStatus);

    PanelValues panel;
    panel.section = element.section();
    panel.name = element.value(QStringLiteral("name"));
    panel.ip = element.value(QStringLiteral("ip"));
    panel.mask = element.value(QStringLiteral("mask"));
    panel.gw = element.value(QStringLiteral("gw"));
    panel.remote = element.value(QStringLiteral("remote"));
    panel.input = *input;
    panel.type = *type;
    panel.tx = *tx;
    panel.bound = *bound;
    panel.role = *role;
    panel.sfn = record::SfnOption(valueOr(element, QStringLiteral("sfn"), QStringLiteral("0")));
    auto decoderValue = [&](const char* key, const char* fallback, int minimum, int maximum) {
        const QString stored =
            valueOr(element, QString::fromLatin1(key), QString::fromLatin1(fallback));
        return inRange(stored, minimum, maximum).value_or(QString::fromLatin1(fallback).toInt());
    };
    panel.buf = decoderValue("buf", "1", record::kBufferMin, record::kBufferMax);
    panel.att = decoderValue("att", "255", record::kAttenuationMute, record::kAttenuationMax);
    panel.sdm = decoderValue("sdm", "0", 0, kLastSilenceMode);
    panel.sdl = decoderValue("sdl", "37", record::kSilenceLevelMin, record::kSilenceLevelMax);
    panel.sdt = decoderValue("sdt", "43", record::kSilenceTimeMin, record::kSilenceTimeMax);
    panel.m_encoderCount = encoderCount;
    panel.setCaption(Caption::ElementType, element.roleCaption());
    panel.setCaption(Caption::Mac, element.mac());
    panel.setCaption(Caption::SerialNumber, element.value(QStringLiteral("sn")));
    panel.setCaption(Caption::Version,
                     record::VersionCaption(element.value(QStringLiteral("ver"))));
    return panel;
}

std::optional<QString> PanelValues::firstFailedCheck(const QString& databasePath) const
{
    if (input < 0 || type < 0 || tx < 0)
        return QStringLiteral("Please verify that all audio fields are correct!");
    if (name.isEmpty())
        return QStringLiteral("Please verify that the name field is correct!");
    if (!text::IsValidIP(ip) || !text::IsValidIP(mask) || !text::IsValidIP(gw) ||
        !text::IsValidIP(remote))
        return QStringLiteral("Please verify that all IP fields are correct!");
    if (!QFileInfo(databasePath).isFile())
        return QStringLiteral("The local database in your computer, is corrupted!");
    return std::nullopt;
}

ConfigurationPacket::Fields PanelValues::packetFields() const
{
    ConfigurationPacket::Fields fields;
    fields.elementIP = ip;
    fields.elementMask = mask;
    fields.elementGW = gw;
    fields.remoteIP = remote;
    fields.audioInput = input;
    fields.audioType = type;
    fields.audioTX = tx;
    fields.elementName = name;
    fields.decoder = isDecoder();
    if (fields.decoder) {
        fields.sfnEnabled = sfn;
        fields.buffer = buf;
        fields.silDetMode = sdm;
        fields.silDetLevel = sdl;
        fields.silDetTime = sdt;
    }
    return fields;
}

template <typename Self> auto& PanelValues::textField(Self& self, Text field)
{
    switch (field) {
    case Text::Name: return self.name;
    case Text::IP: return self.ip;
    case Text::Mask: return self.mask;
    case Text::Gateway: return self.gw;
    case Text::Remote: return self.remote;
    }
    Q_UNREACHABLE();
}

template <typename Self> auto& PanelValues::listField(Self& self, List list)
{
    switch (list) {
    case List::AudioInput: return self.input;
    case List::AudioType: return self.type;
    case List::AudioTX: return self.tx;
    case List::Encoders: return self.bound;
    case List::SilenceMode: return self.sdm;
    }
    Q_UNREACHABLE();
}

template <typename Self> auto& PanelValues::scrollField(Self& self, Scroll bar)
{
    switch (bar) {
    case Scroll::Attenuation: return self.att;
    case Scroll::Buffer: return self.buf;
    case Scroll::SilenceLevel: return self.sdl;
    case Scroll::SilenceTime: return self.sdt;
    }
    Q_UNREACHABLE();
}

QString PanelValues::text(Text field) const
{
    return textField(*this, field);
}

void PanelValues::setText(Text field, const QString& value)
{
    textField(*this, field) = value;
}

int PanelValues::listIndex(List list) const
{
    return listField(*this, list);
}

int PanelValues::listCount(List list) const
{
    switch (list) {
    case List::Encoders: return m_encoderCount + 1; // "none" first
    case List::SilenceMode: return kLastSilenceMode + 1;
    default: return kLastAudioChoice + 1;
    }
}

void PanelValues::setListIndex(List list, int index)
{
    listField(*this, list) = index;
}

int PanelValues::scrollValue(Scroll bar) const
{
    return scrollField(*this, bar);
}

int PanelValues::scrollMinimum(Scroll bar) const
{
    switch (bar) {
    case Scroll::Attenuation: return record::kAttenuationMute;
    case Scroll::Buffer: return record::kBufferMin;
    case Scroll::SilenceLevel: return record::kSilenceLevelMin;
    case Scroll::SilenceTime: return record::kSilenceTimeMin;
    }
    Q_UNREACHABLE();
}

int PanelValues::scrollMaximum(Scroll bar) const
{
    switch (bar) {
    case Scroll::Attenuation: return record::kAttenuationMax;
    case Scroll::Buffer: return record::kBufferMax;
    case Scroll::SilenceLevel: return record::kSilenceLevelMax;
    case Scroll::SilenceTime: return record::kSilenceTimeMax;
    }
    Q_UNREACHABLE();
}

void PanelValues::setScrollValue(Scroll bar, int value)
{
    scrollField(*this, bar) = value;
}

QString PanelValues::caption(Caption field) const
{
    return m_captions.at(static_cast<std::size_t>(field));
}

void PanelValues::setCaption(Caption field, const QString& value)
{
    m_captions.at(static_cast<std::size_t>(field)) = value;
}

void PanelValues::clear()
{
    *this = PanelValues();
    m_captions.fill(kNoSelectionCaption);
}

} // namespace nms::cli
