#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace nms {

struct NmsContext;

// The two live functions on the selected element: a decoder's output
// attenuation, which follows scrlAtten as the operator moves it, and the
// audio level display, polled by tmrVolume while chkGetVolume is ticked.
class LevelMonitor : public QObject {
    Q_OBJECT
public:
    static constexpr quint16 kControlPort = 2977;
    static inline const QByteArray kLevelRequest = QByteArrayLiteral("VOL");

    explicit LevelMonitor(NmsContext& context, QObject* parent = nullptr);

    // Sends the two-byte attenuation command; true when it left.
    bool SendAttenuation(quint8 code);
    // One "VOL" request to the selected element.
    void SendLevelRequest();
    // Evaluates one 1440-byte level datagram into VUMeter and lblVolume.
    void ShowAudioLevel(const QByteArray& packet);

    // Caption of lblAttenDB for a scroll value: "Mute" at the minimum,
    // otherwise the attenuation in half-dB steps below 255, e.g. "-27.5 dB".
    static QString attenuationCaption(int value, int minimum);

private:
    void onAttenuationAction();
    void onAttenuationChanged(int value);
    void onGetVolumeToggled(bool ticked);
    void resetLevelDisplay();
    void stopMonitoringForMissingAddress();
    void stopMonitoring();
    void showNoAddressBox();
    bool isDecoderShown() const;

    NmsContext& m_ctx;
    // Set by an operator action on scrlAtten that is about to change its
    // value; a value set by the program never sets it.
    bool m_operatorMovingAtten = false;
};

} // namespace nms
