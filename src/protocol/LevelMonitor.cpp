#include "protocol/LevelMonitor.h"

#include "db/DatabaseWriteFailure.h"
#include "db/ElementPanelView.h"
#include "db/ElementRole.h"
#include "db/IniRoutines.h"
#include "db/MeterView.h"
#include "db/MonitoringView.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/LevelPacket.h"
#include "protocol/UdpClient.h"

namespace nms {
LevelMonitor::LevelMonitor(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath,
                           UdpClient& udp, ElementPanelView& panel, MeterView& meter,
                           MonitoringView& monitoring, Timer& volumeTimer, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_ini(ini)
    , m_iniPath(iniPath)
    , m_udp(udp)
    , m_panel(panel)
    , m_meter(meter)
    , m_monitoring(monitoring)
    , m_volumeTimer(volumeTimer)
{
    connect(&m_volumeTimer, &Timer::tick, this, &LevelMonitor::SendLevelRequest);
}

QString LevelMonitor::attenuationCaption(int value, int minimum)
{
    if (value == minimum)
        return QStringLiteral("Mute");
    return text::ShortestNumber((value - 255) * 0.5) + QStringLiteral(" dB");
}

void LevelMonitor::AttenuationChangedByOperator(int value)
{
    if (!isDecoderShown())
        return;
    const auto code = static_cast<quint8>(value);
    if (!SendAttenuation(code))
        return;
    if (!m_ini.WriteToINI(m_panel.selectedSection(), QStringLiteral("att"), QString::number(code),
                          m_iniPath))
        ReportDatabaseWriteFailure(m_dialogs);
}

QString LevelMonitor::selectedStoredAddress() const
{
    return m_ini.ReadFromINI(m_panel.selectedSection(), QStringLiteral("ip"), m_iniPath);
}

bool LevelMonitor::SendAttenuation(quint8 code)
{
    switch (m_udp.ReopenForElement(UdpClient::kElementControlPort, selectedStoredAddress())) {
    case UdpClient::ReopenResult::Ready: break;
    case UdpClient::ReopenResult::NoValidAddress: showNoAddressBox(); return false;
    case UdpClient::ReopenResult::EndpointFailed: return false;
    }
    QByteArray command(2, '\0');
    command[0] = static_cast<char>(code);
    return m_udp.send(command);
}

void LevelMonitor::MonitoringToggled(bool ticked)
{
    if (ticked) {
        m_volumeTimer.setEnabled(true);
        return;
    }
    m_volumeTimer.setEnabled(false);
    resetLevelDisplay();
}

void LevelMonitor::SendLevelRequest()
{
    switch (m_udp.ReopenForElement(UdpClient::kElementControlPort, selectedStoredAddress())) {
    case UdpClient::ReopenResult::Ready:
        // A request that cannot leave would fail again at every tick.
        if (!m_udp.send(kLevelRequest))
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
    m_monitoring.untickMonitoring();
    m_volumeTimer.setEnabled(false);
    // Leave the toolbar as "Stop audio monitoring" would, so that it offers
    // to start again.
    m_monitoring.enableMonitoringButtons(true, false);
}

void LevelMonitor::ShowAudioLevel(const QByteArray& packet)
{
    const qint32 peak = LevelPacket::peak(packet);
    if (!m_volumeTimer.isEnabled() || peak == 0) {
        resetLevelDisplay();
        return;
    }
    m_meter.setMeterWidthTwips(LevelPacket::meterWidthTwips(peak));
    m_meter.setLevelCaption(LevelPacket::levelCaption(peak));
}

void LevelMonitor::resetLevelDisplay()
{
    m_meter.setLevelCaption(LevelPacket::kNoLevelCaption);
    m_meter.setMeterWidthTwips(0);
}

void LevelMonitor::showNoAddressBox()
{
    m_dialogs.critical(kApplicationTitle, {UdpClient::kNoValidAddressText});
}

bool LevelMonitor::isDecoderShown() const
{
    return m_panel.caption(ElementPanelView::Caption::ElementType) == RoleCaption(kDecoderRole);
}

} // namespace nms
