#include "cli/HeadlessPanel.h"

#include "db/ElementRole.h"
#include "db/RecordValues.h"

namespace nms::cli {

namespace {

// What the panel's captions show with no element selected.
const QString kNoSelectionCaption = QStringLiteral("-");
// The bars' ranges, in the order of Scroll.
constexpr std::array<std::pair<int, int>, 4> kScrollRanges{
    {{record::kAttenuationMute, record::kAttenuationMax},
     {record::kBufferMin, record::kBufferMax},
     {record::kSilenceLevelMin, record::kSilenceLevelMax},
     {record::kSilenceTimeMin, record::kSilenceTimeMax}}};

QString number(bool set, int value)
{
    return set ? QString::number(value) : QString();
}

} // namespace

HeadlessPanel::HeadlessPanel(int encoderCount)
    : m_encoderCount(encoderCount)
{
    clear();
}

bool HeadlessPanel::isDecoder() const
{
    return caption(Caption::ElementType) == RoleCaption(kDecoderRole);
}

QStringList HeadlessPanel::shownNames()
{
    return {QStringLiteral("mac"),    QStringLiteral("name"),   QStringLiteral("role"),
            QStringLiteral("ip"),     QStringLiteral("mask"),   QStringLiteral("gw"),
            QStringLiteral("remote"), QStringLiteral("serial"), QStringLiteral("version"),
            QStringLiteral("input"),  QStringLiteral("type"),   QStringLiteral("tx"),
            QStringLiteral("bound"),  QStringLiteral("sfn"),    QStringLiteral("buf"),
            QStringLiteral("att"),    QStringLiteral("sdm"),    QStringLiteral("sdl"),
            QStringLiteral("sdt")};
}

QList<std::pair<QString, QString>> HeadlessPanel::shownFields() const
{
    // The decoder's controls show only on a decoder's panel.
    const bool decoder = isDecoder();
    const QStringList values{
        caption(Caption::Mac),
        text(Text::Name),
        caption(Caption::ElementType),
        text(Text::IP),
        text(Text::Mask),
        text(Text::Gateway),
        text(Text::Remote),
        caption(Caption::SerialNumber),
        caption(Caption::Version),
        number(isSet(List::AudioInput), listIndex(List::AudioInput)),
        number(isSet(List::AudioType), listIndex(List::AudioType)),
        number(isSet(List::AudioTX), listIndex(List::AudioTX)),
        number(isSet(List::Encoders), listIndex(List::Encoders)),
        QString::number(sfnOption()),
        number(decoder && isSet(Scroll::Buffer), scrollValue(Scroll::Buffer)),
        number(decoder && isSet(Scroll::Attenuation), scrollValue(Scroll::Attenuation)),
        number(decoder && isSet(List::SilenceMode), listIndex(List::SilenceMode)),
        number(decoder && isSet(Scroll::SilenceLevel), scrollValue(Scroll::SilenceLevel)),
        number(decoder && isSet(Scroll::SilenceTime), scrollValue(Scroll::SilenceTime))};
    QList<std::pair<QString, QString>> fields;
    const QStringList names = shownNames();
    for (qsizetype i = 0; i < names.size(); ++i)
        fields.append({names.at(i), values.at(i)});
    return fields;
}

void HeadlessPanel::setText(Text field, const QString& value)
{
    m_texts.at(std::size_t(field)) = value;
}

int HeadlessPanel::listCount(List list) const
{
    switch (list) {
    case List::Encoders: return m_encoderCount + 1; // "<None>" first
    case List::SilenceMode: return record::kSilenceModes;
    default: return record::kAudioChoices;
    }
}

void HeadlessPanel::setListIndex(List list, int index)
{
    m_lists.at(std::size_t(list)) = index;
    m_listSet.at(std::size_t(list)) = index >= 0;
}

int HeadlessPanel::scrollMinimum(Scroll bar) const
{
    return kScrollRanges.at(std::size_t(bar)).first;
}

int HeadlessPanel::scrollMaximum(Scroll bar) const
{
    return kScrollRanges.at(std::size_t(bar)).second;
}

void HeadlessPanel::setScrollValue(Scroll bar, int value)
{
    m_scrolls.at(std::size_t(bar)) = value;
    m_scrollSet.at(std::size_t(bar)) = true;
}

void HeadlessPanel::setCaption(Caption field, const QString& value)
{
    m_captions.at(std::size_t(field)) = value;
}

void HeadlessPanel::clear()
{
    m_texts.fill(QString());
    m_lists.fill(-1);
    m_listSet.fill(false);
    m_scrolls.fill(0);
    m_scrollSet.fill(false);
    m_captions.fill(kNoSelectionCaption);
    m_sfn = 0;
}

} // namespace nms::cli
