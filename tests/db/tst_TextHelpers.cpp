#include <QtTest>

#include "TableRow.h"
#include "db/TextHelpers.h"

using namespace nms::text;
using nms::test::addRow;

class TextHelpersTest : public QObject {
    Q_OBJECT
private slots:
    // The MAC forms: FormatMAC from twelve digits, NormalizeMAC from the
    // colon form; anything else gives nothing.
    void macForms_data()
    {
        QTest::addColumn<bool>("format"); // else normalize
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        addRow("format twelve digits", true, "001a2b3c4d5e", "00:1A:2B:3C:4D:5E");
        addRow("format: not hex is not tested", true, "zzzzzzzzzzzz", "ZZ:ZZ:ZZ:ZZ:ZZ:ZZ");
        addRow("format eleven", true, "001A2B3C4D5", "");
        addRow("format thirteen", true, "001A2B3C4D5EF", "");
        addRow("normalize colon form", false, "00:1a:2b:3c:4d:5e", "001A2B3C4D5E");
        addRow("normalize dash form keeps dashes", false, "00-1a-2b-3c-4d-5e", "00-1A-2B-3C-4D-5E");
        addRow("normalize short", false, "00:1A:2B", "");
        addRow("normalize placeholder", false, "-", "");
    }
    void macForms()
    {
        QFETCH(bool, format);
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(format ? FormatMAC(input) : NormalizeMAC(input), expected);
    }

    void isValidIp_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("valid");
        addRow("zeros", "0.0.0.0", true);
        addRow("top", "255.255.255.255", true);
        addRow("blanks around digits", " 10. 0 .0.1 ", true);
        addRow("three parts", "10.0.0", false);
        addRow("five parts", "10.0.0.1.2", false);
        addRow("empty part", "10..0.1", false);
        addRow("above 255", "10.0.0.256", false);
        addRow("negative", "10.0.0.-1", false);
        addRow("letters", "10.0.0.a", false);
        addRow("sign", "10.0.0.+1", false);
        addRow("empty", "", false);
    }
    void isValidIp()
    {
        QFETCH(QString, input);
        QFETCH(bool, valid);
        QCOMPARE(IsValidIP(input), valid);
        // Split at every dot, empty parts and blanks kept.
        QCOMPARE(SplitIP(input).join(QLatin1Char('.')), input);
        QCOMPARE(SplitIP(input).size(), input.count(QLatin1Char('.')) + 1);
    }

    // A letter whose upper case is not one Latin-1 character could be
    // neither stored nor sent, or would push others out of the 16: it stays
    // as typed.
    void padName16_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        addRow("short", "studio", "STUDIO          ");
        addRow("long", "abcdefghijklmnopq", "ABCDEFGHIJKLMNOP");
        addRow("empty", "", "                ");
        addRow("micro sign kept", QString::fromUtf8("\u00b5link"),
               QString::fromUtf8("\u00b5LINK           "));
        addRow("sharp s kept, nothing cut", QString::fromUtf8("gro\u00dfe stra\u00dfe 12a"),
               QString::fromUtf8("GRO\u00dfE STRA\u00dfE 12A"));
        addRow("letter outside Latin-1 kept as typed", QString::fromUtf8("\u0101b"),
               QString::fromUtf8("\u0101B              "));
    }
    void padName16()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(PadName16(input), expected);
    }

    void roundHalfEven_data()
    {
        QTest::addColumn<double>("input");
        QTest::addColumn<double>("expected");
        addRow("down", 19.5694, 19.6);
        addRow("tie to even down", 0.25, 0.2);
        addRow("tie to even up", 0.35, 0.4);
        addRow("negative", -18.4321, -18.4);
        addRow("whole", -6.0, -6.0);
    }
    void roundHalfEven()
    {
        QFETCH(double, input);
        QFETCH(double, expected);
        QCOMPARE(RoundToTenthHalfEven(input), expected);
    }

    // Only the decimal separator follows the operator's locale: the minus
    // sign and the digits stay the plain ones the captions are built from,
    // and there is neither grouping nor exponent. "%" stands for the
    // locale's decimal separator. Plain C forms: the level captions' table.
    void shortestNumber_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("input");
        QTest::addColumn<QString>("expected");
        addRow("negative zero", "C", -0.0, "0");
        addRow("large whole, no exponent", "C", 100000.0, "100000");
        addRow("small, no exponent", "C", 0.0001, "0.0001");
        addRow("German negative", "de_DE", -18.4, "-18,4");
        addRow("Swedish negative", "sv_SE", -18.4, "-18,4");
        addRow("Arabic digits", "ar_EG", 19.6, "19%6");
        addRow("Arabic negative", "ar_EG", -6.0, "-6");
        addRow("English, no grouping", "en_US", 3276.7, "3276.7");
    }
    void shortestNumber()
    {
        QFETCH(QString, locale);
        QFETCH(double, input);
        QFETCH(QString, expected);
        QLocale::setDefault(QLocale(locale));
        const QString shown = ShortestNumber(input);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(shown, expected.replace(QLatin1Char('%'), QLocale(locale).decimalPoint()));
    }
};

QTEST_GUILESS_MAIN(TextHelpersTest)
#include "tst_TextHelpers.moc"
