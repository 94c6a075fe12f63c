#include <QtTest>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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

QLineEdit* field(FrmMainControls& ui, const QString& name)
{
    return ui.frmMain->findChild<QLineEdit*>(name);
}

// Everything the layout switch resets, put into the opposite state first.
void dirtyLevelDisplay(PanelFixture& f)
{
    FrmMainControls& ui = f.ui();
    ui.tmrVolume->setEnabled(true);
    ui.chkGetVolume->show();
    ui.chkGetVolume->setChecked(true);
    ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(false);
    ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(true);
    ui.VUMeter->setWidthTwips(1200);
    ui.lblVolume->setText(QStringLiteral("-6dBFS"));
}

} // namespace

class PropertiesPanelTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

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
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.scrlBuffer->setEnabled(true);
        ui.scrlBuffer->setValue(4);
        dirtyLevelDisplay(f);

        ui.lblElementType->setCaption(caption);

        QCOMPARE(ui.txtRemoteIP->isHidden(), !encoder);
        QCOMPARE(ui.cmbAudioInput->isHidden(), !encoder);
        QCOMPARE(ui.cmbAudioTX->isHidden(), !encoder);
        QCOMPARE(ui.scrlAtten->isHidden(), encoder);
        QCOMPARE(ui.lblAttenDB->isHidden(), encoder);
        QCOMPARE(ui.Label9->text(), encoder ? QString("Audio source:") : QString("Audio atten:"));
        QVERIFY(!ui.tmrVolume->isEnabled());
        QVERIFY(!ui.chkGetVolume->isChecked());
        QVERIFY(ui.chkGetVolume->isHidden());
        QCOMPARE(ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled(), encoder);
        QVERIFY(!ui.Toolbar1Buttons[kStopMonitoringButton]->isEnabled());
        QCOMPARE(ui.VUMeter->isEnabled(), encoder);
        QCOMPARE(ui.VUMeter->widthTwips(), 0);
        QCOMPARE(ui.lblVolume->text(), QString("-oodBFS"));
        QCOMPARE(ui.scrlBuffer->value(), encoder ? 0 : 4);
        QCOMPARE(ui.scrlBuffer->isEnabled(), !encoder);
        QCOMPARE(ui.lblLatency->text(), encoder ? QString("0mS") : QString("10mS"));
        for (QWidget* w :
             {static_cast<QWidget*>(ui.cmbSilDetMode), static_cast<QWidget*>(ui.scrlSilDetLevel),
              static_cast<QWidget*>(ui.scrlSilDetTime), static_cast<QWidget*>(ui.lblSilDetLevel),
              static_cast<QWidget*>(ui.lblSilDetTime)})
            QCOMPARE(w->isEnabled(), !encoder);
        // "N/A" lies under the transmission controls and is never hidden.
        QVERIFY(!ui.Label15->isHidden());
        QVERIFY(!ui.Label16->isHidden());
    }

    void sameCaptionRunsLayoutAgain()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.lblElementType->setCaption("ENCODER");
        ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(false);
        ui.tmrVolume->setEnabled(true);
        ui.lblElementType->setCaption("ENCODER");
        QVERIFY(ui.Toolbar1Buttons[kStartMonitoringButton]->isEnabled());
        QVERIFY(!ui.tmrVolume->isEnabled());
    }

    void layoutLeavesThresholdAndTimeoutCaptions()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.lblElementType->setCaption("DECODER");
        ui.cmbSilDetMode->setCurrentIndex(2);
        QVERIFY(!ui.Label24->isEnabled());
        ui.scrlBuffer->setValue(6);
        ui.lblElementType->setCaption("ENCODER");
        QCOMPARE(ui.scrlBuffer->value(), 0);
        QCOMPARE(ui.lblLatency->text(), QString("0mS"));
        QVERIFY(!ui.Label24->isEnabled());
        QVERIFY(!ui.Label26->isEnabled());
        ui.lblElementType->setCaption("DECODER");
        QVERIFY(!ui.Label24->isEnabled());
        QVERIFY(!ui.Label26->isEnabled());
    }

    void transmissionModeRule_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("remoteShown");
        QTest::newRow("encoder unicast") << "ENCODER" << 0 << true;
        QTest::newRow("encoder multicast") << "ENCODER" << 1 << false;
        QTest::newRow("encoder no selection") << "ENCODER" << -1 << true;
        // Start state of a decoder: the field is hidden, and stays so.
        QTest::newRow("decoder unicast") << "DECODER" << 0 << false;
        QTest::newRow("decoder multicast") << "DECODER" << 1 << false;
    }
    void transmissionModeRule()
    {
        QFETCH(QString, caption);
        QFETCH(int, index);
        QFETCH(bool, remoteShown);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.cmbAudioTX->setCurrentIndex(index == 0 ? 1 : 0);
        ui.lblElementType->setCaption(caption);
        ui.cmbAudioTX->setCurrentIndex(index);
        QCOMPARE(!ui.txtRemoteIP->isHidden(), remoteShown);
    }

    void multicastThenUnicastKeepsRemoteText()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.txtRemoteIP->setText("198.18.0.9");
        ui.cmbAudioTX->setCurrentIndex(1);
        ui.lblElementType->setCaption("ENCODER");
        QVERIFY(ui.txtRemoteIP->isHidden());
        QVERIFY(!ui.Label16->isHidden());
        ui.cmbAudioTX->setCurrentIndex(0);
        QVERIFY(!ui.txtRemoteIP->isHidden());
        QCOMPARE(ui.txtRemoteIP->text(), QString("198.18.0.9"));
    }

    void transmissionModeChangeOnDecoderChangesNothing()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.lblElementType->setCaption("DECODER");
        ui.cmbAudioTX->setCurrentIndex(0);
        ui.cmbAudioTX->setCurrentIndex(1);
        ui.cmbAudioTX->setCurrentIndex(0);
        QVERIFY(ui.txtRemoteIP->isHidden());
        QVERIFY(ui.cmbAudioTX->isHidden());
    }

    void silenceDetectorRule_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("auto detect") << "DECODER" << 0 << true;
        QTest::newRow("force internal") << "DECODER" << 1 << false;
        QTest::newRow("force external") << "DECODER" << 2 << false;
        QTest::newRow("no selection") << "DECODER" << -1 << true;
        // The element type is not consulted.
        QTest::newRow("encoder, auto detect") << "ENCODER" << 0 << true;
        QTest::newRow("encoder, force internal") << "ENCODER" << 1 << false;
    }
    void silenceDetectorRule()
    {
        QFETCH(QString, caption);
        QFETCH(int, index);
        QFETCH(bool, enabled);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.lblElementType->setCaption(caption);
        ui.cmbSilDetMode->setCurrentIndex(index <= 0 ? 2 : 0);
        ui.cmbSilDetMode->setCurrentIndex(index);
        for (QWidget* w :
             {static_cast<QWidget*>(ui.scrlSilDetLevel), static_cast<QWidget*>(ui.scrlSilDetTime),
              static_cast<QWidget*>(ui.lblSilDetLevel), static_cast<QWidget*>(ui.lblSilDetTime),
              static_cast<QWidget*>(ui.Label24), static_cast<QWidget*>(ui.Label26)})
            QCOMPARE(w->isEnabled(), enabled);
    }

    void readouts_data()
    {
        QTest::addColumn<QString>("bar");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<QString>("locale");
        const QString c = QStringLiteral("C");
        QTest::newRow("buffer 1") << "scrlBuffer" << 1 << "2.5mS" << c;
        QTest::newRow("buffer 2") << "scrlBuffer" << 2 << "5mS" << c;
        QTest::newRow("buffer 5") << "scrlBuffer" << 5 << "12.5mS" << c;
        QTest::newRow("buffer 8") << "scrlBuffer" << 8 << "20mS" << c;
        QTest::newRow("level 1") << "scrlSilDetLevel" << 1 << "-49.8dBu" << c;
        QTest::newRow("level 2") << "scrlSilDetLevel" << 2 << "-43.7dBu" << c;
        QTest::newRow("level 37") << "scrlSilDetLevel" << 37 << "-18.4dBu" << c;
        QTest::newRow("level 100") << "scrlSilDetLevel" << 100 << "-9.8dBu" << c;
        QTest::newRow("level 154") << "scrlSilDetLevel" << 154 << "-6dBu" << c;
        QTest::newRow("time 1") << "scrlSilDetTime" << 1 << "0.5Sec" << c;
        QTest::newRow("time 43") << "scrlSilDetTime" << 43 << "19.6Sec" << c;
        QTest::newRow("time 220") << "scrlSilDetTime" << 220 << "100.1Sec" << c;
        const QString de = QStringLiteral("de_DE");
        QTest::newRow("buffer 1, German") << "scrlBuffer" << 1 << "2,5mS" << de;
        QTest::newRow("level 37, German") << "scrlSilDetLevel" << 37 << "-18,4dBu" << de;
        QTest::newRow("level 154, German") << "scrlSilDetLevel" << 154 << "-6dBu" << de;
        QTest::newRow("time 43, German") << "scrlSilDetTime" << 43 << "19,6Sec" << de;
    }
    void readouts()
    {
        QFETCH(QString, bar);
        QFETCH(int, value);
        QFETCH(QString, expected);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        auto* scroll = ui.frmMain->findChild<QScrollBar*>(bar);
        QVERIFY(scroll);
        const QHash<QString, QLabel*> readout{{"scrlBuffer", ui.lblLatency},
                                              {"scrlSilDetLevel", ui.lblSilDetLevel},
                                              {"scrlSilDetTime", ui.lblSilDetTime}};
        scroll->setValue(value == scroll->minimum() ? scroll->maximum() : scroll->minimum());
        scroll->setValue(value);
        QCOMPARE(readout.value(bar)->text(), expected);
    }

    void readoutWaitsForTheEndOfADrag()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.scrlSilDetTime->setValue(2);
        QCOMPARE(ui.lblSilDetTime->text(), QString("0.9Sec"));
        ui.scrlSilDetTime->setSliderDown(true);
        ui.scrlSilDetTime->setSliderPosition(43);
        QCOMPARE(ui.lblSilDetTime->text(), QString("0.9Sec"));
        ui.scrlSilDetTime->setSliderDown(false);
        QCOMPARE(ui.lblSilDetTime->text(), QString("19.6Sec"));
    }

    void readoutFollowsAnArrowClick()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.scrlBuffer->setEnabled(true);
        ui.scrlBuffer->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(ui.lblLatency->text(), QString("2.5mS"));
        ui.scrlBuffer->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QCOMPARE(ui.lblLatency->text(), QString("20mS"));
    }

    void addressColour_data()
    {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("invalid");
        for (const char* name : {"txtElementIP", "txtElementMask", "txtElementGW", "txtRemoteIP"}) {
            const QByteArray n(name);
            QTest::newRow(n + " three numbers") << name << "10.0.0" << true;
            QTest::newRow(n + " valid") << name << "198.18.0.1" << false;
            QTest::newRow(n + " above 255") << name << "10.0.0.256" << true;
            QTest::newRow(n + " letters") << name << "abc" << true;
            QTest::newRow(n + " empty") << name << "" << false;
        }
    }
    void addressColour()
    {
        QFETCH(QString, fieldName);
        QFETCH(QString, text);
        QFETCH(bool, invalid);
        PanelFixture f;
        QLineEdit* edit = field(f.ui(), fieldName);
        QVERIFY(edit);
        const QColor normal = edit->palette().color(QPalette::Base);
        QVERIFY(normal != kInvalid);

        edit->setText(text);
        QCOMPARE(edit->palette().color(QPalette::Base), invalid ? kInvalid : normal);

        // Typed, key by key, ends in the same colour.
        edit->clear();
        QTest::keyClicks(edit, text);
        QCOMPARE(edit->palette().color(QPalette::Base), invalid ? kInvalid : normal);

        edit->clear();
        QCOMPARE(edit->palette().color(QPalette::Base), normal);
    }

    void addressColourOnEveryKeystroke()
    {
        PanelFixture f;
        QLineEdit* edit = f.ui().txtElementIP;
        const QColor normal = edit->palette().color(QPalette::Base);
        QTest::keyClicks(edit, "10.0.0");
        QCOMPARE(edit->palette().color(QPalette::Base), kInvalid);
        QTest::keyClicks(edit, ".1");
        QCOMPARE(edit->palette().color(QPalette::Base), normal);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->palette().color(QPalette::Base), kInvalid);
    }

    void selectAllOnFocus_data()
    {
        QTest::addColumn<QString>("fieldName");
        QTest::addColumn<bool>("byMouse");
        for (const char* name : {"txtElementName", "txtElementIP", "txtElementMask", "txtElementGW",
                                 "txtRemoteIP", "txtVLAN_OM"}) {
            QTest::newRow(QByteArray(name) + " by tab") << name << false;
            QTest::newRow(QByteArray(name) + " by mouse") << name << true;
        }
    }
    void selectAllOnFocus()
    {
        QFETCH(QString, fieldName);
        QFETCH(bool, byMouse);
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.lblElementType->setCaption("ENCODER");
        QLineEdit* edit = field(ui, fieldName);
        edit->setEnabled(true);
        edit->setText("10.1.2.3");
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");
        ui.TreeView1->setFocus();
        QTRY_VERIFY(ui.TreeView1->hasFocus());
        QVERIFY(!edit->hasSelectedText());
        if (byMouse)
            QTest::mouseClick(edit, Qt::LeftButton, {}, QPoint(5, edit->height() / 2));
        else
            edit->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(edit->hasFocus());
        QTRY_COMPARE(edit->selectedText(), QString("10.1.2.3"));
        QCOMPARE(edit->selectionStart(), 0);
    }

    void vlanAudioSelectsAllOnTextChange()
    {
        PanelFixture f;
        QLineEdit* edit = f.ui().txtVLAN_Audio;
        edit->setText("12");
        QCOMPARE(edit->selectedText(), QString("12"));
        edit->setText("345");
        QCOMPARE(edit->selectedText(), QString("345"));
    }

    void nameUpperCasedWhenFocusLeaves()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");
        ui.txtElementName->setFocus();
        QTRY_VERIFY(ui.txtElementName->hasFocus());
        ui.txtElementName->selectAll();
        QTest::keyClicks(ui.txtElementName, "studio b");
        QCOMPARE(ui.txtElementName->text(), QString("studio b"));
        ui.txtElementIP->setFocus();
        QTRY_VERIFY(ui.txtElementIP->hasFocus());
        QCOMPARE(ui.txtElementName->text(), QString("STUDIO B"));
    }

    void nameUpperCaseStaysLatin1()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        if (!f.showActive())
            QSKIP("the window cannot be made active on this platform");
        ui.txtElementName->setFocus();
        QTRY_VERIFY(ui.txtElementName->hasFocus());
        ui.txtElementName->setText(QString::fromUtf8("\u00b5st\u00e9r\u00ff"));
        ui.txtElementIP->setFocus();
        QTRY_VERIFY(ui.txtElementIP->hasFocus());
        QCOMPARE(ui.txtElementName->text(), QString::fromUtf8("\u00b5ST\u00c9R\u00ff"));
    }

    void textChangeOfNameHasNoEffect()
    {
        PanelFixture f;
        f.ui().txtElementName->setText("lower");
        QCOMPARE(f.ui().txtElementName->text(), QString("lower"));
    }

    void clearPropertiesPanel()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ui.lblElementType->setCaption("ENCODER");
        ui.lblElementMAC->setCaption("00:1A:2B:3C:4D:5E");
        ui.lblSerialNumber->setCaption("1234");
        ui.lblPing->setCaption("12 ms");
        ui.lblVersion->setCaption("3.40");
        ui.shpPing->setFillColor(QColor(0, 255, 0));
        for (QLineEdit* e : {ui.txtElementName, ui.txtElementIP, ui.txtElementMask, ui.txtElementGW,
                             ui.txtRemoteIP})
            e->setText("10.0.0");
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX, ui.cmbSilDetMode})
            c->setCurrentIndex(1);
        ui.cmbEncoders->addItems({"<None>", "X [00:00:00:00:00:01]"});
        ui.cmbEncoders->setCurrentIndex(1);
        ui.chkSFNEnabled->setChecked(true);
        ui.scrlSilDetLevel->setValue(37);
        ui.scrlSilDetTime->setValue(43);
        ui.scrlAtten->setValue(20);
        ui.lblElementType->setCaption("DECODER");
        ui.scrlBuffer->setValue(5);
        const QColor normal = QLineEdit().palette().color(QPalette::Base);

        QStringList order;
        for (CaptionLabel* label :
             {ui.lblElementType, ui.lblElementMAC, ui.lblSerialNumber, ui.lblPing, ui.lblVersion})
            connect(label, &CaptionLabel::captionSet, label,
                    [&order, label] { order << label->objectName(); });

        f.panel.ClearPropertiesPanel();

        QCOMPARE(order, (QStringList{"lblElementType", "lblElementMAC", "lblSerialNumber",
                                     "lblPing", "lblVersion"}));
        QCOMPARE(ui.lblElementType->caption(), QString("-"));
        QCOMPARE(ui.lblElementMAC->caption(), QString("-"));
        QCOMPARE(ui.lblSerialNumber->caption(), QString("-"));
        QCOMPARE(ui.lblPing->caption(), QString("<Unknown>"));
        QCOMPARE(ui.lblVersion->caption(), QString("-"));
        QCOMPARE(ui.lblLatency->text(), QString("0mS"));
        QCOMPARE(ui.shpPing->fillColor(), QColor(255, 255, 192));
        for (QLineEdit* e : {ui.txtElementName, ui.txtElementIP, ui.txtElementMask, ui.txtElementGW,
                             ui.txtRemoteIP}) {
            QVERIFY(e->text().isEmpty());
            QCOMPARE(e->palette().color(QPalette::Base), normal);
        }
        for (QComboBox* c : {ui.cmbAudioInput, ui.cmbAudioType, ui.cmbAudioTX})
            QCOMPARE(c->currentIndex(), -1);
        // Decoder-style layout with type "-".
        QVERIFY(!ui.scrlAtten->isHidden());
        QVERIFY(ui.cmbAudioInput->isHidden());
        // Left as they were.
        QCOMPARE(ui.cmbSilDetMode->currentIndex(), 1);
        QCOMPARE(ui.cmbEncoders->currentIndex(), 1);
        QVERIFY(ui.chkSFNEnabled->isChecked());
        QCOMPARE(ui.scrlBuffer->value(), 5);
        QCOMPARE(ui.scrlAtten->value(), 20);
        QCOMPARE(ui.scrlSilDetLevel->value(), 37);
        QCOMPARE(ui.scrlSilDetTime->value(), 43);
        QCOMPARE(ui.txtVLAN_OM->text(), QString("1"));
        QCOMPARE(ui.txtVLAN_Audio->text(), QString("1"));
    }

    void sliderMovedByOperatorSetsPollingInterval()
    {
        PanelFixture f;
        FrmMainControls& ui = f.ui();
        ManualTimer* volume = f.timer("tmrVolume");
        QVERIFY(volume);
        const int start = volume->interval();

        ui.Slider1->setValue(ui.Slider1->value() + 30);
        QCOMPARE(volume->interval(), start);

        ui.Slider1->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(volume->interval(), ui.Slider1->value());

        const int before = volume->restarts();
        ui.Slider1->setSliderDown(true);
        ui.Slider1->setSliderPosition(400);
        QCOMPARE(volume->interval(), 400);
        QCOMPARE(volume->restarts(), before + 1);
        ui.Slider1->setSliderDown(false);
        QCOMPARE(volume->interval(), 400);

        QTest::keyClick(ui.Slider1, Qt::Key_PageUp);
        QCOMPARE(volume->interval(), ui.Slider1->value());
        QVERIFY(volume->interval() != 400);
    }
};

QTEST_MAIN(PropertiesPanelTest)
#include "tst_PropertiesPanel.moc"
