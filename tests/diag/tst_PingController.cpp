#include <QtTest>

#include <QHostAddress>
#include <QLineEdit>

#include "FakeIcmpSocket.h"
#include "ManualTimer.h"
#include "RecordingDialogs.h"
#include "TableRow.h"
#include "diag/PingController.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMain.h"
#include "ui/ShapeWidget.h"
#include "ui/WidgetPanelView.h"
#include "ui/WidgetPingField.h"

using namespace nms;
using namespace nms::test;

namespace {

// The main window with a ping controller over a fake ICMP socket, driven by a
// script of one character a step:
//   c    click (the label's signal)     m d  left click, double click,
//   0-9  reply in that many ms          p o  left press only, or released off
//   T H  time-out, host unreachable          the label, as the window system
//   f    tick of tmrRetryPing           g    sends them; right click
//   e    panel IP cleared               k K  Space or Return held down
//   s    another element is selected    x    the socket layer fails to open
//   P    PingElement("198.18.0.3")      {text} sets that caption on lblPing
// Everything that shows is logged in order: ">address" for an echo sent, every
// caption set on lblPing, "[title: text]" for a box, "off" for a tick of the
// stopped timer, "none" for an outcome with no echo out.
struct PingRig {
    ManualTimerFactory timers;
    RecordingDialogs dialogs;
    FakeIcmpSocket socket;
    FrmMain window{timers};
    FrmMainControls& ui = window.controls();
    WidgetPanelView panelView{ui};
    WidgetPingField pingField{ui};
    PingController ping{dialogs, socket, panelView, pingField, *ui.tmrRetryPing};
    ManualTimer* retry = timers.timer(QStringLiteral("tmrRetryPing"));
    QStringList log;

    explicit PingRig(const QString& ip)
    {
        ping.setPingRetryCountdown(PingController::kRetryCountdownStart);
        pingField.connectTo(ping);
        QObject::connect(ui.lblPing, &CaptionLabel::captionSet,
                         [this](const QString& caption) { log << caption; });
        dialogs.whileOpen = [this](const MessageBoxRequest& box) {
            log << QLatin1Char('[') + box.title + QStringLiteral(": ") + box.text() + u']';
        };
        ui.txtElementIP->setText(ip);
    }

    void run(const QString& script)
    {
        for (qsizetype i = 0; i < script.size(); ++i) {
            const qsizetype sentBefore = socket.sent.size();
            if (script[i] == u'{') {
                const qsizetype close = script.indexOf(u'}', i);
                ui.lblPing->setCaption(script.mid(i + 1, close - i - 1));
                i = close;
            } else {
                step(script[i].toLatin1());
            }
            QCoreApplication::processEvents();
            for (qsizetype n = sentBefore; n < socket.sent.size(); ++n)
                log << u'>' + QHostAddress(socket.sent[n]).toString();
            // The socket layer is open exactly while an echo is out.
            QCOMPARE(socket.isOpen(), ping.isEchoPending());
        }
    }

    void step(char c)
    {
        switch (c) {
        case 'c': emit ui.lblPing->clicked(); return;
        case 'T': return finish(echo_status::RequestTimedOut);
        case 'H': return finish(echo_status::DestinationHostUnreachable);
        case 'f':
            if (!retry->fire())
                log << QStringLiteral("off");
            return;
        case 'e': ui.txtElementIP->clear(); return;
        case 's':
            ui.shpPing->setFillColor(WidgetPingField::kIdleColour);
            ui.lblPing->setCaption(QStringLiteral("<Click to test>"));
            ui.txtElementIP->setText(QStringLiteral("198.18.0.9"));
            return;
        case 'x': socket.openSucceeds = false; return;
        case 'P': ping.PingElement(QStringLiteral("198.18.0.3")); return;
        case 'm': return mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease});
        // The second press of a double click arrives as the double-click event alone.
        case 'd':
            return mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                          QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease});
        case 'p': return mouse({QEvent::MouseButtonPress});
        case 'o':
            mouse({QEvent::MouseButtonPress});
            return mouse({QEvent::MouseButtonRelease}, Qt::LeftButton,
                         QPoint(ui.lblPing->width() + 20, 5));
        case 'g':
            return mouse({QEvent::MouseButtonPress, QEvent::MouseButtonRelease}, Qt::RightButton);
        case 'k':
        case 'K':
            // A held key repeats its press until it is let go.
            for (const bool repeat : {false, true, true, true}) {
                QKeyEvent press(QEvent::KeyPress, c == 'k' ? Qt::Key_Space : Qt::Key_Return,
                                Qt::NoModifier, QString(), repeat);
                QCoreApplication::sendEvent(ui.lblPing, &press);
            }
            return;
        default: return finish(echo_status::Success, quint32(c - '0'));
        }
    }

    void finish(qint32 status, quint32 roundTripMs = 0)
    {
        if (!socket.finish(status, roundTripMs))
            log << QStringLiteral("none");
    }

    void mouse(std::initializer_list<QEvent::Type> types, Qt::MouseButton button = Qt::LeftButton,
               QPoint at = QPoint(5, 5))
    {
        for (const QEvent::Type type : types) {
            const Qt::MouseButtons held =
                type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
            QMouseEvent event(type, at, ui.lblPing->mapToGlobal(at), button, held, Qt::NoModifier);
            QCoreApplication::sendEvent(ui.lblPing, &event);
        }
    }

    // Fill (Green, Red, Idle), tmrRetryPing on or off, the countdown, and "*"
    // while an echo is out.
    QString state() const
    {
        const QColor fill = ui.shpPing->fillColor();
        const QChar letter = fill == QColor(0, 255, 0)              ? u'G'
                             : fill == QColor(255, 0, 0)            ? u'R'
                             : fill == WidgetPingField::kIdleColour ? u'I'
                                                                    : u'?';
        return letter + QLatin1Char(retry->isEnabled() ? '+' : '-') +
               QString::number(ping.PingRetryCountdown()) +
               QLatin1String(ping.isEchoPending() ? "*" : "");
    }
};

} // namespace

class PingControllerTest : public QObject {
    Q_OBJECT
private slots:
    void script_data()
    {
        QTest::addColumn<QString>("ip");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QString>("log");
        QTest::addColumn<QString>("state");
        // In a log, @ stands for ">198.18.0.2" and ~N for "Retrying in N seconds...".
        const char* a = "198.18.0.2";
        addRow("reply", a, "c0", "@|0 ms", "G-3");
        addRow("decimal, blanks", "198.018.000. 10", "c7", ">198.18.0.10|7 ms", "G-3");
        addRow("unreachable", a, "cH", "@|Destination Host Unreachable", "R-3");
        addRow("no host: zeros", "0.0.0.0", "c", "Unknown Response", "R-3");
        addRow("invalid: empty", "", "c", "", "I-3");
        addRow("socket layer fails: box, then caption", a, "xc",
               "[Ping failed: Windows Sockets not responding correctly.]|Unable to init sockets",
               "R-3");
        addRow("two countdowns, a reply ends them", a, "cTffffTffff4f",
               ">198.18.0.2|Request Timed Out|Retrying in 2 seconds...|Retrying in 1 "
               "seconds...|Retrying in 0 seconds...|>198.18.0.2|Request Timed Out|Retrying in 2 "
               "seconds...|Retrying in 1 seconds...|Retrying in 0 seconds...|>198.18.0.2|4 ms|off",
               "G-3");
        addRow("click stops, next resumes the count", a, "cTffcfcTff",
               "@|Request Timed Out|~2|~1|<Stopped>|off|@|Request Timed Out|~0|@", "R-3*");
        addRow("retry without address ends", a, "cTeffff", "@|Request Timed Out|~2|~1|~0", "R-3");
        addRow("Timed inside a word", a, "{xTimedx}", "xTimedx", "I+3");
        addRow("timed in lower case", a, "{Request timed out}", "Request timed out", "I-3");
        // Clicks during an echo are handled in turn after its outcome.
        addRow("held click, reply", a, "cc78", "@|7 ms|@|8 ms", "G-3");
        addRow("two held, time-out", a, "cccT8", "@|Request Timed Out|<Stopped>|@|8 ms", "G-3");
        addRow("tick during echo waits", a, "c{Timed}f", "@|Timed", "I+3*");
        addRow("second PingElement ignored", a, "cP", "@", "I-3*");
        // Another element selected during the echo: its outcome is shown
        // first and a time-out's countdown pings the panel's new address; the field
        // then shows what the selection set, at its place among the clicks.
        addRow("selected meanwhile: reply", a, "cs3c",
               "@|<Click to test>|3 ms|<Click to test>|>198.18.0.9", "I-3*");
        addRow("selected meanwhile: time-out counts down", a, "csTffff",
               "@|<Click to test>|Request Timed Out|<Click to test>|~2|~1|~0|>198.18.0.9", "I-3*");
        addRow("click, then selected meanwhile", a, "ccsT",
               "@|<Click to test>|Request Timed Out|<Stopped>|<Click to test>", "I-3");
        // Gestures: a second click would stop the countdown of the time-out.
        for (const char* gesture : {"mT", "dT", "kT", "KT"})
            addRow(gesture, a, gesture, "@|Request Timed Out", "R+3");
        for (const char* gesture : {"p", "o", "g"})
            addRow(gesture, a, gesture, "", "I-3");
    }
    void script()
    {
        QFETCH(QString, ip);
        QFETCH(QString, script);
        QFETCH(QString, log);
        QFETCH(QString, state);
        PingRig rig(ip);
        rig.run(script);
        static const QRegularExpression countdown(QStringLiteral("~(\\d)"));
        QCOMPARE(rig.log.join(u'|'),
                 QString(log)
                     .replace(u'@', QStringLiteral(">198.18.0.2"))
                     .replace(countdown, QStringLiteral("Retrying in \\1 seconds...")));
        QCOMPARE(rig.state(), state);
        for (const MessageBoxRequest& box : std::as_const(rig.dialogs.boxes))
            QVERIFY(box.icon == BoxIcon::Critical && box.buttons == BoxButtons::Ok);
    }
};

QTEST_MAIN(PingControllerTest)
#include "tst_PingController.moc"
