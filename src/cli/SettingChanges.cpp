#include "cli/SettingChanges.h"

#include "cli/CliError.h"
#include "cli/PanelValues.h"
#include "db/RecordValues.h"
#include "db/TextHelpers.h"

namespace nms::cli {

namespace {

const QString kAddressCheck = QStringLiteral("Please verify that all IP fields are correct!");
const QString kAudioCheck = QStringLiteral("Please verify that all audio fields are correct!");
const QString kNameCheck = QStringLiteral("Please verify that the name field is correct!");
constexpr int kLastSilenceMode = 2;

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

bool isLatin1(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

} // namespace

QStringList SettingChanges::keys()
{
    return {QStringLiteral("name"), QStringLiteral("ip"),     QStringLiteral("mask"),
            QStringLiteral("gw"),   QStringLiteral("remote"), QStringLiteral("input"),
            QStringLiteral("type"), QStringLiteral("tx"),     QStringLiteral("bound"),
            QStringLiteral("buf"),  QStringLiteral("sdm"),    QStringLiteral("sdl"),
            QStringLiteral("sdt")};
}

SettingChanges SettingChanges::parse(const QStringList& settings, int refusalStatus)
{
    if (settings.isEmpty())
        throw CliError{refusalStatus, QStringLiteral("no KEY=VALUE given")};
    SettingChanges changes;
    for (const QString& setting : settings) {
        const qsizetype equals = setting.indexOf(QLatin1Char('='));
        if (equals <= 0)
            throw CliError{refusalStatus, QStringLiteral("'%1' is not KEY=VALUE").arg(setting)};
        const QString key = setting.left(equals).toLower();
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

void SettingChanges::applyTo(PanelValues& panel, int encoderCount, int refusalStatus) const
{
    const int status = refusalStatus;
    for (const auto& [key, value] : m_settings) {
        const bool decoderOnly = key == QLatin1String("buf") || key == QLatin1String("sdm") ||
                                 key == QLatin1String("sdl") || key == QLatin1String("sdt");
        if (decoderOnly && !panel.isDecoder())
            refuse(status, key, value, QStringLiteral("only a decoder has this setting"));
        if (key == QLatin1String("name")) {
            if (value.isEmpty())
                refuse(status, key, value, kNameCheck);
            if (!isLatin1(value))
                refuse(status, key, value, QStringLiteral("a name is Latin-1 text"));
            panel.name = value;
        } else if (key == QLatin1String("ip") || key == QLatin1String("mask") ||
                   key == QLatin1String("gw") || key == QLatin1String("remote")) {
            if (!text::IsValidIP(value))
                refuse(status, key, value, kAddressCheck);
            QString& field = key == QLatin1String("ip")     ? panel.ip
                             : key == QLatin1String("mask") ? panel.mask
                             : key == QLatin1String("gw")   ? panel.gw
                                                            : panel.remote;
            field = value;
        } else if (key == QLatin1String("input")) {
            panel.input = wholeNumberIn(status, key, value, 0, 1, kAudioCheck);
        } else if (key == QLatin1String("type")) {
            panel.type = wholeNumberIn(status, key, value, 0, 1, kAudioCheck);
        } else if (key == QLatin1String("tx")) {
            panel.tx = wholeNumberIn(status, key, value, 0, 1, kAudioCheck);
        } else if (key == QLatin1String("bound")) {
            panel.bound = wholeNumberIn(status, key, value, 0, encoderCount);
        } else if (key == QLatin1String("buf")) {
            panel.buf = wholeNumberIn(status, key, value, record::kBufferMin, record::kBufferMax);
        } else if (key == QLatin1String("sdm")) {
            panel.sdm = wholeNumberIn(status, key, value, 0, kLastSilenceMode);
        } else if (key == QLatin1String("sdl")) {
            panel.sdl = wholeNumberIn(status, key, value, record::kSilenceLevelMin,
                                      record::kSilenceLevelMax);
        } else if (key == QLatin1String("sdt")) {
            panel.sdt =
                wholeNumberIn(status, key, value, record::kSilenceTimeMin, record::kSilenceTimeMax);
        }
    }
}

} // namespace nms::cli
