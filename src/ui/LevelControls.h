#pragma once

#include <QObject>

namespace nms {

struct FrmMainControls;
class LevelMonitor;

// The widget side of the level monitor: tells an operator's move of
// scrlAtten from a value the program sets, keeps lblAttenDB with the bar,
// and reports chkGetVolume's ticking.
class LevelControls : public QObject {
    Q_OBJECT
public:
    LevelControls(FrmMainControls& ui, LevelMonitor& monitor, QObject* parent = nullptr);

    // lblAttenDB for this value of scrlAtten.
    static void ShowAttenuationCaption(FrmMainControls& ui, int value);

private:
    void onAttenuationAction();
    void onAttenuationChanged(int value);

    FrmMainControls& m_ui;
    LevelMonitor& m_monitor;
    // Set by an operator action on scrlAtten that is about to change its
    // value; a value set by the program never sets it.
    bool m_operatorMovingAtten = false;
};

} // namespace nms
