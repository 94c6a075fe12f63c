#include <QtTest>

#include <optional>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTreeWidget>

#include "PanelFixture.h"
#include "ui/CaptionLabel.h"
#include "ui/ShapeWidget.h"
#include "ui/VuMeterImage.h"

using namespace nms;
using namespace nms::test;

namespace {

const QColor kInvalid(255, 128, 128);

// What takes the focus from a field and gives it back.
enum class Interruption { ContextMenu, OtherWindow, PingClick };

QColor base(const QLineEdit* edit)
{
    return edit->palette().color(QPalette::Base);
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
        QTest::newRow("encoder") << "ENCODER" << true;
        QTest::newRow("decoder") << "DECODER" << false;
        QTest::newRow("unknown") << "UNKNOWN" << false;
        QTest::newRow("dash") << "-" << false;
        QTest::newRow("lower-case encoder") << "encoder" << false;
        QTest::newRow("encoder with blank") << "ENCODER " << false;
    }
    void layoutFollowsEveryCaption()
    {
        QFETCH(QString, caption);
        QFETCH(bool, encoder);
        FrmMainControls& ui = m_fixture->ui();
        ui.lblElementType->setCaption(caption);
        ui.scrlBuffer->setEnabled(true);
        ui.scrlBuffer->setValue(4);
        ui.cmbSilDetMode->setCurrentIndex(2);
        ui.tmrVolume->setEnabled(true);
        ui.chkGetVolume->show();
        ui.chkGetVolume->setChecked(true);
        ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(!encoder);
        ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(true);
        ui.VUMeter->setWidthTwips(1200);
        ui.lblVolume->setText(QStringLiteral("-6dBFS"));

        ui.lblElementType->setCaption(caption);

        for (QWidget* w : std::initializer_list<QWidget*>{
                 ui.txtRemoteIP, ui.cmbAudioInput, ui.cmbAudioTX, ui.scrlAtten, ui.lblAttenDB})
            QCOMPARE(w->isHidden(), encoder == (w == ui.scrlAtten || w == ui.lblAttenDB));
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
        QCOMPARE(ui.scrlBuffer->isEnabled(), !encoder);
        QCOMPARE(ui.lblLatency->text(), encoder ? QStringLiteral("0mS") : QStringLiteral("10mS"));
        for (QWidget* w : std::initializer_list<QWidget*>{ui.cmbSilDetMode, ui.scrlSilDetLevel,
                                                          ui.scrlSilDetTime, ui.lblSilDetLevel,
                                                          ui.lblSilDetTime})
            QCOMPARE(w->isEnabled(), !encoder);
        // The layout leaves the threshold and timeout captions as they were,
        // and "N/A" lies under the transmission controls, never hidden.
        QVERIFY(!ui.Label24->isEnabled());
        QVERIFY(!ui.Label26->isEnabled());
        QVERIFY(!ui.Label15->isHidden());
        QVERIFY(!ui.Label16->isHidden());
    }

    // The list is changed after the layout. The transmission mode shows the
    // remote address on an encoder only, and keeps its text; the silence
    // detector's mode does not consult the element type.
    void listRules_data()
    {
        QTest::addColumn<bool>("tx");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("on");
        QTest::newRow("encoder unicast") << true << "ENCODER" << 0 << true;
        QTest::newRow("encoder multicast") << true << "ENCODER" << 1 << false;
        QTest::newRow("encoder no mode") << true << "ENCODER" << -1 << true;
        QTest::newRow("decoder unicast") << true << "DECODER" << 0 << false;
        QTest::newRow("decoder multicast") << true << "DECODER" << 1 << false;
        QTest::newRow("auto detect") << false << "DECODER" << 0 << true;
        QTest::newRow("force internal") << false << "DECODER" << 1 << false;
        QTest::newRow("force external") << false << "DECODER" << 2 << false;
        QTest::newRow("no detector mode") << false << "DECODER" << -1 << true;
        QTest::newRow("encoder, auto detect") << false << "ENCODER" << 0 << true;
        QTest::newRow("encoder, force internal") << false << "ENCODER" << 1 << false;
    }
    void listRules()
    {
        QFETCH(bool, tx);
        QFETCH(QString, caption);
        QFETCH(int, index);
        QFETCH(bool, on);
        FrmMainControls& ui = m_fixture->ui();
        QComboBox* list = tx ? ui.cmbAudioTX : ui.cmbSilDetMode;
        ui.txtRemoteIP->setText(QStringLiteral("198.18.0.9"));
        list->setCurrentIndex(index <= 0 ? 1 : 0);
        ui.lblElementType->setCaption(caption);
        list->setCurrentIndex(index);
        const QList<QWidget*> ruled =
            tx ? QList<QWidget*>{ui.txtRemoteIP}
               : QList<QWidget*>{ui.scrlSilDetLevel, ui.lblSilDetLevel, ui.Label24,
                                 ui.scrlSilDetTime,  ui.lblSilDetTime,  ui.Label26};
        for (QWidget* w : ruled)
            QCOMPARE(tx ? !w->isHidden() : w->isEnabled(), on);
        QCOMPARE(ui.txtRemoteIP->text(), QStringLiteral("198.18.0.9"));
        QVERIFY(!ui.Label16->isHidden());
    }

    // Ties to even, shortest form, and the locale's decimal separator.
    void readouts_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("buffer 1") << "scrlBuffer" << 1 << "2.5mS";
        QTest::newRow("buffer 2") << "scrlBuffer" << 2 << "5mS";
        QTest::newRow("buffer 5") << "scrlBuffer" << 5 << "12.5mS";
        QTest::newRow("buffer 8") << "scrlBuffer" << 8 << "20mS";
        QTest::newRow("level 1") << "scrlSilDetLevel" << 1 << "-49.8dBu";
        QTest::newRow("level 2") << "scrlSilDetLevel" << 2 << "-43.7dBu";
        QTest::newRow("level 37") << "scrlSilDetLevel" << 37 << "-18.4dBu";
        QTest::newRow("level 100") << "scrlSilDetLevel" << 100 << "-9.8dBu";
        QTest::newRow("level 154") << "scrlSilDetLevel" << 154 << "-6dBu";
        QTest::newRow("time 1") << "scrlSilDetTime" << 1 << "0.5Sec";
        QTest::newRow("time 43") << "scrlSilDetTime" << 43 << "19.6Sec";
        QTest::newRow("time 220") << "scrlSilDetTime" << 220 << "100.1Sec";
    }
    void readouts()
    {
        QFETCH(QString, bar);
        QFETCH(int, value);
        QFETCH(QString, expected);
        FrmMainControls& ui = m_fixture->ui();
        auto* scroll = ui.frmMain->findChild<QScrollBar*>(bar);
        QLabel* readout = bar == QLatin1String("scrlBuffer")        ? ui.lblLatency
                          : bar == QLatin1String("scrlSilDetLevel") ? ui.lblSilDetLevel
                                                                    : ui.lblSilDetTime;
        for (const char* locale : {"C", "de_DE"}) {
            QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
            scroll->setValue(value == scroll->minimum() ? scroll->maximum() : scroll->minimum());
            scroll->setValue(value);
            QCOMPARE(readout->text(), expected);
            expected.replace(QLatin1Char('.'), QLatin1Char(','));
        }
    }

    // A dragged thumb changes the readout once, when it is let go; an arrow
    // or page click at once.
    void readoutFollowsTheOperatorsAction()
    {
        FrmMainControls& ui = m_fixture->ui();
        ui.scrlSilDetTime->setValue(2);
        ui.scrlSilDetTime->setSliderDown(true);
        ui.scrlSilDetTime->setSliderPosition(43);
        QCOMPARE(ui.lblSilDetTime->text(), QStringLiteral("0.9Sec"));
        ui.scrlSilDetTime->setSliderDown(false);
        QCOMPARE(ui.lblSilDetTime->text(), QStringLiteral("19.6Sec"));
        ui.scrlBuffer->setEnabled(true);
        ui.scrlBuffer->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(ui.lblLatency->text(), QStringLiteral("2.5mS"));
        ui.scrlBuffer->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(ui.lblLatency->text(), QStringLiteral("20mS"));
    }

    // Set, and typed key by key, in each of the four address fields.
    void addressColour_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("invalid");
        QTest::newRow("three numbers") << "10.0.0" << true;
        QTest::newRow("valid") << "198.18.0.1" << false;
        QTest::newRow("above 255") << "10.0.0.256" << true;
        QTest::newRow("letters") << "abc" << true;
        QTest::newRow("empty") << "" << false;
    }
    void addressColour()
    {
        QFETCH(QString, text);
        QFETCH(bool, invalid);
        FrmMainControls& ui = m_fixture->ui();
        for (QLineEdit* edit :
             {ui.txtElementIP, ui.txtElementMask, ui.txtElementGW, ui.txtRemoteIP}) {
            const QColor normal = base(edit);
            QVERIFY(normal != kInvalid);
            edit->setText(text);
            QCOMPARE(base(edit), invalid ? kInvalid : normal);
            edit->clear();
            QCOMPARE(base(edit), normal);
            QTest::keyClicks(edit, text);
            QCOMPARE(base(edit), invalid ? kInvalid : normal);
        }
    }

    void selectAllOnFocus_data()
    {
        QTest::addColumn<bool>("byMouse");
        QTest::newRow("by tab") << false;
        QTest::newRow("by mouse") << true;
    }
    void selectAllOnFocus()
    {
        QFETCH(bool, byMouse);
        FrmMainControls& ui = m_fixture->ui();
        ui.lblElementType->setCaption(QStringLiteral("ENCODER"));
        for (const QString& text : {QStringLiteral("12"), QStringLiteral("345")}) {
            ui.txtVLAN_Audio->setText(text);
            QCOMPARE(ui.txtVLAN_Audio->selectedText(), text);
        }
        if (!m_fixture->showActive())
            QSKIP("the window cannot be made active on this platform");
        for (QLineEdit* edit : {ui.txtElementName, ui.txtElementIP, ui.txtElementMask,
                                ui.txtElementGW, ui.txtRemoteIP, ui.txtVLAN_OM}) {
            edit->setEnabled(true);
            edit->setText(QStringLiteral("10.1.2.3"));
            ui.TreeView1->setFocus();
            QTRY_VERIFY(ui.TreeView1->hasFocus());
            QVERIFY(!edit->hasSelectedText());
            if (byMouse)
                QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(5, edit->height() / 2));
            else
                edit->setFocus(Qt::TabFocusReason);
            QTRY_VERIFY(edit->hasFocus());
            QTRY_COMPARE(edit->selectedText(), QStringLiteral("10.1.2.3"));
            QCOMPARE(edit->selectionStart(), 0);
        }
    }

    // Only when the focus leaves; a capital that is not one Latin-1
    // character leaves the letter as typed.
    void nameUpperCasedWhenFocusLeaves_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        const std::pair<const char*, const char*> rows[] = {
            {"studio b", "STUDIO B"},
            {"\u00b5st\u00e9r\u00ff", "\u00b5ST\u00c9R\u00ff"},
            {"gro\u00dfe stra\u00dfe 12a", "GRO\u00dfE STRA\u00dfE 12A"},
        };
        for (const auto& [typed, shown] : rows)
            QTest::newRow(typed) << QString::fromUtf8(typed) << QString::fromUtf8(shown);
    }
    void nameUpperCasedWhenFocusLeaves()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        FrmMainControls& ui = m_fixture->ui();
        if (!m_fixture->showActive())
            QSKIP("the window cannot be made active on this platform");
        ui.txtElementName->setFocus();
        QTRY_VERIFY(ui.txtElementName->hasFocus());
        ui.txtElementName->setText(typed);
        QCOMPARE(ui.txtElementName->text(), typed);
        ui.txtElementIP->setFocus();
        QTRY_VERIFY(ui.txtElementIP->hasFocus());
        QCOMPARE(ui.txtElementName->text(), shown);
    }

    // The operator is still typing the name: its own context menu, a visit
    // to another window and a click on the ping field neither change its
    // case nor select it for the next key to replace.
    void focusRulesIgnoreFocusThatComesBack_data()
    {
        QTest::addColumn<Interruption>("interruption");
        QTest::newRow("context menu, Escape") << Interruption::ContextMenu;
        QTest::newRow("another window and back") << Interruption::OtherWindow;
        QTest::newRow("click on the ping field") << Interruption::PingClick;
    }
    void focusRulesIgnoreFocusThatComesBack()
    {
        QFETCH(Interruption, interruption);
        FrmMainControls& ui = m_fixture->ui();
        if (!m_fixture->showActive())
            QSKIP("the window cannot be made active on this platform");
        QLineEdit* name = ui.txtElementName;
        name->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(name->hasFocus());
        QCoreApplication::processEvents(); // the entry's own select-all lands first
        QTest::keyClicks(name, QStringLiteral("studio b"));
        QWidget other;
        switch (interruption) {
        case Interruption::ContextMenu: {
            QTimer::singleShot(0, name, [] {
                if (QWidget* menu = QApplication::activePopupWidget())
                    QTest::keyClick(menu, Qt::Key_Escape);
            });
            QContextMenuEvent rightClick(QContextMenuEvent::Mouse, QPoint(5, 5),
                                         name->mapToGlobal(QPoint(5, 5)));
            QApplication::sendEvent(name, &rightClick);
            break;
        }
        case Interruption::OtherWindow:
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            QVERIFY(m_fixture->showActive());
            break;
        case Interruption::PingClick: QTest::mouseClick(ui.lblPing, Qt::LeftButton); break;
        }
        QTRY_VERIFY(name->hasFocus());
        QCoreApplication::processEvents(); // a queued selection would land now
        QCOMPARE(name->text(), QStringLiteral("studio b"));
        QVERIFY(!name->hasSelectedText());
    }

    // Captions in this order, fields and three lists emptied; the rest is
    // left as it was.
    void clearPropertiesPanel()
    {
        FrmMainControls& ui = m_fixture->ui();
        ui.lblElementType->setCaption(QStringLiteral("ENCODER"));
        for (CaptionLabel* label :
             {ui.lblElementMAC, ui.lblSerialNumber, ui.lblPing, ui.lblVersion})
            label->setCaption(QStringLiteral("1234"));
        ui.shpPing->setFillColor(QColor(0, 255, 0));
        const QList<QLineEdit*> cleared{ui.txtElementName, ui.txtElementIP, ui.txtElementMask,
                                        ui.txtElementGW, ui.txtRemoteIP};
        for (QLineEdit* e : cleared)
            e->setText(QStringLiteral("10.0.0"));
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX, ui.cmbSilDetMode})
            c->setCurrentIndex(1);
        ui.cmbEncoders->addItems(
            {QStringLiteral("<None>"), QStringLiteral("X [00:00:00:00:00:01]")});
        ui.cmbEncoders->setCurrentIndex(1);
        ui.chkSFNEnabled->setChecked(true);
        ui.scrlSilDetLevel->setValue(37);
        ui.scrlSilDetTime->setValue(43);
        ui.scrlAtten->setValue(20);
        ui.lblElementType->setCaption(QStringLiteral("DECODER"));
        ui.scrlBuffer->setValue(5);
        const QColor normal = QLineEdit().palette().color(QPalette::Base);
        QStringList order;
        for (CaptionLabel* label :
             {ui.lblElementType, ui.lblElementMAC, ui.lblSerialNumber, ui.lblPing, ui.lblVersion})
            connect(label, &CaptionLabel::captionSet, label, [&order, label] {
                order << label->objectName() + QLatin1Char('=') + label->text();
            });

        m_fixture->panel.ClearPropertiesPanel();

        QCOMPARE(order, (QStringList{
                            QStringLiteral("lblElementType=-"), QStringLiteral("lblElementMAC=-"),
                            QStringLiteral("lblSerialNumber=-"),
                            QStringLiteral("lblPing=<Unknown>"), QStringLiteral("lblVersion=-")}));
        QCOMPARE(ui.lblLatency->text(), QStringLiteral("0mS"));
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
        for (QLineEdit* e : cleared) {
            QVERIFY(e->text().isEmpty());
            QCOMPARE(base(e), normal);
        }
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX})
            QCOMPARE(c->currentIndex(), -1);
        // Decoder-style layout with type "-".
        QVERIFY(!ui.scrlAtten->isHidden());
        QVERIFY(ui.cmbAudioInput->isHidden());
        QCOMPARE(ui.cmbSilDetMode->currentIndex(), 1);
        QCOMPARE(ui.cmbEncoders->currentIndex(), 1);
        QVERIFY(ui.chkSFNEnabled->isChecked());
        QCOMPARE(ui.scrlBuffer->value(), 5);
        QCOMPARE(ui.scrlAtten->value(), 20);
        QCOMPARE(ui.scrlSilDetLevel->value(), 37);
        QCOMPARE(ui.scrlSilDetTime->value(), 43);
        QCOMPARE(ui.txtVLAN_OM->text(), QStringLiteral("1"));
        QCOMPARE(ui.txtVLAN_Audio->text(), QStringLiteral("1"));
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
        QCOMPARE(volume->interval(), 400);
        QTest::keyClick(slider, Qt::Key_PageUp);
        QCOMPARE(volume->interval(), slider->value());
        QVERIFY(volume->interval() != 400);
    }
};

QTEST_MAIN(PropertiesPanelTest)
#include "tst_PropertiesPanel.moc"
