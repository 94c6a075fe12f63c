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
        QTest::newRow("five bytes") << six.left(5) << QStringLiteral(":") << QString();
        QTest::newRow("seven bytes") << six + '\x01' << QStringLiteral(":") << QString();
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
        QTest::addColumn<QString>("address");
        QTest::addColumn<QByteArray>("hardware");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("mac");
        QTest::addColumn<bool>("onAnotherNetwork");
        const QString element = QStringLiteral("198.18.0.21");
        const QString unchanged = QStringLiteral("unchanged");
        const QByteArray six = QByteArray::fromHex("020a5e1f2bc4");
        QTest::newRow("six bytes") << element << six << true << "02:0A:5E:1F:2B:C4" << false;
        // Another network that uses the same subnet has a device at the
        // address: its entry is not the element's.
        QTest::newRow("only on another network of the subnet")
            << element << six << false << unchanged << true;
        QTest::newRow("no entry") << element << QByteArray() << false << unchanged << false;
        QTest::newRow("zero address") << "0.0.0.0" << six << false << unchanged << false;
        QTest::newRow("first four bytes zero")
            << element << QByteArray::fromHex("000000002bc4") << false << unchanged << false;
        QTest::newRow("only the fourth byte set") << element << QByteArray::fromHex("000000012bc4")
                                                  << true << "00:00:00:01:2B:C4" << false;
        QTest::newRow("four bytes") << element << six.left(4) << true << QString() << false;
        QTest::newRow("eight bytes") << element << six + "ab" << true << QString() << false;
        QTest::newRow("twenty bytes, cut to the buffer")
            << element << QByteArray(20, '\x80') << true << QString() << false;
    }
    void lookupMacAddress()
    {
        QFETCH(QString, address);
        QFETCH(QByteArray, hardware);
        QFETCH(bool, found);
        QFETCH(QString, mac);
        QFETCH(bool, onAnotherNetwork);
        FakeNeighbourTable table;
        (onAnotherNetwork ? table.otherNetworkEntries : table.entries).insert(address, hardware);
        ArpModule arp(table);
        QString text = QStringLiteral("unchanged");
        QCOMPARE(arp.LookupMacAddress(address, text, QStringLiteral(":"),
                                      FakeNeighbourTable::kInterface),
                 found);
        QCOMPARE(text, mac);
        QVERIFY(table.probes.isEmpty()); // probing is the bounded lookup's business
    }
};

QTEST_MAIN(ArpModuleTest)
#include "tst_ArpModule.moc"
