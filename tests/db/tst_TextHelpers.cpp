#include <QtTest>

#include "TableColumns.h"
#include "TableRow.h"
#include "db/TextHelpers.h"

using namespace nms::text;
using namespace nms::test;

namespace {

// The helper a row names, on its input; numbers go in and come out as text.
// "ShortestNumber LOCALE" runs in that locale.
QString applied(const QString& helper, const QString& input)
{
    if (helper == QLatin1String("FormatMAC"))
        return FormatMAC(input);
    if (helper == QLatin1String("NormalizeMAC"))
        return NormalizeMAC(input);
    if (helper == QLatin1String("IsValidIP"))
        return IsValidIP(input) ? QStringLiteral("valid") : QStringLiteral("invalid");
    if (helper == QLatin1String("PadName16"))
        return PadName16(input);
    if (helper == QLatin1String("RoundToTenthHalfEven"))
        return QString::number(RoundToTenthHalfEven(input.toDouble()));
    QLocale::setDefault(QLocale(helper.section(QLatin1Char(' '), 1)));
    const QString shown = ShortestNumber(input.toDouble());
    QLocale::setDefault(QLocale::c());
    return shown;
}

} // namespace

class TextHelpersTest : public QObject {
    Q_OBJECT
private slots:
    // A letter whose upper case is not one Latin-1 character could be
    // neither stored nor sent, or would push others out of the 16: it stays
    // as typed. Only the decimal separator of a number follows the locale
    // ("%" in a row): the minus sign and the digits stay the plain ones the
    // captions are built from, with neither grouping nor exponent.
    void helpers_data()
    {
        TableColumns<QString, QString, QString>::add(); // helper, input, expected
        addRow("MAC of eleven", "FormatMAC", "001A2B3C4D5", "");
        addRow("MAC of thirteen", "FormatMAC", "001A2B3C4D5EF", "");
        addRow("MAC too short to normalize", "NormalizeMAC", "00:1A:2B", "");
        addRow("top address", "IsValidIP", "255.255.255.255", "valid");
        addRow("blanks around digits", "IsValidIP", " 10. 0 .0.1 ", "valid");
        addRow("three parts", "IsValidIP", "10.0.0", "invalid");
        addRow("five parts, one empty", "IsValidIP", "10.0..0.1", "invalid");
        addRow("blank part", "IsValidIP", "10. .0.1", "invalid");
        addRow("above 255", "IsValidIP", "10.0.0.256", "invalid");
        addRow("sign", "IsValidIP", "10.0.0.+1", "invalid");
        addRow("long name cut", "PadName16", "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP");
        addRow("micro, a macron and sharp s kept", "PadName16",
               QString::fromUtf8("\u00b5\u0101\u00dfx"),
               QString::fromUtf8("\u00b5\u0101\u00dfX            "));
        addRow("tie to even down", "RoundToTenthHalfEven", "0.25", "0.2");
        addRow("tie to even up", "RoundToTenthHalfEven", "0.35", "0.4");
        addRow("negative zero", "ShortestNumber C", "-0", "0");
        addRow("Swedish negative", "ShortestNumber sv_SE", "-18.4", "-18%4");
        addRow("Arabic digits", "ShortestNumber ar_EG", "19.6", "19%6");
        addRow("English, no grouping", "ShortestNumber en_US", "3276.7", "3276.7");
    }
    void helpers()
    {
        auto [helper, input, expected] = TableColumns<QString, QString, QString>::fetch();
        const QString locale = helper.section(QLatin1Char(' '), 1);
        QCOMPARE(applied(helper, input),
                 expected.replace(QLatin1Char('%'), QLocale(locale).decimalPoint()));
    }
};

QTEST_GUILESS_MAIN(TextHelpersTest)
#include "tst_TextHelpers.moc"
