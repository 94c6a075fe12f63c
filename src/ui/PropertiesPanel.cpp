#include "ui/PropertiesPanel.h"

#include <QAbstractSlider>
#include <QAction>
#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include "db/ElementRole.h"
#include "db/TextHelpers.h"
#include "platform/Timer.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/LevelControls.h"
#include "ui/ShapeWidget.h"
#include "ui/VuMeterImage.h"
#include "ui/WidgetPingField.h"

namespace nms {

namespace {

const QColor kInvalidFieldColour(255, 128, 128);
const QString kNoLevel = QStringLiteral("-oodBFS");

// Factors that turn the detector's raw scroll values into dBu and seconds.
constexpr double kSilenceLevelFactor = 2.04870129870129;
constexpr double kSilenceLevelOffsetDb = 56.0;
constexpr double kSilenceTimeFactor = 0.455104166666667;
constexpr double kBufferMsPerStep = 2.5;

} // namespace

PropertiesPanel::PropertiesPanel(FrmMainControls& ui, QObject* parent)
    : QObject(parent)
    , m_ui(ui)
{
    connectLayoutSwitch();
    connectListRules();
    connectReadouts();
    connectTextFieldRules();
    connectSlider();
}

void PropertiesPanel::connectLayoutSwitch()
{
    connect(m_ui.lblElementType, &CaptionLabel::captionSet, this,
            [this] { ApplyElementTypeLayout(); });
}

void PropertiesPanel::connectListRules()
{
    connect(m_ui.cmbAudioTX, &QComboBox::currentIndexChanged, this,
            [this] { ApplyTransmissionModeRule(); });
    connect(m_ui.cmbSilDetMode, &QComboBox::currentIndexChanged, this,
            [this] { ApplySilenceDetectorRule(); });
}

void PropertiesPanel::connectReadouts()
{
    // With tracking off a scroll bar reports its value at the end of the
    // operator's action (or when code sets it), so the readouts do not
    // follow the dragged thumb.
    for (QScrollBar* bar : {m_ui.scrlBuffer, m_ui.scrlSilDetLevel, m_ui.scrlSilDetTime})
        bar->setTracking(false);
    for (QScrollBar* bar : {m_ui.scrlBuffer, m_ui.scrlSilDetLevel, m_ui.scrlSilDetTime})
        connect(bar, &QScrollBar::valueChanged, this,
                [this, bar](int value) { applyScrollRule(bar, value); });
}

void PropertiesPanel::connectTextFieldRules()
{
    for (QLineEdit* field : {m_ui.txtElementName, m_ui.txtElementIP, m_ui.txtElementMask,
                             m_ui.txtElementGW, m_ui.txtRemoteIP, m_ui.txtVLAN_OM})
        field->installEventFilter(this);

    for (QLineEdit* field :
         {m_ui.txtElementIP, m_ui.txtElementMask, m_ui.txtElementGW, m_ui.txtRemoteIP}) {
        connect(field, &QLineEdit::textChanged, this, [this, field] { applyAddressColour(field); });
        applyAddressColour(field);
    }

    QLineEdit* vlanAudio = m_ui.txtVLAN_Audio;
    connect(vlanAudio, &QLineEdit::textChanged, this, [vlanAudio] { vlanAudio->selectAll(); });
}

void PropertiesPanel::connectSlider()
{
    // Only the operator's moves count; a value set by code has no effect.
    connect(m_ui.Slider1, &QSlider::sliderMoved, this,
            [this](int position) { setPollingIntervalFromSlider(position); });
    connect(m_ui.Slider1, &QSlider::actionTriggered, this,
            [this](int action) { onSliderAction(action); });
}

// --- Layout switch --------------------------------------------------------

bool PropertiesPanel::isEncoderShown() const
{
    return m_ui.lblElementType->caption() == RoleCaption(kEncoderRole);
}

void PropertiesPanel::ApplyElementTypeLayout()
{
    if (isEncoderShown())
        applyEncoderLayout();
    else
        applyOtherLayout();
}

void PropertiesPanel::applyEncoderLayout()
{
    m_ui.txtRemoteIP->show();
    m_ui.cmbAudioInput->show();
    m_ui.cmbAudioTX->show();
    m_ui.scrlAtten->hide();
    m_ui.lblAttenDB->hide();
    m_ui.Label9->setText(QStringLiteral("Audio source:"));
    m_ui.txtRemoteIP->setVisible(m_ui.cmbAudioTX->currentIndex() < 1);
    stopLevelDisplay();
    m_ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(true);
    m_ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(false);
    m_ui.VUMeter->setEnabled(true);
    m_ui.VUMeter->setWidthTwips(0);
    m_ui.lblVolume->setText(kNoLevel);
    m_ui.scrlBuffer->setValue(0);
    m_ui.scrlBuffer->setEnabled(false);
    m_ui.lblLatency->setText(QStringLiteral("0mS"));
    m_ui.cmbSilDetMode->setEnabled(false);
    m_ui.scrlSilDetLevel->setEnabled(false);
    m_ui.scrlSilDetTime->setEnabled(false);
    m_ui.lblSilDetLevel->setEnabled(false);
    m_ui.lblSilDetTime->setEnabled(false);
}

void PropertiesPanel::applyOtherLayout()
{
    m_ui.txtRemoteIP->hide();
    m_ui.cmbAudioInput->hide();
    m_ui.cmbAudioTX->hide();
    m_ui.scrlAtten->show();
    m_ui.lblAttenDB->show();
    m_ui.Label9->setText(QStringLiteral("Audio atten:"));
    stopLevelDisplay();
    m_ui.Toolbar1Buttons[kStartMonitoringButton]->setEnabled(false);
    m_ui.Toolbar1Buttons[kStopMonitoringButton]->setEnabled(false);
    m_ui.VUMeter->setEnabled(false);
    m_ui.VUMeter->setWidthTwips(0);
    m_ui.lblVolume->setText(kNoLevel);
    m_ui.scrlBuffer->setEnabled(true);
    m_ui.cmbSilDetMode->setEnabled(true);
    m_ui.scrlSilDetLevel->setEnabled(true);
    m_ui.scrlSilDetTime->setEnabled(true);
    m_ui.lblSilDetLevel->setEnabled(true);
    m_ui.lblSilDetTime->setEnabled(true);
}

// Level polling stops with every layout switch; unticking the button runs
// the level monitor's own rule through its toggled signal.
void PropertiesPanel::stopLevelDisplay()
{
    m_ui.tmrVolume->setEnabled(false);
    m_ui.chkGetVolume->setChecked(false);
    m_ui.chkGetVolume->hide();
}

// --- List rules -----------------------------------------------------------

void PropertiesPanel::ApplyTransmissionModeRule()
{
    if (!isEncoderShown())
        return;
    m_ui.txtRemoteIP->setVisible(m_ui.cmbAudioTX->currentIndex() < 1);
}

void PropertiesPanel::ApplySilenceDetectorRule()
{
    const bool autoDetect = m_ui.cmbSilDetMode->currentIndex() < 1;
    m_ui.scrlSilDetLevel->setEnabled(autoDetect);
    m_ui.scrlSilDetTime->setEnabled(autoDetect);
    m_ui.lblSilDetLevel->setEnabled(autoDetect);
    m_ui.lblSilDetTime->setEnabled(autoDetect);
    m_ui.Label24->setEnabled(autoDetect);
    m_ui.Label26->setEnabled(autoDetect);
}

void PropertiesPanel::SetListIndex(QComboBox* list, int index)
{
    if (list->currentIndex() != index) {
        list->setCurrentIndex(index);
        return;
    }
    if (list == m_ui.cmbAudioTX)
        ApplyTransmissionModeRule();
    else if (list == m_ui.cmbSilDetMode)
        ApplySilenceDetectorRule();
}

void PropertiesPanel::SetScrollValue(QScrollBar* scrollBar, int value)
{
    if (scrollBar->value() != value) {
        scrollBar->setValue(value);
        return;
    }
    // Qt reports no change for the value already shown, but a value set by
    // code runs the control's change behaviour all the same: the readouts
    // here and the attenuation caption of the level display.
    applyScrollRule(scrollBar, value);
}

void PropertiesPanel::applyScrollRule(QScrollBar* scrollBar, int value)
{
    if (scrollBar == m_ui.scrlBuffer)
        m_ui.lblLatency->setText(LatencyText(value));
    else if (scrollBar == m_ui.scrlSilDetLevel)
        m_ui.lblSilDetLevel->setText(SilenceLevelText(value));
    else if (scrollBar == m_ui.scrlSilDetTime)
        m_ui.lblSilDetTime->setText(SilenceTimeText(value));
    else if (scrollBar == m_ui.scrlAtten)
        LevelControls::ShowAttenuationCaption(m_ui, value);
}

// --- Readouts ---------------------------------------------------------------

QString PropertiesPanel::LatencyText(int value)
{
    return text::ShortestNumber(kBufferMsPerStep * value) + QStringLiteral("mS");
}

QString PropertiesPanel::SilenceLevelText(int value)
{
    const double dbu = 20.0 * text::Log10(value * kSilenceLevelFactor) - kSilenceLevelOffsetDb;
    return text::ShortestNumber(text::RoundToTenthHalfEven(dbu)) + QStringLiteral("dBu");
}

QString PropertiesPanel::SilenceTimeText(int value)
{
    const double seconds = value * kSilenceTimeFactor;
    return text::ShortestNumber(text::RoundToTenthHalfEven(seconds)) + QStringLiteral("Sec");
}

// --- Text field rules -----------------------------------------------------

bool PropertiesPanel::isSelectAllField(QObject* watched) const
{
    return watched == m_ui.txtElementName || watched == m_ui.txtElementIP ||
           watched == m_ui.txtElementMask || watched == m_ui.txtElementGW ||
           watched == m_ui.txtRemoteIP || watched == m_ui.txtVLAN_OM;
}

// A pop-up menu (the field's own context menu) and a switch to another
// window and back take the focus away and give it back while the operator is
// still in the field: the name must not change case under the caret, nor the
// text be selected so that the next key replaces it.
bool PropertiesPanel::focusMovedBetweenControls(const QEvent* event)
{
    const Qt::FocusReason reason = static_cast<const QFocusEvent*>(event)->reason();
    return reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
}

bool PropertiesPanel::eventFilter(QObject* watched, QEvent* event)
{
    const bool focusIn = event->type() == QEvent::FocusIn;
    const bool focusOut = event->type() == QEvent::FocusOut;
    if ((focusIn || focusOut) && focusMovedBetweenControls(event)) {
        if (focusIn && isSelectAllField(watched))
            selectAllAfterFocusHandling(static_cast<QLineEdit*>(watched));
        else if (focusOut && watched == m_ui.txtElementName)
            upperCaseName();
    }
    return QObject::eventFilter(watched, event);
}

// A mouse click that gives the focus places the caret after the focus event
// has been handled, which would undo a selection made now; so the selection
// is made once the current event is done.
void PropertiesPanel::selectAllAfterFocusHandling(QLineEdit* field)
{
    QPointer<QLineEdit> guarded(field);
    QMetaObject::invokeMethod(
        this,
        [guarded] {
            if (guarded && guarded->hasFocus())
                guarded->selectAll();
        },
        Qt::QueuedConnection);
}

void PropertiesPanel::applyAddressColour(QLineEdit* field)
{
    const QString text = field->text();
    if (text.isEmpty() || text::IsValidIP(text)) {
        // An empty palette resolves to the one the field inherits.
        field->setPalette(QPalette());
        return;
    }
    QPalette invalid = field->palette();
    invalid.setColor(QPalette::Base, kInvalidFieldColour);
    field->setPalette(invalid);
}

void PropertiesPanel::upperCaseName()
{
    const QString upper = text::UpperCaseLatin1(m_ui.txtElementName->text());
    if (upper != m_ui.txtElementName->text())
        m_ui.txtElementName->setText(upper);
}

// --- Polling interval -----------------------------------------------------

void PropertiesPanel::onSliderAction(int action)
{
    // A drag is reported by sliderMoved; a wheel step arrives as a move
    // while the thumb is not held.
    if (action == QAbstractSlider::SliderNoAction)
        return;
    if (action == QAbstractSlider::SliderMove && m_ui.Slider1->isSliderDown())
        return;
    setPollingIntervalFromSlider(m_ui.Slider1->sliderPosition());
}

void PropertiesPanel::setPollingIntervalFromSlider(int value)
{
    m_ui.tmrVolume->setInterval(value);
}

// --- Reset ----------------------------------------------------------------

void PropertiesPanel::ClearPropertiesPanel()
{
    const QString none = QStringLiteral("-");
    m_ui.lblElementType->setCaption(none);
    m_ui.lblElementMAC->setCaption(none);
    m_ui.lblSerialNumber->setCaption(none);
    m_ui.lblPing->setCaption(QStringLiteral("<Unknown>"));
    m_ui.lblVersion->setCaption(none);
    m_ui.lblLatency->setText(QStringLiteral("0mS"));
    m_ui.shpPing->setFillColor(WidgetPingField::kIdleColour);
    for (QLineEdit* field : {m_ui.txtElementName, m_ui.txtElementIP, m_ui.txtElementMask,
                             m_ui.txtElementGW, m_ui.txtRemoteIP})
        field->clear();
    for (QComboBox* list : {m_ui.cmbAudioInput, m_ui.cmbAudioType, m_ui.cmbAudioTX})
        list->setCurrentIndex(-1);
}

} // namespace nms
