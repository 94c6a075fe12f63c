#include <QtTest>

#include <optional>

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTreeWidget>

#include "PanelFixture.h"
#include "TableRow.h"
#include "ui/CaptionLabel.h"
#include "ui/VuMeterImage.h"

using namespace nms;
using namespace nms::test;

namespace {

// How the focus comes to a field: a click selects the text once the click is
// done; coming back from the field's own context menu, another window or a
// click on the ping field it does not.
enum class Arrival { Mouse, ContextMenu, OtherWindow, PingClick };

bool tinted(const QLineEdit* edit)
{
    return edit->palette().color(QPalette::Base) == QColor(255, 128, 128);
}

} // namespace

class PropertiesPanelTest : public QObject {
    Q_OBJECT
    std::optional<PanelFixture> m_fixture;

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        m_fixture.emplace();
    }

    // Set twice, with everything the switch resets put into the opposite
    // state in between: the same caption runs the layout again. Only the
    // exact upper-case caption is an encoder's.
    void layoutFollowsEveryCaption()
    {
        FrmMainControls& ui = m_fixture->ui();
        const QList<QWidget*> shown{ui.scrlAtten,     ui.lblAttenDB, ui.txtRemoteIP,
                                    ui.cmbAudioInput, ui.cmbAudioTX, ui.chkGetVolume};
        const QList<QObject*> enabled{ui.scrlBuffer,
                                      ui.cmbSilDetMode,
                                      ui.scrlSilDetLevel,
                                      ui.scrlSilDetTime,
                                      ui.lblSilDetLevel,
                                      ui.lblSilDetTime,
                                      ui.VUMeter,
                                      ui.Toolbar1Buttons[kStartMonitoringButton],
                                      ui.Toolbar1Buttons[kStopMonitoringButton]};
        const auto state = [&]() -> QString {
            QString s;
            for (QWidget* w : shown)
                s += QString::number(!w->isHidden());
            for (QObject* o : enabled)
                s += QString::number(o->property("enabled").toBool());
            return s + QString::number(ui.tmrVolume->isEnabled()) +
                   QString::number(ui.chkGetVolume->isChecked()) + u' ' + ui.Label9->text() + u' ' +
                   ui.lblLatency->text() + u' ' + ui.lblVolume->text() + u' ' +
                   QString::number(ui.VUMeter->widthTwips());
        };
        const std::pair<const char*, const char*> rows[] = {
            {"ENCODER", "00111000000011000 Audio source: 0mS -oodBFS 0"},
            {"encoder", "11000011111100000 Audio atten: 10mS -oodBFS 0"},
        };
        for (const auto& [caption, expected] : rows) {
            ui.lblElementType->setCaption(latin1(caption));
            for (QWidget* w : shown)
                w->setHidden(!w->isHidden());
            for (QObject* o : enabled)
                o->setProperty("enabled", !o->property("enabled").toBool());
            ui.Label9->clear();
            ui.scrlBuffer->setValue(4);
            ui.tmrVolume->setEnabled(true);
            ui.chkGetVolume->setChecked(true);
            ui.VUMeter->setWidthTwips(1200);
            ui.lblVolume->clear();
            ui.lblElementType->setCaption(latin1(caption));
            QCOMPARE(state(), latin1(expected));
        }
    }

    // The list is changed after the layout. The transmission mode shows the
    // remote address on an encoder only, and keeps its text; the silence
    // detector's mode does not consult the element type.
    void listRules()
    {
        FrmMainControls& ui = m_fixture->ui();
        const std::tuple<bool, const char*, int> rows[] = {
            {true, "ENCODER", 0},  {true, "ENCODER", 1},  {true, "DECODER", 0},
            {false, "DECODER", 1}, {false, "DECODER", 0},
        };
        QString on;
        ui.txtRemoteIP->setText(QStringLiteral("198.18.0.9"));
        for (const auto& [tx, caption, index] : rows) {
            QComboBox* list = tx ? ui.cmbAudioTX : ui.cmbSilDetMode;
            list->setCurrentIndex(1 - index);
            ui.lblElementType->setCaption(latin1(caption));
            list->setCurrentIndex(index);
            for (QWidget* w :
                 tx ? QList<QWidget*>{ui.txtRemoteIP}
                    : QList<QWidget*>{ui.scrlSilDetLevel, ui.lblSilDetLevel, ui.Label24,
                                      ui.scrlSilDetTime, ui.lblSilDetTime, ui.Label26})
                on += QString::number(tx ? !w->isHidden() : w->isEnabled());
            on += u' ';
        }
        QCOMPARE(on + ui.txtRemoteIP->text(), QStringLiteral("1 0 0 000000 111111 198.18.0.9"));
    }

    // Each field selects its text when the operator moves to it; the name is
    // upper-cased only when the focus leaves it for another control.
    void focusRules_data()
    {
        QTest::addColumn<Arrival>("arrival");
        addRow("by mouse", Arrival::Mouse);
        addRow("back from the context menu", Arrival::ContextMenu);
        addRow("back from another window", Arrival::OtherWindow);
        addRow("click on the ping field", Arrival::PingClick);
    }
    void focusRules()
    {
        QFETCH(Arrival, arrival);
        FrmMainControls& ui = m_fixture->ui();
        ui.lblElementType->setCaption(QStringLiteral("ENCODER"));
        ui.txtVLAN_Audio->setText(QStringLiteral("12"));
        QCOMPARE(ui.txtVLAN_Audio->selectedText(), QStringLiteral("12"));
        if (!m_fixture->showActive())
            QSKIP("the window cannot be made active on this platform");
        QLineEdit* name = ui.txtElementName;
        for (QLineEdit* edit : {name, ui.txtElementIP, ui.txtElementMask, ui.txtElementGW,
                                ui.txtRemoteIP, ui.txtVLAN_OM}) {
            edit->setEnabled(true);
            edit->setText(QStringLiteral("studio b"));
            ui.TreeView1->setFocus();
            QTRY_VERIFY(ui.TreeView1->hasFocus());
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(5, edit->height() / 2));
            QTRY_COMPARE(edit->selectedText(), QStringLiteral("studio b"));
            if (arrival != Arrival::Mouse)
                break;
        }
        if (arrival == Arrival::Mouse) {
            QCOMPARE(name->text(), QStringLiteral("STUDIO B"));
            return;
        }
        name->deselect();
        QWidget other;
        if (arrival == Arrival::ContextMenu) {
            QTimer::singleShot(0, name, [] {
                QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_Escape);
            });
            QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                         name->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(name, &rightClick);
        } else if (arrival == Arrival::OtherWindow) {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QVERIFY(m_fixture->showActive());
        } else {
            QTest::mouseClick(ui.lblPing, Qt::LeftButton);
        }
        QTRY_VERIFY(name->hasFocus());
        QCoreApplication::processEvents(); // a queued selection would land now
        QVERIFY(!name->hasSelectedText());
        QCOMPARE(name->text(), QStringLiteral("studio b"));
    }

    // Captions in this order, fields and three lists emptied; the rest is
    // left as it was. An address field is tinted while its text is no
    // address; the name is none.
    void clearPropertiesPanel()
    {
        FrmMainControls& ui = m_fixture->ui();
        ui.lblElementType->setCaption(QStringLiteral("ENCODER"));
        const QList<QLineEdit*> cleared{ui.txtElementName, ui.txtElementIP, ui.txtElementMask,
                                        ui.txtElementGW, ui.txtRemoteIP};
        QString tints;
        for (QLineEdit* e : cleared) {
            e->setText(e == ui.txtElementMask ? QStringLiteral("10.0.0.1")
                                              : QStringLiteral("10.0.0"));
            tints += QString::number(tinted(e));
        }
        QCOMPARE(tints, QStringLiteral("01011"));
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX, ui.cmbSilDetMode})
            c->setCurrentIndex(1);
        ui.lblElementType->setCaption(QStringLiteral("DECODER"));
        ui.scrlBuffer->setValue(5);
        QStringList order;
        for (CaptionLabel* label :
             {ui.lblElementType, ui.lblElementMAC, ui.lblSerialNumber, ui.lblPing, ui.lblVersion})
            connect(label, &CaptionLabel::captionSet, label, [&order, label] {
                order << label->objectName() + QLatin1Char('=') + label->text();
            });

        m_fixture->panel.ClearPropertiesPanel();

        QCOMPARE(order.join(u' '), QStringLiteral("lblElementType=- lblElementMAC=- "
                                                  "lblSerialNumber=- lblPing=<Unknown> "
                                                  "lblVersion=-"));
        QString after = ui.lblLatency->text();
        for (QLineEdit* e : cleared)
            after += e->text() + QString::number(tinted(e));
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX, ui.cmbSilDetMode})
            after += QString::number(c->currentIndex());
        // The layout of type "-" shows the attenuation; the buffer is kept.
        QCOMPARE(after + QString::number(ui.scrlAtten->isHidden()) +
                     QString::number(ui.scrlBuffer->value()),
                 QStringLiteral("0mS00000-1-1-1105"));
    }

    // Only the operator's moves set the interval: a drag or an arrow. A
    // readout follows a dragged thumb once, when it is let go, in the
    // locale's decimal separator.
    void operatorMovesTheThumbs()
    {
        FrmMainControls& ui = m_fixture->ui();
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        ui.scrlSilDetTime->setSliderDown(true);
        ui.scrlSilDetTime->setSliderPosition(220);
        QCOMPARE(ui.lblSilDetTime->text(), QStringLiteral("0Sec"));
        ui.scrlSilDetTime->setSliderDown(false);
        QCOMPARE(ui.lblSilDetTime->text(), QStringLiteral("100,1Sec"));
        QSlider* slider = ui.Slider1;
        ManualTimer* volume = m_fixture->timer(QStringLiteral("tmrVolume"));
        const int start = volume->interval();
        slider->setValue(slider->value() + 30);
        QCOMPARE(volume->interval(), start);
        slider->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(volume->interval(), slider->value());
        const int before = volume->restarts();
        slider->setSliderDown(true);
        slider->setSliderPosition(400);
        QCOMPARE(volume->interval(), 400);
        QCOMPARE(volume->restarts(), before + 1);
    }
};

QTEST_MAIN(PropertiesPanelTest)
#include "tst_PropertiesPanel.moc"
