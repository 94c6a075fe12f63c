#include <QtTest>

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
    // The address is read by the one address rule of the core; here what
    // the table's bytes come to.
    void lookupMacAddress_data()
    {
        LookupColumns::add();
        const QString element = QStringLiteral("198.18.0.21");
        const QString unchanged = QStringLiteral("unchanged");
        const QByteArray six = QByteArray::fromHex("020a5e1f2bc4");
        QTest::newRow("six bytes") << element << six << true << "02:0A:5E:1F:2B:C4" << false;
        QTest::newRow("leading zero is decimal")
            << "198.018.0.21" << six << true << "02:0A:5E:1F:2B:C4" << false;
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
        (onAnotherNetwork ? table.otherNetworkEntries : table.entries)
            .insert(QStringLiteral("198.18.0.21"), hardware);
        ArpModule arp(table);
        QString text = QStringLiteral("unchanged");
        QCOMPARE(arp.LookupMacAddress(address, text, QStringLiteral(":"),
                                      FakeNeighbourTable::kInterface),
                 found);
        QCOMPARE(text, mac);
        if (found && !mac.isEmpty()) // no separator
            QCOMPARE(ArpModule::FormatMacBytes(hardware, QString()), QString(mac).remove(u':'));
        QVERIFY(table.probes.isEmpty()); // probing is the bounded lookup's business
    }
};

QTEST_MAIN(ArpModuleTest)
#include "tst_ArpModule.moc"
