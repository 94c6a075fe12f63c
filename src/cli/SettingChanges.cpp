#include "cli/SettingChanges.h"

#include <QHash>

#include "cli/CliError.h"
#include "cli/HeadlessPanel.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"

namespace nms::cli {

namespace {

const QString kAudioCheck = QStringLiteral("Please verify that all audio fields are correct!");
const QString kBoundNotWritten = QStringLiteral(
    "the bound encoder is read from the record, never written: the window does not write it, "
    "and a decoder's record has no room for one more line");
using Text = ElementPanelView::Text;
using List = ElementPanelView::List;
using Scroll = ElementPanelView::Scroll;

[[noreturn]] void refuse(int status, const QString& key, const QString& value, const QString& why)
{
    throw CliError{status, QStringLiteral("%1=%2: %3").arg(key, value, why)};
}

int wholeNumberIn(int status, const QString& key, const QString& value, int minimum, int maximum,
                  const QString& why = QString())
{
    const std::optional<int> number = record::WholeNumber(value);
    if (!number || *number < minimum || *number > maximum)
        refuse(
            status, key, value,
            why.isEmpty()
                ? QStringLiteral("a whole number from %1 to %2 is needed").arg(minimum).arg(maximum)
                : why);
    return *number;
}

} // namespace

QStringList SettingChanges::keys()
{
    return {QStringLiteral("name"), QStringLiteral("ip"),     QStringLiteral("mask"),
            QStringLiteral("gw"),   QStringLiteral("remote"), QStringLiteral("input"),
            QStringLiteral("type"), QStringLiteral("tx"),     QStringLiteral("buf"),
            QStringLiteral("sdm"),  QStringLiteral("sdl"),    QStringLiteral("sdt")};
}

SettingChanges SettingChanges::parse(const QStringList& settings, int refusalStatus, bool allowNone)
{
    if (settings.isEmpty() && !allowNone)
        throw CliError{refusalStatus, QStringLiteral("no KEY=VALUE given")};
    SettingChanges changes;
    for (const QString& setting : settings) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        if (equals <= 0)
            throw CliError{refusalStatus, QStringLiteral("'%1' is not KEY=VALUE").arg(setting)};
        const QString key = setting.left(equals).toLower();
        if (key == QLatin1String("bound"))
            refuse(refusalStatus, key, setting.mid(equals + 1), kBoundNotWritten);
        if (!keys().contains(key))
            throw CliError{refusalStatus,
                           QStringLiteral("unknown key '%1' (keys: %2)")
                               .arg(setting.left(equals), keys().join(QStringLiteral(", ")))};
        if (changes.changes(key))
            throw CliError{refusalStatus, QStringLiteral("key '%1' given twice").arg(key)};
        changes.m_settings.append({key, setting.mid(equals + 1)});
    }
    return changes;
}

bool SettingChanges::changes(const QString& key) const
{
    return std::any_of(m_settings.begin(), m_settings.end(),
                       [&](const auto& setting) { return setting.first == key; });
}

void SettingChanges::applyTo(HeadlessPanel& panel, int refusalStatus) const
{
    const int status = refusalStatus;
    const QHash<QString, Text> texts{{QStringLiteral("name"), Text::Name},
                                     {QStringLiteral("ip"), Text::IP},
                                     {QStringLiteral("mask"), Text::Mask},
                                     {QStringLiteral("gw"), Text::Gateway},
                                     {QStringLiteral("remote"), Text::Remote}};
    const QHash<QString, List> lists{{QStringLiteral("input"), List::AudioInput},
                                     {QStringLiteral("type"), List::AudioType},
                                     {QStringLiteral("tx"), List::AudioTX},
                                     {QStringLiteral("sdm"), List::SilenceMode}};
    const QHash<QString, Scroll> bars{{QStringLiteral("buf"), Scroll::Buffer},
                                      {QStringLiteral("sdl"), Scroll::SilenceLevel},
                                      {QStringLiteral("sdt"), Scroll::SilenceTime}};
    for (const auto& [key, value] : m_settings) {
        const bool decoderOnly = key == QLatin1String("sdm") || bars.contains(key);
        if (decoderOnly && !panel.isDecoder())
            refuse(status, key, value, QStringLiteral("only a decoder has this setting"));
        // The window's fields take no more than this; the save command's
        // own checks judge the rest.
        const int length =
            key == QLatin1String("name") ? record::kNameLength : record::kAddressLength;
        if (texts.contains(key) && value.size() > length)
            refuse(status, key, value, QStringLiteral("at most %1 characters").arg(length));
        if (key == QLatin1String("name") && !text::IsLatin1(value))
            refuse(status, key, value, QStringLiteral("a name is Latin-1 text"));
        if (texts.contains(key)) {
            panel.setText(texts.value(key), value);
        } else if (lists.contains(key)) {
            const List list = lists.value(key);
            panel.setListIndex(list,
                               wholeNumberIn(status, key, value, 0, panel.listCount(list) - 1,
                                             list == List::SilenceMode ? QString() : kAudioCheck));
        } else if (bars.contains(key)) {
            const Scroll bar = bars.value(key);
            panel.setScrollValue(bar, wholeNumberIn(status, key, value, panel.scrollMinimum(bar),
                                                    panel.scrollMaximum(bar)));
        }
    }
}

} // namespace nms::cli
