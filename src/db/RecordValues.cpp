#include "db/RecordValues.h"

#include <cmath>
#include <limits>

#include <QLocale>

namespace nms::record {

namespace {

bool isSignedDigits(const QString& text)
{
    const qsizetype start =
        (text.startsWith(QLatin1Char('-')) || text.startsWith(QLatin1Char('+'))) ? 1 : 0;
    if (text.size() <= start)
        return false;
    for (qsizetype i = start; i < text.size(); ++i) {
        if (text[i] < QLatin1Char('0') || text[i] > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

std::optional<int> WholeNumber(const QString& stored)
{
    const QString text = stored.trimmed();
    if (!isSignedDigits(text))
        return std::nullopt;
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < std::numeric_limits<qint16>::min() ||
        value > std::numeric_limits<qint16>::max())
        return std::nullopt;
    return value;
}

int SfnOption(const QString& stored)
{
    const std::optional<int> value = WholeNumber(stored);
    return value == 1 || value == 2 ? *value : 0;
}

QString VersionCaption(const QString& stored)
{
    QString pointed = stored;
    pointed.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = QLocale::c().toDouble(pointed.trimmed(), &ok);
    if (!ok || !std::isfinite(value))
        return pointed;
    return QString::number(value, 'f', 2);
}

} // namespace nms::record
