#include <QtTest>

#include "db/TextHelpers.h"

using namespace nms::text;

class TextHelpersTest : public QObject {
    Q_OBJECT
private slots:
    void formatMac_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("twelve digits") << "001a2b3c4d5e"
                                       << "00:1A:2B:3C:4D:5E";
        QTest::newRow("not hex is not tested") << "zzzzzzzzzzzz"
                                               << "ZZ:ZZ:ZZ:ZZ:ZZ:ZZ";
        QTest::newRow("eleven") << "001A2B3C4D5"
                                << "";
        QTest::newRow("thirteen") << "001A2B3C4D5EF"
                                  << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void formatMac()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(FormatMAC(input), expected);
    }

    void normalizeMac_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("colon form") << "00:1a:2b:3c:4d:5e"
                                    << "001A2B3C4D5E";
        QTest::newRow("dash form keeps dashes") << "00-1a-2b-3c-4d-5e"
                                                << "00-1A-2B-3C-4D-5E";
        QTest::newRow("short") << "00:1A:2B"
                               << "";
        QTest::newRow("placeholder") << "-"
                                     << "";
    }
    void normalizeMac()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(NormalizeMAC(input), expected);
    }

    void isValidIp_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<bool>("valid");
        QTest::newRow("plain") << "198.18.0.1" << true;
        QTest::newRow("zeros") << "0.0.0.0" << true;
        QTest::newRow("top") << "255.255.255.255" << true;
        QTest::newRow("blanks around digits") << " 10. 0 .0.1 " << true;
        QTest::newRow("three parts") << "10.0.0" << false;
        QTest::newRow("five parts") << "10.0.0.1.2" << false;
        QTest::newRow("empty part") << "10..0.1" << false;
        QTest::newRow("above 255") << "10.0.0.256" << false;
        QTest::newRow("negative") << "10.0.0.-1" << false;
        QTest::newRow("letters") << "10.0.0.a" << false;
        QTest::newRow("sign") << "10.0.0.+1" << false;
        QTest::newRow("empty") << "" << false;
    }
    void isValidIp()
    {
        QFETCH(QString, input);
        QFETCH(bool, valid);
        QCOMPARE(IsValidIP(input), valid);
    }

    void splitIpKeepsEmptyParts()
    {
        QCOMPARE(SplitIP(QStringLiteral("1..2")),
                 QStringList({QStringLiteral("1"), QStringLiteral(""), QStringLiteral("2")}));
        QCOMPARE(SplitIP(QStringLiteral("")), QStringList({QStringLiteral("")}));
    }

    void padName16_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short") << "studio"
                               << "STUDIO          ";
        QTest::newRow("exact") << "abcdefghijklmnop"
                               << "ABCDEFGHIJKLMNOP";
        QTest::newRow("long") << "abcdefghijklmnopq"
                              << "ABCDEFGHIJKLMNOP";
        QTest::newRow("empty") << ""
                               << "                ";
        // Their upper case is not a Latin-1 character, so it could be
        // neither stored nor sent: they stay as typed.
        QTest::newRow("y diaeresis kept") << QString::fromUtf8("st\u00fcdio \u00ff")
                                          << QString::fromUtf8("ST\u00dcDIO \u00ff        ");
        QTest::newRow("micro sign kept")
            << QString::fromUtf8("\u00b5link") << QString::fromUtf8("\u00b5LINK           ");
        // Its upper case is two letters: it stays, so nothing is pushed out
        // of the 16 characters.
        QTest::newRow("sharp s kept, nothing cut")
            << QString::fromUtf8("gro\u00dfe stra\u00dfe 12a")
            << QString::fromUtf8("GRO\u00dfE STRA\u00dfE 12A");
        QTest::newRow("letter outside Latin-1 kept as typed")
            << QString::fromUtf8("\u0101b") << QString::fromUtf8("\u0101B              ");
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
        QTest::newRow("down") << 19.5694 << 19.6;
        QTest::newRow("tie to even down") << 0.25 << 0.2;
        QTest::newRow("tie to even up") << 0.35 << 0.4;
        QTest::newRow("negative") << -18.4321 << -18.4;
        QTest::newRow("whole") << -6.0 << -6.0;
    }
    void roundHalfEven()
    {
        QFETCH(double, input);
        QFETCH(double, expected);
        QCOMPARE(RoundToTenthHalfEven(input), expected);
    }

    void shortestNumber_data()
    {
        QTest::addColumn<double>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole") << 5.0 << "5";
        QTest::newRow("half") << 2.5 << "2.5";
        QTest::newRow("negative") << -6.0 << "-6";
        QTest::newRow("tenth") << 19.6 << "19.6";
        QTest::newRow("negative zero") << -0.0 << "0";
        QTest::newRow("large whole, no exponent") << 100000.0 << "100000";
        QTest::newRow("small, no exponent") << 0.0001 << "0.0001";
    }
    void shortestNumber()
    {
        QFETCH(double, input);
        QFETCH(QString, expected);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(ShortestNumber(input), expected);
    }

    // Only the decimal separator follows the operator's locale: the minus
    // sign and the digits stay the plain ones the captions are built from.
    void shortestNumberInLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<double>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("German half") << "de_DE" << 2.5 << "2,5";
        QTest::newRow("German negative") << "de_DE" << -18.4 << "-18,4";
        QTest::newRow("Swedish negative") << "sv_SE" << -18.4 << "-18,4";
        QTest::newRow("Swedish whole negative") << "sv_SE" << -6.0 << "-6";
        QTest::newRow("Norwegian negative") << "nb_NO" << -49.8 << "-49,8";
        QTest::newRow("Arabic digits")
            << "ar_EG" << 19.6
            << QStringLiteral("19") + QLocale(QStringLiteral("ar_EG")).decimalPoint() +
                   QStringLiteral("6");
        QTest::newRow("Arabic negative") << "ar_EG" << -6.0 << "-6";
        QTest::newRow("Persian") << "fa_IR" << 100.1
                                 << QStringLiteral("100") +
                                        QLocale(QStringLiteral("fa_IR")).decimalPoint() +
                                        QStringLiteral("1");
        QTest::newRow("Swiss German large") << "de_CH" << 1000.5 << "1000.5";
        QTest::newRow("Swedish fraction") << "sv_SE" << -138.5 << "-138,5";
        QTest::newRow("English, no grouping") << "en_US" << 3276.7 << "3276.7";
    }
    void shortestNumberInLocale()
    {
        QFETCH(QString, locale);
        QFETCH(double, input);
        QFETCH(QString, expected);
        QLocale::setDefault(QLocale(locale));
        const QString shown = ShortestNumber(input);
        QLocale::setDefault(QLocale::c());
        QCOMPARE(shown, expected);
    }
};

QTEST_GUILESS_MAIN(TextHelpersTest)
#include "tst_TextHelpers.moc"
