#include <QtTest>

#include <climits>

#include "FakeIcmpSocket.h"
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
        QTest::addColumn<qint32>("status");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0 << "Success!";
        QTest::newRow("11001") << 11001 << "Buffer Too Small";
        QTest::newRow("11002") << 11002 << "Destination Net Unreachable";
        QTest::newRow("11003") << 11003 << "Destination Host Unreachable";
        QTest::newRow("11004") << 11004 << "Destination Protocol Unreachable";
        QTest::newRow("11005") << 11005 << "Destination Port Unreachable";
        QTest::newRow("11006") << 11006 << "No Resources";
        QTest::newRow("11007") << 11007 << "Bad Option";
        QTest::newRow("11008") << 11008 << "Hardware Error";
        QTest::newRow("11009") << 11009 << "Packet Too Big";
        QTest::newRow("11010") << 11010 << "Request Timed Out";
        QTest::newRow("11011") << 11011 << "Bad Request";
        QTest::newRow("11012") << 11012 << "Bad Route";
        QTest::newRow("11013") << 11013 << "TimeToLive Expired Transit";
        QTest::newRow("11014") << 11014 << "TimeToLive Expired Reassembly";
        QTest::newRow("11015") << 11015 << "Parameter Problem";
        QTest::newRow("11016") << 11016 << "Source Quench";
        QTest::newRow("11017") << 11017 << "Option Too Big";
        QTest::newRow("11018") << 11018 << "Bad Destination";
        QTest::newRow("11032") << 11032 << "Negotiating IPSEC";
        QTest::newRow("11050") << 11050 << "General Failure";
        QTest::newRow("not sent") << -1 << "Unknown Response";
        QTest::newRow("1") << 1 << "Unknown Response";
        QTest::newRow("11000") << 11000 << "Unknown Response";
        QTest::newRow("11019") << 11019 << "Unknown Response";
        QTest::newRow("11031") << 11031 << "Unknown Response";
        QTest::newRow("11033") << 11033 << "Unknown Response";
        QTest::newRow("11049") << 11049 << "Unknown Response";
        QTest::newRow("11051") << 11051 << "Unknown Response";
        QTest::newRow("minimum") << qint32(INT_MIN) << "Unknown Response";
        QTest::newRow("maximum") << qint32(INT_MAX) << "Unknown Response";
    }
    void echoStatusText()
    {
        QFETCH(qint32, status);
        QFETCH(QString, text);
        QCOMPARE(IcmpModule::EchoStatusText(status), text);
    }

    void convertAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<quint32>("address");
        QTest::newRow("plain") << "198.18.0.2" << 0xC6120002U;
        QTest::newRow("loopback") << "127.0.0.1" << 0x7F000001U;
        QTest::newRow("blanks") << " 198 .18. 0.2 " << 0xC6120002U;
        QTest::newRow("leading zeros are decimal") << "010.001.000.008" << 0x0A010008U;
        QTest::newRow("zeros") << "0.0.0.0" << 0U;
        QTest::newRow("all ones") << "255.255.255.255" << 0xFFFFFFFFU;
        QTest::newRow("three parts") << "198.18.2" << 0xFFFFFFFFU;
        QTest::newRow("hexadecimal") << "0xC6.18.0.2" << 0xFFFFFFFFU;
        QTest::newRow("too large") << "198.18.0.300" << 0xFFFFFFFFU;
        QTest::newRow("empty") << "" << 0xFFFFFFFFU;
    }
    void convertAddress()
    {
        QFETCH(QString, text);
        QFETCH(quint32, address);
        QCOMPARE(IcmpModule::ConvertAddress(text), address);
    }

    void echoIsSentToTheConvertedAddress()
    {
        ModuleRig rig;
        QVERIFY(rig.module.OpenSocketLayer());
        QVERIFY(rig.module.SendEcho(QStringLiteral("198.18.0.2")));
        QCOMPARE(rig.socket.sent, QList<quint32>{0xC6120002U});
        QVERIFY(rig.module.isEchoPending());
        QVERIFY(rig.socket.finish(0, 12));
        QCOMPARE(rig.outcomes.size(), 1);
        QCOMPARE(rig.outcomes[0].status, 0);
        QCOMPARE(rig.outcomes[0].roundTrip, 12U);
        QVERIFY(!rig.module.isEchoPending());
    }

    void addressNotSentFinishesWithMinusOneLater_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("openLayer");
        QTest::newRow("all zeros") << "0.0.0.0" << true;
        QTest::newRow("all ones") << "255.255.255.255" << true;
        QTest::newRow("not an address") << "198.18.0" << true;
        QTest::newRow("socket layer closed") << "198.18.0.2" << false;
    }
    void addressNotSentFinishesWithMinusOneLater()
    {
        QFETCH(QString, address);
        QFETCH(bool, openLayer);
        ModuleRig rig;
        if (openLayer)
            QVERIFY(rig.module.OpenSocketLayer());
        QVERIFY(rig.module.SendEcho(address));
        QVERIFY(rig.outcomes.isEmpty()); // never from within the call
        QVERIFY(rig.socket.sent.isEmpty());
        QTRY_COMPARE(rig.outcomes.size(), 1);
        QCOMPARE(rig.outcomes[0].status, -1);
        QVERIFY(!rig.module.isEchoPending());
    }

    void secondEchoWhileOneIsOutIsRefused()
    {
        ModuleRig rig;
        QVERIFY(rig.module.OpenSocketLayer());
        QVERIFY(rig.module.SendEcho(QStringLiteral("198.18.0.2")));
        QVERIFY(!rig.module.SendEcho(QStringLiteral("198.18.0.3")));
        QCOMPARE(rig.socket.sent.size(), 1);
    }

    void closingAbandonsTheEcho_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("sent") << "198.18.0.2";
        QTest::newRow("not sent") << "0.0.0.0";
    }
    void closingAbandonsTheEcho()
    {
        QFETCH(QString, address);
        ModuleRig rig;
        QVERIFY(rig.module.OpenSocketLayer());
        QVERIFY(rig.module.SendEcho(address));
        rig.module.CloseSocketLayer();
        QVERIFY(!rig.socket.isOpen());
        QVERIFY(!rig.module.isEchoPending());
        QCoreApplication::processEvents();
        QVERIFY(rig.outcomes.isEmpty());
    }

    void socketLayerReportsOpenFailure()
    {
        ModuleRig rig;
        rig.socket.openSucceeds = false;
        QVERIFY(!rig.module.OpenSocketLayer());
    }
};

QTEST_MAIN(IcmpModuleTest)
#include "tst_IcmpModule.moc"
