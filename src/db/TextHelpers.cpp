#include "db/TextHelpers.h"

#include <algorithm>
#include <cmath>

#include <QLocale>

namespace nms::text {

QString FormatMAC(const QString& sectionName)
{
    if (sectionName.size() != 12)
        return QString();
    QStringList pairs;
    for (int i = 0; i < 12; i += 2)
        pairs << sectionName.mid(i, 2).toUpper();
    return pairs.join(QLatin1Char(':'));
}

QString NormalizeMAC(const QString& colonForm)
{
    if (colonForm.size() != 17)
        return QString();
    QString result = colonForm;
    result.remove(QLatin1Char(':'));
    return result.toUpper();
}

QStringList SplitIP(const QString& text)
{
    return text.split(QLatin1Char('.'), Qt::KeepEmptyParts);
}

namespace {

bool isOctet(const QString& part)
{
    const QString trimmed = part.trimmed();
    if (trimmed.isEmpty())
        return false;
    for (QChar c : trimmed) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    bool ok = false;
    const uint value = trimmed.toUInt(&ok);
    return ok && value <= 255;
}

} // namespace

bool IsValidIP(const QString& text)
{
    const QStringList parts = SplitIP(text);
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (!isOctet(part))
            return false;
    }
    return true;
}

std::optional<quint32> ReadIP(const QString& text)
{
    if (!IsValidIP(text))
        return std::nullopt;
    quint32 address = 0;
    for (const QString& part : SplitIP(text))
        address = (address << 8) | part.trimmed().toUInt();
    return address;
}

QString CanonicalIP(const QString& text)
{
    const std::optional<quint32> address = ReadIP(text);
    if (!address)
        return QString();
    return QStringLiteral("%1.%2.%3.%4")
        .arg(*address >> 24)
        .arg((*address >> 16) & 0xFF)
        .arg((*address >> 8) & 0xFF)
        .arg(*address & 0xFF);
}

bool IsLatin1(const QString& text)
{
    return std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
}

QString UpperCaseLatin1(const QString& text)
{
    QString result = text;
    for (QChar& c : result) {
        // Surrogate halves and characters whose upper case is two letters
        // ("\u00df") or lies outside Latin-1 ("\u00ff", "\u00b5") stay as
        // they are, so the text keeps its length and every character still
        // fits the byte it is stored and sent as.
        if (c.isSurrogate())
            continue;
        const QString upper = QString(c).toUpper();
        if (upper.size() == 1 && upper.front().unicode() <= 0xFF)
            c = upper.front();
    }
    return result;
}

QString PadName16(const QString& name)
{
    return UpperCaseLatin1(name.left(16).leftJustified(16, QLatin1Char(' ')));
}

double Log10(double x)
{
    return std::log(x) / std::log(10.0);
}

QString ShortestNumber(double value)
{
    if (value == 0.0)
        value = 0.0; // no "-0"
    // Only the decimal separator is the operator's: a locale's own minus
    // sign (U+2212) or digits (Arabic-Indic) would change captions that are
    // plain ASCII everywhere else.
    QString plain = QLocale::c().toString(value, 'f', QLocale::FloatingPointShortest);
    plain.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return plain;
}

double RoundToTenthHalfEven(double value)
{
    // Work on the decimal text of value*10 so that 0.25-style ties are judged
    // on the number the operator would see, not on binary noise.
    const double scaled = value * 10.0;
    const double lower = std::floor(scaled);
    const double fraction = scaled - lower;
    double rounded;
    if (std::fabs(fraction - 0.5) < 1e-9)
        rounded = std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
    else
        rounded = std::round(scaled);
    return rounded / 10.0;
}

} // namespace nms::text
