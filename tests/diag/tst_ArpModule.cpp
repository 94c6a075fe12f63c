#include <QtTest>

#include <arpa/inet.h>

#include "FakeNeighbourTable.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "diag/ArpModule.h"

using namespace nms;
using namespace nms::test;

// The address, the neighbour entry's bytes, whether it counts, the text, and
// whether the entry is on another network than the element's.
using LookupColumns = TableColumns<QString, QByteArray, bool, QString, bool>;

class ArpModuleTest : public QObject {
    Q_OBJECT
private slots:
    void formatMacBytes_data()
    {
        TableColumns<QByteArray, QString, QString>::add(); // bytes, separator, text
        const QByteArray six = QByteArray::fromHex("000a5e1f2bc4");
        addRow("colon", six, ":", "00:0A:5E:1F:2B:C4");
        addRow("no separator", six, "", "000A5E1F2BC4");
        addRow("long separator", six, " / ", "00 / 0A / 5E / 1F / 2B / C4");
        addRow("five bytes", six.left(5), ":", "");
        addRow("seven bytes", six + '\x01', ":", "");
    }
    void formatMacBytes()
    {
        const auto [bytes, separator, text] = TableColumns<QByteArray, QString, QString>::fetch();
        QCOMPARE(ArpModule::FormatMacBytes(bytes, separator), text);
    }

    void addressToInteger_data()
    {
        TableColumns<QString, quint32>::add(); // text, in host order
        const quint32 none = INADDR_NONE;
        addRow("dotted", "198.18.0.21", 0xC6120015U);
        addRow("broadcast is all ones", "255.255.255.255", 0xFFFFFFFFU);
        addRow("empty", "", none);
        addRow("name", "encoder", none);
        addRow("part above 255", "256.1.1.1", none);
        addRow("five parts", "1.2.3.4.5", none);
        addRow("NUL inside", QString::fromLatin1("1.2.3.4\0junk", 12), none);
        // Read as the ping and the configuration read it, never as octal.
        addRow("leading zero is decimal", "010.18.4.2", 0x0A120402U);
    }
    void addressToInteger()
    {
        const auto [text, hostOrder] = TableColumns<QString, quint32>::fetch();
        QCOMPARE(ArpModule::AddressToInteger(text), quint32(htonl(hostOrder)));
    }

    void lookupMacAddress_data()
    {
        LookupColumns::add();
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
        const auto [address, hardware, found, mac, onAnotherNetwork] = LookupColumns::fetch();
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
