#include <QtTest>

#include <climits>

#include "FakeIcmpSocket.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "diag/IcmpModule.h"

using namespace nms;
using namespace nms::test;

class IcmpModuleTest : public QObject {
    Q_OBJECT
private slots:
    void echoStatusText_data()
    {
        TableColumns<qint32, QString>::add();
        const QStringList texts =
            QStringLiteral("Buffer Too Small|Destination Net Unreachable|Destination Host "
                           "Unreachable|Destination Protocol Unreachable|Destination Port "
                           "Unreachable|No Resources|Bad Option|Hardware Error|Packet Too Big|"
                           "Request Timed Out|Bad Request|Bad Route|TimeToLive Expired Transit|"
                           "TimeToLive Expired Reassembly|Parameter Problem|Source Quench|"
                           "Option Too Big|Bad Destination")
                .split(QLatin1Char('|'));
        for (int i = 0; i < texts.size(); ++i)
            QTest::addRow("%d", 11001 + i) << 11001 + i << texts[i];
        QTest::newRow("0") << 0 << "Success!";
        QTest::newRow("11032") << 11032 << "Negotiating IPSEC";
        QTest::newRow("11050") << 11050 << "General Failure";
        for (const qint32 unknown : {-1, 11000, 11019, 11051, INT_MIN, INT_MAX})
            QTest::addRow("%d", unknown) << unknown << "Unknown Response";
    }
    void echoStatusText()
    {
        const auto [status, text] = TableColumns<qint32, QString>::fetch();
        QCOMPARE(IcmpModule::EchoStatusText(status), text);
    }

    // What is not sent (0.0.0.0, the broadcast, a socket layer not open)
    // finishes with -1; an outcome is never reported from within the call,
    // and none at all for an echo abandoned by closing the socket layer.
    void echoOutcome_data()
    {
        // The address, the socket layer opened, closed meanwhile, and the
        // status (-2: no outcome).
        TableColumns<QString, bool, bool, qint32>::add();
        addRow("sent", "198.18.0.2", true, false, 0);
        addRow("all zeros", "0.0.0.0", true, false, -1);
        addRow("all ones", "255.255.255.255", true, false, -1);
        addRow("socket layer not open", "198.18.0.2", false, false, -1);
        addRow("sent, then closed", "198.18.0.2", true, true, -2);
        addRow("not sent, then closed", "0.0.0.0", true, true, -2);
    }
    void echoOutcome()
    {
        const auto [address, opened, closed, status] =
            TableColumns<QString, bool, bool, qint32>::fetch();
        FakeIcmpSocket socket;
        IcmpModule module(socket);
        QSignalSpy outcomes(&module, &IcmpModule::echoFinished);
        QVERIFY(!opened || module.OpenSocketLayer());
        QVERIFY(module.SendEcho(address));
        QVERIFY(outcomes.isEmpty());
        QVERIFY(!module.SendEcho(QStringLiteral("198.18.0.3"))); // one at a time
        const bool sent = opened && address == QStringLiteral("198.18.0.2");
        QCOMPARE(socket.sent, sent ? QList<quint32>{0xC6120002U} : QList<quint32>());
        if (closed)
            module.CloseSocketLayer();
        else if (sent)
            QVERIFY(socket.finish(0, 12));
        QCoreApplication::processEvents();
        QCOMPARE(outcomes.size(), status == -2 ? 0 : 1);
        QVERIFY(status == -2 || outcomes.first() == (QVariantList{status, sent ? 12U : 0U}));
        QVERIFY(!module.isEchoPending());
    }
};

QTEST_MAIN(IcmpModuleTest)
#include "tst_IcmpModule.moc"
