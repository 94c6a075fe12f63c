#include "protocol/LevelMonitor.h"

#include <utility>

#include <QAction>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "app/NmsContext.h"
#include "db/IniRoutines.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/LevelPacket.h"
#include "protocol/UdpClient.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/VuMeterImage.h"

namespace nms {
namespace {

const QString kDecoderCaption = QStringLiteral("DECODER");
const QString kNoAddressLine =
    QStringLiteral("The local database holds no valid IP address for this element.");
constexpr int kStartMonitoringButton = 6;
constexpr int kStopMonitoringButton = 7;

} // namespace

LevelMonitor::LevelMonitor(NmsContext& context, QObject* parent)
    : QObject(parent)
    , m_ctx(context)
{
    FrmMainControls& ui = m_ctx.ui;
    // Every operator change of a scroll bar (arrow, track, key, wheel, thumb
    // release) runs through an action that fires just before the value is
    // set; a value set by code (selection, confirmation) has no action.
    connect(ui.scrlAtten, &QAbstractSlider::actionTriggered, this,
            &LevelMonitor::onAttenuationAction);
    connect(ui.scrlAtten, &QAbstractSlider::valueChanged, this,
            &LevelMonitor::onAttenuationChanged);
    connect(ui.chkGetVolume, &QPushButton::toggled, this, &LevelMonitor::onGetVolumeToggled);
    connect(ui.tmrVolume, &Timer::tick, this, &LevelMonitor::SendLevelRequest);
}

QString LevelMonitor::attenuationCaption(int value, int minimum)
{
    if (value == minimum)
        return QStringLiteral("Mute");
    return text::ShortestNumber((value - 255) * 0.5) + QStringLiteral(" dB");
}

void LevelMonitor::onAttenuationAction()
{
    // The action has moved the slider position; a value change follows only
    // when the position differs from the value. Setting the flag only then
    // keeps it from lingering until a later change made by the program.
    const QScrollBar* bar = m_ctx.ui.scrlAtten;
    m_operatorMovingAtten = bar->sliderPosition() != bar->value();
}

void LevelMonitor::onAttenuationChanged(int value)
{
    const bool byOperator = std::exchange(m_operatorMovingAtten, false);
    m_ctx.ui.lblAttenDB->setText(attenuationCaption(value, m_ctx.ui.scrlAtten->minimum()));
    if (!isDecoderShown() || !byOperator)
        return;
    const auto code = static_cast<quint8>(value);
    if (!SendAttenuation(code))
        return;
    if (!m_ctx.ini.WriteToINI(m_ctx.selectedSection(), QStringLiteral("att"), QString::number(code),
                              m_ctx.iniPath))
        m_ctx.reportDatabaseWriteFailure();
}

bool LevelMonitor::SendAttenuation(quint8 code)
{
    if (!m_ctx.udpClient)
        return false;
    switch (m_ctx.udpClient->ReopenForElement(kControlPort, m_ctx.selectedStoredAddress())) {
    case UdpClient::ReopenResult::Ready: break;
    case UdpClient::ReopenResult::NoValidAddress: showNoAddressBox(); return false;
    case UdpClient::ReopenResult::EndpointFailed: return false;
    }
    QByteArray command(2, '\0');
    command[0] = static_cast<char>(code);
    return m_ctx.udpClient->send(command);
}

void LevelMonitor::onGetVolumeToggled(bool ticked)
{
    if (ticked) {
        m_ctx.ui.tmrVolume->setEnabled(true);
        return;
    }
    m_ctx.ui.tmrVolume->setEnabled(false);
    resetLevelDisplay();
}

void LevelMonitor::SendLevelRequest()
{
    if (!m_ctx.udpClient)
        return;
    switch (m_ctx.udpClient->ReopenForElement(kControlPort, m_ctx.selectedStoredAddress())) {
    case UdpClient::ReopenResult::Ready:
        // A request that cannot leave would fail again at every tick.
        if (!m_ctx.udpClient->send(kLevelRequest))
            stopMonitoring();
        return;
    case UdpClient::ReopenResult::NoValidAddress: stopMonitoringForMissingAddress(); return;
    case UdpClient::ReopenResult::EndpointFailed: return;
    }
}

void LevelMonitor::stopMonitoringForMissingAddress()
{
    // Stop first: the box is modal, and a timer still running behind it
    // would raise one box after another, every 50 ms.
    stopMonitoring();
    showNoAddressBox();
}

void LevelMonitor::stopMonitoring()
{
    m_ctx.ui.chkGetVolume->setChecked(false);
    m_ctx.ui.tmrVolume->setEnabled(false);
    // Leave the toolbar as "Stop audio monitoring" would, so that it offers
    // to start again.
    if (QAction* start = m_ctx.ui.Toolbar1Buttons[kStartMonitoringButton])
        start->setEnabled(true);
    if (QAction* stop = m_ctx.ui.Toolbar1Buttons[kStopMonitoringButton])
        stop->setEnabled(false);
}

void LevelMonitor::ShowAudioLevel(const QByteArray& packet)
{
    const qint32 peak = LevelPacket::peak(packet);
    if (!m_ctx.ui.tmrVolume->isEnabled() || peak == 0) {
        resetLevelDisplay();
        return;
    }
    m_ctx.ui.VUMeter->setWidthTwips(LevelPacket::meterWidthTwips(peak));
    m_ctx.ui.lblVolume->setText(LevelPacket::levelCaption(peak));
}

void LevelMonitor::resetLevelDisplay()
{
    m_ctx.ui.lblVolume->setText(LevelPacket::kNoLevelCaption);
    m_ctx.ui.VUMeter->setWidthTwips(0);
}

void LevelMonitor::showNoAddressBox()
{
    m_ctx.dialogs.critical(kApplicationTitle, {kNoAddressLine});
}

bool LevelMonitor::isDecoderShown() const
{
    return m_ctx.ui.lblElementType->caption() == kDecoderCaption;
}

} // namespace nms
