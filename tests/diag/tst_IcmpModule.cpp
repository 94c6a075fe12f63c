#include <QtTest>

#include <climits>

#include "FakeIcmpSocket.h"
#include "TableColumns.h"
#include "TableRow.h"
#include "diag/IcmpModule.h"

using namespace nms;
using namespace nms::test;

namespace {

struct Outcome {
    qint32 status;
    quint32 roundTrip;
};

// The module over a fake socket, with every reported outcome recorded.
struct ModuleRig {
    FakeIcmpSocket socket;
    IcmpModule module{socket};
    QList<Outcome> outcomes;

    ModuleRig()
    {
        QObject::connect(&module, &IcmpModule::echoFinished,
                         [this](qint32 status, quint32 roundTrip) {
                             outcomes << Outcome{status, roundTrip};
                         });
    }
};

} // namespace

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

    // Addresses are read as decimal; what is not sent finishes with -1,
    // and never from within the call.
    void echoGoesToTheAddress_data()
    {
        TableColumns<QString, QString, quint32>::add(); // address, socket layer, sent to (0: not)
        addRow("plain", "198.18.0.2", "open", 0xC6120002U);
        addRow("blanks", " 198 .18. 0.2 ", "open", 0xC6120002U);
        addRow("leading zeros are decimal", "010.001.000.008", "open", 0x0A010008U);
        addRow("all zeros", "0.0.0.0", "open", 0U);
        addRow("all ones", "255.255.255.255", "open", 0U);
        addRow("three parts", "198.18.2", "open", 0U);
        addRow("hexadecimal", "0xC6.18.0.2", "open", 0U);
        addRow("too large", "198.18.0.300", "open", 0U);
        addRow("empty", "", "open", 0U);
        addRow("socket layer closed", "198.18.0.2", "closed", 0U);
        addRow("socket layer failed to open", "198.18.0.2", "fails", 0U);
    }
    void echoGoesToTheAddress()
    {
        const auto [address, layer, sentTo] = TableColumns<QString, QString, quint32>::fetch();
        ModuleRig rig;
        rig.socket.openSucceeds = layer != QStringLiteral("fails");
        if (layer != QStringLiteral("closed"))
            QCOMPARE(rig.module.OpenSocketLayer(), rig.socket.openSucceeds);
        QVERIFY(rig.module.SendEcho(address));
        QVERIFY(rig.outcomes.isEmpty());
        QVERIFY(rig.module.isEchoPending());
        QVERIFY(!rig.module.SendEcho(QStringLiteral("198.18.0.3"))); // one at a time
        if (sentTo != 0) {
            QCOMPARE(rig.socket.sent, QList<quint32>{sentTo});
            QVERIFY(rig.socket.finish(0, 12));
        }
        QTRY_COMPARE(rig.outcomes.size(), 1);
        QCOMPARE(rig.outcomes[0].status, sentTo != 0 ? 0 : -1);
        QCOMPARE(rig.outcomes[0].roundTrip, sentTo != 0 ? 12U : 0U);
        QCOMPARE(rig.socket.sent.size(), sentTo != 0 ? 1 : 0);
        QVERIFY(!rig.module.isEchoPending());
    }

    void closingAbandonsTheEcho_data()
    {
        TableColumns<QString>::add(); // the address
        addRow("sent", "198.18.0.2");
        addRow("not sent", "0.0.0.0");
    }
    void closingAbandonsTheEcho()
    {
        const auto [address] = TableColumns<QString>::fetch();
        ModuleRig rig;
        QVERIFY(rig.module.OpenSocketLayer());
        QVERIFY(rig.module.SendEcho(address));
        rig.module.CloseSocketLayer();
        QVERIFY(!rig.socket.isOpen());
        QVERIFY(!rig.module.isEchoPending());
        QCoreApplication::processEvents();
        QVERIFY(rig.outcomes.isEmpty());
    }
};

QTEST_MAIN(IcmpModuleTest)
#include "tst_IcmpModule.moc"
