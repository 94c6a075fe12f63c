#include <QtTest>

#include <QLineEdit>

#include "FakeClock.h"
#include "FakeIcmpSocket.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "diag/PingController.h"
#include "platform/IcmpSocket.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/ShapeWidget.h"
#include "ui/WidgetPanelView.h"
#include "ui/WidgetPingField.h"

using namespace nms;
using namespace nms::test;

namespace {

const QColor kGreen(0, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kIdle(255, 255, 192);
const QString kUnknown = QStringLiteral("<Unknown>");

// The main window with a ping controller over a fake ICMP socket; every
// caption set on lblPing is recorded in order.
struct PingRig {
    ManualTimerFactory timers;
    RecordingDialogs dialogs;
    FakeClock clock;
    FakeIcmpSocket socket;
    FrmMain window{timers};
    WidgetPanelView panelView{window.controls()};
    WidgetPingField pingField{window.controls()};
    PingController ping{dialogs, socket, panelView, pingField, *window.controls().tmrRetryPing};
    QStringList captions;

    PingRig()
    {
        ping.setPingRetryCountdown(PingController::kRetryCountdownStart);
        pingField.connectTo(ping);
        QObject::connect(ui().lblPing, &CaptionLabel::captionSet,
                         [this](const QString& caption) { captions << caption; });
        ui().txtElementIP->setText(QStringLiteral("198.18.0.2"));
    }

    FrmMainControls& ui() { return window.controls(); }
    ManualTimer* retry() { return timers.timer(QStringLiteral("tmrRetryPing")); }
    QString caption() { return ui().lblPing->caption(); }
    QColor fill() { return ui().shpPing->fillColor(); }
    void click() { emit ui().lblPing->clicked(); }
    // A double click as the window system delivers it to a widget: the
    // second press arrives as the double-click event alone.
    void doubleClick()
    {
        for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                        QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease})
            mouse(type, Qt::LeftButton, QPoint(5, 5));
    }
    void mouse(QEvent::Type type, Qt::MouseButton button, QPoint at)
    {
        CaptionLabel* label = ui().lblPing;
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
        QMouseEvent event(type, at, label->mapToGlobal(at), button, held, Qt::NoModifier);
        QCoreApplication::sendEvent(label, &event);
    }
    // Click, and let the echo time out.
    void clickAndTimeOut()
    {
        click();
        QVERIFY(socket.finish(echo_status::RequestTimedOut));
    }
};

constexpr quint32 address(quint8 a, quint8 b, quint8 c, quint8 d)
{
    return (quint32(a) << 24) | (quint32(b) << 16) | (quint32(c) << 8) | d;
}

} // namespace

class PingControllerTest : public QObject {
    Q_OBJECT
private slots:
    void startsIdle()
    {
        PingRig rig;
        QCOMPARE(rig.caption(), kUnknown);
        QCOMPARE(rig.fill(), kIdle);
        QVERIFY(!rig.retry()->isEnabled());
        QCOMPARE(rig.ping.PingRetryCountdown(), qint16(3));
    }

    void replyShowsRoundTripOnGreen_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<quint32>("destination");
        QTest::addColumn<quint32>("roundTrip");
        QTest::addColumn<QString>("caption");
        QTest::newRow("first millisecond")
            << "198.18.0.2" << address(198, 18, 0, 2) << 0U << "0 ms";
        QTest::newRow("one ms") << "198.18.0.2" << address(198, 18, 0, 2) << 1U << "1 ms";
        QTest::newRow("slow") << "198.18.1.20" << address(198, 18, 1, 20) << 873U << "873 ms";
        QTest::newRow("blanks around numbers")
            << "198.18.0. 7" << address(198, 18, 0, 7) << 2U << "2 ms";
        QTest::newRow("leading zeros are decimal")
            << "198.018.000.010" << address(198, 18, 0, 10) << 3U << "3 ms";
    }
    void replyShowsRoundTripOnGreen()
    {
        QFETCH(QString, ip);
        QFETCH(quint32, destination);
        QFETCH(quint32, roundTrip);
        QFETCH(QString, caption);
        PingRig rig;
        rig.ui().txtElementIP->setText(ip);
        rig.click();
        QCOMPARE(rig.socket.sent, QList<quint32>{destination});
        QCOMPARE(rig.captions, QStringList()); // nothing shown until the outcome
        QVERIFY(rig.socket.finish(echo_status::Success, roundTrip));
        QCOMPARE(rig.captions, QStringList{caption});
        QCOMPARE(rig.fill(), kGreen);
        QVERIFY(!rig.retry()->isEnabled());
        QVERIFY(!rig.socket.isOpen()); // the socket layer is released after the test
        QCOMPARE(rig.dialogs.boxes.size(), 0);
    }

    void failureShowsStatusOnRed_data()
    {
        QTest::addColumn<qint32>("status");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("countdown");
        QTest::newRow("time-out") << 11010 << "Request Timed Out" << true;
        QTest::newRow("net unreachable") << 11002 << "Destination Net Unreachable" << false;
        QTest::newRow("host unreachable") << 11003 << "Destination Host Unreachable" << false;
        QTest::newRow("ttl in transit") << 11013 << "TimeToLive Expired Transit" << false;
        QTest::newRow("parameter problem") << 11015 << "Parameter Problem" << false;
        QTest::newRow("general failure") << 11050 << "General Failure" << false;
        QTest::newRow("not sent") << -1 << "Unknown Response" << false;
        QTest::newRow("code outside the table") << 11019 << "Unknown Response" << false;
    }
    void failureShowsStatusOnRed()
    {
        QFETCH(qint32, status);
        QFETCH(QString, caption);
        QFETCH(bool, countdown);
        PingRig rig;
        rig.click();
        QVERIFY(rig.socket.finish(status));
        QCOMPARE(rig.captions, QStringList{caption});
        QCOMPARE(rig.fill(), kRed);
        QCOMPARE(rig.retry()->isEnabled(), countdown);
        QVERIFY(!rig.socket.isOpen());
    }

    void invalidAddressIsIgnoredSilently_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::newRow("empty") << "";
        QTest::newRow("three numbers") << "198.18.0";
        QTest::newRow("five numbers") << "198.18.0.1.2";
        QTest::newRow("above 255") << "198.18.0.256";
        QTest::newRow("empty part") << "198.18..1";
        QTest::newRow("letters") << "a.b.c.d";
        QTest::newRow("negative") << "198.18.0.-1";
    }
    void invalidAddressIsIgnoredSilently()
    {
        QFETCH(QString, ip);
        PingRig rig;
        rig.ui().txtElementIP->setText(ip);
        rig.click();
        QCoreApplication::processEvents();
        QCOMPARE(rig.socket.opens, 0);
        QVERIFY(rig.socket.sent.isEmpty());
        QCOMPARE(rig.captions, QStringList());
        QCOMPARE(rig.caption(), kUnknown);
        QCOMPARE(rig.fill(), kIdle);
        QCOMPARE(rig.dialogs.boxes.size(), 0);
        QVERIFY(!rig.ping.isEchoPending());
    }

    void addressThatIsNoHostEndsUnknownWithoutSending_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::newRow("all zeros") << "0.0.0.0";
        QTest::newRow("limited broadcast") << "255.255.255.255";
    }
    void addressThatIsNoHostEndsUnknownWithoutSending()
    {
        QFETCH(QString, ip);
        PingRig rig;
        rig.ui().txtElementIP->setText(ip);
        rig.click();
        QVERIFY(rig.socket.sent.isEmpty());
        QTRY_COMPARE(rig.captions, QStringList{"Unknown Response"});
        QCOMPARE(rig.fill(), kRed);
        QVERIFY(!rig.retry()->isEnabled());
        QVERIFY(!rig.socket.isOpen());
    }

    void socketLayerFailureShowsBoxThenCaption()
    {
        PingRig rig;
        rig.socket.openSucceeds = false;
        int boxesWhenCaptionSet = -1;
        QObject::connect(rig.ui().lblPing, &CaptionLabel::captionSet,
                         [&] { boxesWhenCaptionSet = static_cast<int>(rig.dialogs.boxes.size()); });
        rig.click();
        QCOMPARE(rig.dialogs.boxes.size(), 1);
        const MessageBoxRequest& box = rig.dialogs.last();
        QCOMPARE(box.title, QStringLiteral("Ping failed"));
        QCOMPARE(box.text(), QStringLiteral("Windows Sockets not responding correctly."));
        QCOMPARE(box.icon, BoxIcon::Critical);
        QCOMPARE(box.buttons, BoxButtons::Ok);
        QCOMPARE(boxesWhenCaptionSet, 1); // the caption follows the closed box
        QCOMPARE(rig.captions, QStringList{"Unable to init sockets"});
        QCOMPARE(rig.fill(), kRed);
        QVERIFY(rig.socket.sent.isEmpty());
        QVERIFY(!rig.ping.isEchoPending());
    }

    void timeOutCountsDownThenPingsAgain()
    {
        PingRig rig;
        rig.clickAndTimeOut();
        QCOMPARE(rig.captions, QStringList{"Request Timed Out"});
        QVERIFY(rig.retry()->fire());
        QVERIFY(rig.retry()->fire());
        QVERIFY(rig.retry()->fire());
        QCOMPARE(rig.captions,
                 (QStringList{"Request Timed Out", "Retrying in 2 seconds...",
                              "Retrying in 1 seconds...", "Retrying in 0 seconds..."}));
        QCOMPARE(rig.socket.sent.size(), 1);
        QVERIFY(rig.retry()->fire());
        QVERIFY(!rig.retry()->isEnabled());
        QCOMPARE(rig.socket.sent.size(), 2);
        QCOMPARE(rig.ping.PingRetryCountdown(), qint16(3));
        QVERIFY(rig.socket.finish(echo_status::Success, 4));
        QCOMPARE(rig.caption(), QStringLiteral("4 ms"));
        QCOMPARE(rig.fill(), kGreen);
        QVERIFY(!rig.retry()->fire()); // any other outcome ends the retries
        QCOMPARE(rig.socket.sent.size(), 2);
    }

    void twoTimeOutsGiveTwoFullCountdowns()
    {
        PingRig rig;
        rig.clickAndTimeOut();
        for (int tick = 0; tick < 4; ++tick)
            QVERIFY(rig.retry()->fire());
        QVERIFY(rig.socket.finish(echo_status::RequestTimedOut));
        for (int tick = 0; tick < 4; ++tick)
            QVERIFY(rig.retry()->fire());
        QVERIFY(rig.socket.finish(echo_status::DestinationHostUnreachable));
        const QStringList countdown{"Request Timed Out", "Retrying in 2 seconds...",
                                    "Retrying in 1 seconds...", "Retrying in 0 seconds..."};
        QCOMPARE(rig.captions, countdown + countdown + QStringList{"Destination Host Unreachable"});
        QCOMPARE(rig.socket.sent.size(), 3);
        QVERIFY(!rig.retry()->isEnabled());
    }

    void clickDuringCountdownStopsIt()
    {
        PingRig rig;
        rig.clickAndTimeOut();
        QVERIFY(rig.retry()->fire());
        rig.click();
        QCOMPARE(rig.caption(), QStringLiteral("<Stopped>"));
        QCOMPARE(rig.fill(), kRed); // only the caption changes
        QVERIFY(!rig.retry()->isEnabled());
        QCOMPARE(rig.ping.PingRetryCountdown(), qint16(2));
        QVERIFY(!rig.retry()->fire());
        QCOMPARE(rig.socket.sent.size(), 1);
    }

    void stoppedCountdownResumesFromItsValue()
    {
        PingRig rig;
        rig.clickAndTimeOut();
        QVERIFY(rig.retry()->fire()); // 2
        QVERIFY(rig.retry()->fire()); // 1
        rig.click();                  // <Stopped>
        rig.captions.clear();
        rig.clickAndTimeOut(); // the timer is off: a click pings
        QCOMPARE(rig.socket.sent.size(), 2);
        QVERIFY(rig.retry()->fire());
        QVERIFY(rig.retry()->fire());
        QCOMPARE(rig.captions, (QStringList{"Request Timed Out", "Retrying in 0 seconds..."}));
        QCOMPARE(rig.socket.sent.size(), 3);
    }

    void retryPingsWhateverAddressThePanelHolds()
    {
        PingRig rig;
        rig.clickAndTimeOut();
        rig.ui().txtElementIP->setText(QStringLiteral("198.18.3.4"));
        for (int tick = 0; tick < 4; ++tick)
            QVERIFY(rig.retry()->fire());
        QCOMPARE(rig.socket.sent, (QList<quint32>{address(198, 18, 0, 2), address(198, 18, 3, 4)}));
    }

    void retryWithInvalidAddressEndsQuietly()
    {
        PingRig rig;
        rig.clickAndTimeOut();
        rig.ui().txtElementIP->clear();
        for (int tick = 0; tick < 4; ++tick)
            QVERIFY(rig.retry()->fire());
        QVERIFY(!rig.retry()->isEnabled());
        QCOMPARE(rig.socket.sent.size(), 1);
        QCOMPARE(rig.caption(), QStringLiteral("Retrying in 0 seconds..."));
        QCOMPARE(rig.ping.PingRetryCountdown(), qint16(3));
    }

    void captionRuleEnablesRetryOnTimed_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("time-out") << "Request Timed Out" << true;
        QTest::newRow("inside a word") << "xTimedx" << true;
        QTest::newRow("lower case") << "Request timed out" << false;
        QTest::newRow("stopped") << "<Stopped>" << false;
        QTest::newRow("click to test") << "<Click to test>" << false;
    }
    void captionRuleEnablesRetryOnTimed()
    {
        QFETCH(QString, caption);
        QFETCH(bool, enabled);
        PingRig rig;
        rig.ui().lblPing->setCaption(caption);
        QCOMPARE(rig.retry()->isEnabled(), enabled);
    }

    void clickDuringEchoIsHandledAfterIt_data()
    {
        QTest::addColumn<int>("clicks");
        QTest::addColumn<qint32>("status");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("echoes");
        // After a time-out the held click stops the countdown it started.
        QTest::newRow("time-out") << 1 << 11010 << QStringList{"Request Timed Out", "<Stopped>"}
                                  << 1;
        // After any other outcome it pings again.
        QTest::newRow("reply") << 1 << 0 << QStringList{"7 ms"} << 2;
        // Each click in turn: the first stops the countdown, the second pings.
        QTest::newRow("two clicks, time-out")
            << 2 << 11010 << QStringList{"Request Timed Out", "<Stopped>"} << 2;
        // Each pings once the echo before it is answered.
        QTest::newRow("three clicks, reply") << 3 << 0 << QStringList{"7 ms"} << 4;
    }
    void clickDuringEchoIsHandledAfterIt()
    {
        QFETCH(int, clicks);
        QFETCH(qint32, status);
        QFETCH(QStringList, captions);
        QFETCH(int, echoes);
        PingRig rig;
        rig.click();
        for (int i = 0; i < clicks; ++i)
            rig.click();
        QCOMPARE(rig.socket.sent.size(), 1);
        QVERIFY(rig.socket.finish(status, 7));
        QCOMPARE(rig.captions, captions);
        QVERIFY(!rig.retry()->isEnabled());
        // Every echo the held clicks start is answered; each answer lets the
        // next held click go on.
        for (int answered = 1; answered < echoes; ++answered) {
            QCOMPARE(rig.socket.sent.size(), answered + 1);
            QVERIFY(rig.socket.finish(echo_status::Success, 8));
        }
        QCOMPARE(rig.socket.sent.size(), echoes);
        QVERIFY(!rig.ping.isEchoPending());
    }

    // Mouse gestures on lblPing, as the window system delivers them. A click
    // acts on release over the label; the echo then times out, so any extra
    // click would show as "<Stopped>" or a second echo.
    void mouseGestureOnTheLabel_data()
    {
        QTest::addColumn<QString>("gesture");
        QTest::addColumn<int>("echoes");
        QTest::newRow("click") << "click" << 1;
        // The second press of a double click arrives as the double-click
        // event alone; a second click would stop the countdown.
        QTest::newRow("double click is one click") << "double click" << 1;
        QTest::newRow("press without release") << "press" << 0;
        QTest::newRow("press, released off the label") << "release outside" << 0;
        QTest::newRow("right button") << "right click" << 0;
    }
    void mouseGestureOnTheLabel()
    {
        QFETCH(QString, gesture);
        QFETCH(int, echoes);
        PingRig rig;
        const QPoint inside(5, 5);
        const QPoint outside(rig.ui().lblPing->width() + 20, 5);
        if (gesture == "double click") {
            rig.doubleClick();
        } else if (gesture == "right click") {
            rig.mouse(QEvent::MouseButtonPress, Qt::RightButton, inside);
            rig.mouse(QEvent::MouseButtonRelease, Qt::RightButton, inside);
        } else {
            rig.mouse(QEvent::MouseButtonPress, Qt::LeftButton, inside);
            QCOMPARE(rig.socket.sent.size(), 0); // nothing on the press itself
        }
        if (gesture == "click")
            rig.mouse(QEvent::MouseButtonRelease, Qt::LeftButton, inside);
        if (gesture == "release outside")
            rig.mouse(QEvent::MouseButtonRelease, Qt::LeftButton, outside);
        QCOMPARE(rig.socket.sent.size(), echoes);
        if (echoes == 0)
            return;
        QVERIFY(rig.socket.finish(echo_status::RequestTimedOut));
        QCOMPARE(rig.captions, QStringList{"Request Timed Out"});
        QVERIFY(rig.retry()->isEnabled());
        QCOMPARE(rig.socket.sent.size(), 1);
        QVERIFY(!rig.ping.isEchoPending());
    }

    void heldKeyIsOneClick_data()
    {
        QTest::addColumn<int>("key");
        QTest::newRow("space") << int(Qt::Key_Space);
        QTest::newRow("return") << int(Qt::Key_Return);
    }
    void heldKeyIsOneClick()
    {
        QFETCH(int, key);
        PingRig rig;
        // A held key repeats its press until it is let go.
        for (const bool repeat : {false, true, true, true}) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, QString(), repeat);
            QCoreApplication::sendEvent(rig.ui().lblPing, &press);
        }
        QCOMPARE(rig.socket.sent.size(), 1);
        QVERIFY(rig.socket.finish(echo_status::RequestTimedOut));
        QCOMPARE(rig.captions, QStringList{"Request Timed Out"});
        QVERIFY(rig.retry()->isEnabled());
        QCOMPARE(rig.socket.sent.size(), 1);
    }

    void retryTickDuringEchoWaits()
    {
        PingRig rig;
        rig.click();
        rig.retry()->setEnabled(true);
        QVERIFY(rig.retry()->fire());
        QCOMPARE(rig.socket.sent.size(), 1);
        QCOMPARE(rig.ping.PingRetryCountdown(), qint16(3));
        QCOMPARE(rig.captions, QStringList());
    }

    void outcomeForAnElementNoLongerShownIsDropped_data()
    {
        QTest::addColumn<qint32>("status");
        QTest::addColumn<bool>("heldClick");
        QTest::newRow("reply") << 0 << false;
        QTest::newRow("time-out") << 11010 << false;
        // The click is not lost with the outcome: it pings what is shown now.
        QTest::newRow("time-out with a held click") << 11010 << true;
    }
    void outcomeForAnElementNoLongerShownIsDropped()
    {
        QFETCH(qint32, status);
        QFETCH(bool, heldClick);
        PingRig rig;
        rig.click();
        if (heldClick)
            rig.click();
        // Another element is selected while the echo is out.
        rig.ui().shpPing->setFillColor(kIdle);
        rig.ui().lblPing->setCaption(QStringLiteral("<Click to test>"));
        rig.ui().txtElementIP->setText(QStringLiteral("198.18.0.9"));
        QVERIFY(rig.socket.finish(status, 3));
        QCOMPARE(rig.caption(), QStringLiteral("<Click to test>"));
        QCOMPARE(rig.fill(), kIdle);
        QVERIFY(!rig.retry()->isEnabled());
        if (!heldClick) {
            QCOMPARE(rig.socket.sent.size(), 1);
            QVERIFY(!rig.socket.isOpen());
            // The next click pings the element now shown.
            rig.click();
        }
        QCOMPARE(rig.socket.sent.size(), 2);
        QCOMPARE(rig.socket.sent.last(), address(198, 18, 0, 9));
    }

    void secondPingElementWhileEchoIsOutIsIgnored()
    {
        PingRig rig;
        rig.ping.PingElement(QStringLiteral("198.18.0.2"));
        rig.ping.PingElement(QStringLiteral("198.18.0.3"));
        QCOMPARE(rig.socket.sent, QList<quint32>{address(198, 18, 0, 2)});
        QCOMPARE(rig.socket.opens, 1);
    }
};

QTEST_MAIN(PingControllerTest)
#include "tst_PingController.moc"
