#include <QtTest>

#include <optional>

#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
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

// How the focus comes to a field: by Tab or a click it selects the text;
// coming back from the field's own context menu, another window or a click
// on the ping field it does not.
enum class Arrival { Tab, Mouse, ContextMenu, OtherWindow, PingClick };

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
    void cleanup() { m_fixture.reset(); }

    // Set twice, with everything the switch resets put into the opposite
    // state in between: the same caption runs the layout again.
    void layoutFollowsEveryCaption_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<bool>("encoder");
        addRow("encoder", "ENCODER", true);
        addRow("decoder", "DECODER", false);
        addRow("lower-case encoder", "encoder", false);
    }
    void layoutFollowsEveryCaption()
    {
        QFETCH(QString, caption);
        QFETCH(bool, encoder);
        FrmMainControls& ui = m_fixture->ui();
        const QList<QWidget*> hiddenOnEncoder{ui.scrlAtten, ui.lblAttenDB};
        const QList<QWidget*> shownOnEncoder{ui.txtRemoteIP, ui.cmbAudioInput, ui.cmbAudioTX};
        const QList<QWidget*> enabledOnDecoder{ui.scrlBuffer,      ui.cmbSilDetMode,
                                               ui.scrlSilDetLevel, ui.scrlSilDetTime,
                                               ui.lblSilDetLevel,  ui.lblSilDetTime};
        ui.lblElementType->setCaption(caption);
        for (QWidget* w : hiddenOnEncoder)
            w->setHidden(!encoder);
        for (QWidget* w : shownOnEncoder)
            w->setHidden(encoder);
        for (QWidget* w : enabledOnDecoder)
            w->setEnabled(encoder);
        ui.Label9->setText(QString());
        ui.scrlBuffer->setValue(4);
        ui.tmrVolume->setEnabled(true);
        ui.chkGetVolume->show();
        ui.chkGetVolume->setChecked(true);
        ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(!encoder);
        ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(true);
        ui.VUMeter->setEnabled(!encoder);
        ui.VUMeter->setWidthTwips(1200);
        ui.lblVolume->setText(QStringLiteral("-6dBFS"));

        ui.lblElementType->setCaption(caption);

        for (QWidget* w : hiddenOnEncoder)
            QCOMPARE(w->isHidden(), encoder);
        for (QWidget* w : shownOnEncoder)
            QCOMPARE(w->isHidden(), !encoder);
        for (QWidget* w : enabledOnDecoder)
            QCOMPARE(w->isEnabled(), !encoder);
        QCOMPARE(ui.Label9->text(),
                 encoder ? QStringLiteral("Audio source:") : QStringLiteral("Audio atten:"));
        QVERIFY(!ui.tmrVolume->isEnabled());
        QVERIFY(!ui.chkGetVolume->isChecked());
        QVERIFY(ui.chkGetVolume->isHidden());
        QCOMPARE(ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled(), encoder);
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
        QCOMPARE(ui.VUMeter->isEnabled(), encoder);
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QCOMPARE(ui.lblVolume->text(), QStringLiteral("-oodBFS"));
        QCOMPARE(ui.scrlBuffer->value(), encoder ? 0 : 4);
        QCOMPARE(ui.lblLatency->text(), encoder ? QStringLiteral("0mS") : QStringLiteral("10mS"));
    }

    // The list is changed after the layout. The transmission mode shows the
    // remote address on an encoder only, and keeps its text; the silence
    // detector's mode does not consult the element type.
    void listRules()
    {
        FrmMainControls& ui = m_fixture->ui();
        const std::tuple<bool, const char*, int, bool> rows[] = {
            {true, "ENCODER", 0, true},   {true, "ENCODER", 1, false},
            {true, "ENCODER", -1, true},  {true, "DECODER", 0, false},
            {false, "DECODER", 1, false}, {false, "DECODER", -1, true},
            {false, "ENCODER", 1, false},
        };
        for (const auto& [tx, caption, index, on] : rows) {
            QComboBox* list = tx ? ui.cmbAudioTX : ui.cmbSilDetMode;
            ui.txtRemoteIP->setText(QStringLiteral("198.18.0.9"));
            list->setCurrentIndex(index <= 0 ? 1 : 0);
            ui.lblElementType->setCaption(QString::fromLatin1(caption));
            list->setCurrentIndex(index);
            const QList<QWidget*> ruled =
                tx ? QList<QWidget*>{ui.txtRemoteIP}
                   : QList<QWidget*>{ui.scrlSilDetLevel, ui.lblSilDetLevel, ui.Label24,
                                     ui.scrlSilDetTime,  ui.lblSilDetTime,  ui.Label26};
            for (QWidget* w : ruled)
                QVERIFY2((tx ? !w->isHidden() : w->isEnabled()) == on,
                         qPrintable(QString::fromLatin1(caption) + QString::number(index)));
            QCOMPARE(ui.txtRemoteIP->text(), QStringLiteral("198.18.0.9"));
        }
    }

    // The readout follows a dragged thumb once, when it is let go, in the
    // locale's decimal separator; an address field is tinted while its text
    // is no address, set or typed.
    void readoutAndAddressFollowTheOperator()
    {
        FrmMainControls& ui = m_fixture->ui();
        QLocale::setDefault(QLocale(QStringLiteral("de_DE")));
        ui.scrlSilDetTime->setSliderDown(true);
        ui.scrlSilDetTime->setSliderPosition(220);
        QCOMPARE(ui.lblSilDetTime->text(), QStringLiteral("0Sec"));
        ui.scrlSilDetTime->setSliderDown(false);
        QCOMPARE(ui.lblSilDetTime->text(), QStringLiteral("100,1Sec"));
        for (QLineEdit* edit :
             {ui.txtElementIP, ui.txtElementMask, ui.txtElementGW, ui.txtRemoteIP}) {
            edit->setText(QStringLiteral("10.0.0"));
            QVERIFY(tinted(edit));
            edit->clear();
            QVERIFY(!tinted(edit));
            QTest::keyClicks(edit, QStringLiteral("10.0.0"));
            QVERIFY(tinted(edit));
            QTest::keyClicks(edit, QStringLiteral(".1"));
            QVERIFY(!tinted(edit));
        }
    }

    // Each field selects its text when the operator moves to it; the name is
    // upper-cased only when the focus leaves it for another control.
    void focusRules_data()
    {
        QTest::addColumn<Arrival>("arrival");
        addRow("by tab", Arrival::Tab);
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
        const bool moved = arrival == Arrival::Tab || arrival == Arrival::Mouse;
        const QList<QLineEdit*> fields =
            moved ? QList<QLineEdit*>{ui.txtElementName, ui.txtElementIP, ui.txtElementMask,
                                      ui.txtElementGW,   ui.txtRemoteIP,  ui.txtVLAN_OM}
                  : QList<QLineEdit*>{ui.txtElementName};
        for (QLineEdit* edit : fields) {
            edit->setEnabled(true);
            edit->setText(QStringLiteral("studio b"));
            ui.TreeView1->setFocus();
            QTRY_VERIFY(ui.TreeView1->hasFocus());
            if (arrival == Arrival::Mouse)
                QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(5, edit->height() / 2));
            else
                edit->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(edit->hasFocus());
            QTRY_COMPARE(edit->selectedText(), QStringLiteral("studio b"));
            QCOMPARE(edit->selectionStart(), 0);
        }
        QLineEdit* name = ui.txtElementName;
        if (moved) {
            QCOMPARE(name->text(), QStringLiteral("STUDIO B"));
            return;
        }
        QCoreApplication::processEvents();
        name->deselect();
        QWidget other;
        switch (arrival) {
        case Arrival::ContextMenu: {
            QTimer::singleShot(0, name, [] {
                if (QWidget* menu = QApplication::activePopupWidget())
                    QTest::keyClick(menu, Qt::Key_Escape);
            });
            QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                         name->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(name, &rightClick);
            break;
        }
        case Arrival::OtherWindow:
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QVERIFY(m_fixture->showActive());
            break;
        default: QTest::mouseClick(ui.lblPing, Qt::LeftButton); break;
        }
        QTRY_VERIFY(name->hasFocus());
        QCoreApplication::processEvents(); // a queued selection would land now
        QVERIFY(!name->hasSelectedText());
        QCOMPARE(name->text(), QStringLiteral("studio b"));
    }

    // Captions in this order, fields and three lists emptied; the rest is
    // left as it was.
    void clearPropertiesPanel()
    {
        FrmMainControls& ui = m_fixture->ui();
        ui.lblElementType->setCaption(QStringLiteral("ENCODER"));
        const QList<QLineEdit*> cleared{ui.txtElementName, ui.txtElementIP, ui.txtElementMask,
                                        ui.txtElementGW, ui.txtRemoteIP};
        for (QLineEdit* e : cleared)
            e->setText(QStringLiteral("10.0.0"));
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
        QCOMPARE(ui.lblLatency->text(), QStringLiteral("0mS"));
        for (QLineEdit* e : cleared) {
            QVERIFY(e->text().isEmpty());
            QVERIFY(!tinted(e));
        }
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX})
            QCOMPARE(c->currentIndex(), -1);
        QVERIFY(!ui.scrlAtten->isHidden()); // the layout of type "-"
        QCOMPARE(ui.cmbSilDetMode->currentIndex(), 1);
        QCOMPARE(ui.scrlBuffer->value(), 5);
    }

    // Only the operator's moves set the interval: a drag, an arrow or a key.
    void sliderMovedByOperatorSetsPollingInterval()
    {
        QSlider* slider = m_fixture->ui().Slider1;
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
        slider->setSliderDown(false);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(volume->interval(), slider->value());
        QVERIFY(volume->interval() != 400);
    }
};

QTEST_MAIN(PropertiesPanelTest)
#include "tst_PropertiesPanel.moc"
