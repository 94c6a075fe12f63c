#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace nms {

class Dialogs;
class ElementPanelView;
class IniRoutines;
class MeterView;
class MonitoringView;
class Timer;
class UdpClient;

// The two live functions on the selected element: a decoder's output
// attenuation, sent as the operator moves the attenuation bar, and the
// audio level display, polled by the volume timer (tmrVolume) while
// monitoring is ticked.
class LevelMonitor : public QObject {
    Q_OBJECT
public:
    static inline const QByteArray kLevelRequest = QByteArrayLiteral("VOL");

    LevelMonitor(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath, UdpClient& udp,
                 ElementPanelView& panel, MeterView& meter, MonitoringView& monitoring,
                 Timer& volumeTimer, QObject* parent = nullptr);

    // The operator has moved the attenuation to this value: a decoder is
    // sent it, and the database keeps what was sent. A value set by the
    // program (selection, confirmation) does not come here.
    void AttenuationChangedByOperator(int value);
    // Sends the two-byte attenuation command; true when it left.
    bool SendAttenuation(quint8 code);
    // Monitoring was ticked or unticked.
    void MonitoringToggled(bool ticked);
    // One "VOL" request to the selected element.
    void SendLevelRequest();
    // Evaluates one 1440-byte level datagram into the meter.
    void ShowAudioLevel(const QByteArray& packet);

    // Caption of the attenuation readout for a scroll value: "Mute" at the
    // minimum, otherwise the attenuation in half-dB steps below 255, e.g.
    // "-27.5 dB".
    static QString attenuationCaption(int value, int minimum);

private:
    void resetLevelDisplay();
    void stopMonitoringForMissingAddress();
    void stopMonitoring();
    void showNoAddressBox();
    bool isDecoderShown() const;
    QString selectedStoredAddress() const;

    Dialogs& m_dialogs;
    IniRoutines& m_ini;
    const QString m_iniPath;
    UdpClient& m_udp;
    ElementPanelView& m_panel;
    MeterView& m_meter;
    MonitoringView& m_monitoring;
    Timer& m_volumeTimer;
};

} // namespace nms
