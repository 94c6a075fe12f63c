#include <QtTest>

#include <arpa/inet.h>

#include "FakeNeighbourTable.h"
#include "diag/ArpModule.h"

using namespace nms;
using nms::test::FakeNeighbourTable;

class ArpModuleTest : public QObject {
    Q_OBJECT
private slots:
    void formatMacBytes_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("text");
        const QByteArray six = QByteArray::fromHex("000a5e1f2bc4");
        QTest::newRow("colon") << six << QStringLiteral(":") << QStringLiteral("00:0A:5E:1F:2B:C4");
        QTest::newRow("dash") << six << QStringLiteral("-") << QStringLiteral("00-0A-5E-1F-2B-C4");
        QTest::newRow("no separator") << six << QString() << QStringLiteral("000A5E1F2BC4");
        QTest::newRow("long separator")
            << six << QStringLiteral(" / ") << QStringLiteral("00 / 0A / 5E / 1F / 2B / C4");
        QTest::newRow("all ones") << QByteArray::fromHex("ffffffffffff") << QStringLiteral(":")
                                  << QStringLiteral("FF:FF:FF:FF:FF:FF");
        QTest::newRow("all zero") << QByteArray(6, '\0') << QStringLiteral(":")
                                  << QStringLiteral("00:00:00:00:00:00");
        QTest::newRow("five bytes") << six.left(5) << QStringLiteral(":") << QString();
        QTest::newRow("seven bytes") << six + '\x01' << QStringLiteral(":") << QString();
        QTest::newRow("no bytes") << QByteArray() << QStringLiteral(":") << QString();
    }
    void formatMacBytes()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, separator);
        QFETCH(QString, text);
        QCOMPARE(ArpModule::FormatMacBytes(bytes, separator), text);
    }

    void addressToInteger_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("hostOrder");
        QTest::newRow("dotted") << QStringLiteral("198.18.0.21") << quint32(0xC6120015);
        QTest::newRow("first byte first") << QStringLiteral("1.2.3.4") << quint32(0x01020304);
        QTest::newRow("zero") << QStringLiteral("0.0.0.0") << quint32(0);
        QTest::newRow("broadcast is all ones")
            << QStringLiteral("255.255.255.255") << quint32(0xFFFFFFFF);
        QTest::newRow("empty") << QString() << quint32(INADDR_NONE);
        QTest::newRow("name") << QStringLiteral("encoder") << quint32(INADDR_NONE);
        QTest::newRow("part above 255") << QStringLiteral("256.1.1.1") << quint32(INADDR_NONE);
        QTest::newRow("five parts") << QStringLiteral("1.2.3.4.5") << quint32(INADDR_NONE);
        QTest::newRow("NUL inside")
            << QString::fromLatin1("1.2.3.4\0junk", 12) << quint32(INADDR_NONE);
        // The classic reading of short and prefixed forms is kept.
        QTest::newRow("three parts") << QStringLiteral("1.2.3") << quint32(0x01020003);
        QTest::newRow("hex part") << QStringLiteral("0x7f.0.0.1") << quint32(0x7F000001);
        QTest::newRow("octal part") << QStringLiteral("010.0.0.1") << quint32(0x08000001);
    }
    void addressToInteger()
    {
        QFETCH(QString, text);
        QFETCH(quint32, hostOrder);
        QCOMPARE(ArpModule::AddressToInteger(text), quint32(htonl(hostOrder)));
    }

    void lookupMacAddress_data()
    {
        QTest::addColumn<QByteArray>("hardware");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<bool>("onAnotherNetwork");
        QTest::newRow("six bytes") << QByteArray::fromHex("020a5e1f2bc4") << true
                                   << QStringLiteral("02:0A:5E:1F:2B:C4") << false;
        // Another network that uses the same subnet has a device at the
        // address: its entry is not the element's.
        QTest::newRow("only on another network of the subnet")
            << QByteArray::fromHex("020a5e1f2bc4") << false << QStringLiteral("unchanged") << true;
        QTest::newRow("no entry") << QByteArray() << false << QStringLiteral("unchanged") << false;
        QTest::newRow("first four bytes zero")
            << QByteArray::fromHex("000000002bc4") << false << QStringLiteral("unchanged") << false;
        QTest::newRow("only the fourth byte set") << QByteArray::fromHex("000000012bc4") << true
                                                  << QStringLiteral("00:00:00:01:2B:C4") << false;
        QTest::newRow("four bytes")
            << QByteArray::fromHex("0a0b0c0d") << true << QString() << false;
        QTest::newRow("eight bytes")
            << QByteArray::fromHex("0a0b0c0d0e0f1011") << true << QString() << false;
        QTest::newRow("twenty bytes, cut to the buffer")
            << QByteArray(20, '\x80') << true << QString() << false;
    }
    void lookupMacAddress()
    {
        QFETCH(QByteArray, hardware);
        QFETCH(bool, found);
        QFETCH(QString, mac);
        QFETCH(bool, onAnotherNetwork);
        FakeNeighbourTable table;
        (onAnotherNetwork ? table.otherNetworkEntries : table.entries)
            .insert(QStringLiteral("198.18.0.21"), hardware);
        ArpModule arp(table);
        QString text = QStringLiteral("unchanged");
        QCOMPARE(arp.LookupMacAddress(QStringLiteral("198.18.0.21"), text, QStringLiteral(":"),
                                      FakeNeighbourTable::kInterface),
                 found);
        QCOMPARE(text, mac);
        QVERIFY(table.probes.isEmpty()); // probing is the bounded lookup's business
    }

    void lookupOfZeroAddressFails()
    {
        FakeNeighbourTable table;
        table.entries.insert(QStringLiteral("0.0.0.0"), QByteArray::fromHex("020a5e1f2bc4"));
        ArpModule arp(table);
        QString text = QStringLiteral("unchanged");
        QVERIFY(!arp.LookupMacAddress(QStringLiteral("0.0.0.0"), text, QStringLiteral(":"),
                                      FakeNeighbourTable::kInterface));
        QCOMPARE(text, QStringLiteral("unchanged"));
    }
};

QTEST_MAIN(ArpModuleTest)
#include "tst_ArpModule.moc"
