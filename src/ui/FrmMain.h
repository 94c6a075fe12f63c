#pragma once

#include <array>
#include <memory>

#include <QMainWindow>

#include "ui/FrmMainControls.h"

class QLabel;

namespace nms {

class Timer;
class TimerFactory;

// The main window: builds every control at its place and in its start state,
// and hands them out by name through controls(). It has no behaviour of its
// own; the behaviour classes connect to the controls.
class FrmMain : public QMainWindow {
    Q_OBJECT
public:
    // The design caption; the start-up replaces it with the versioned title.
    static constexpr const char* kDesignCaption = "Veltrino NMS - Orbelund Broadcast";
    // Client area in pixels (10800 x 5910 twips).
    static constexpr int kClientWidth = 720;
    static constexpr int kClientHeight = 394;

    explicit FrmMain(TimerFactory& timers, QWidget* parent = nullptr);
    ~FrmMain() override;

    FrmMainControls& controls() { return m_controls; }
    const FrmMainControls& controls() const { return m_controls; }

    // Pixels for a length in twips (15 twips make one pixel).
    static int twipsToPixels(int twips);

private:
    FrmMainControls m_controls;
    std::array<std::unique_ptr<Timer>, 5> m_timers;

    void setUpWindow();
    void loadImages();
    void buildToolbar(QWidget* client);
    void buildTreeFrame(QWidget* client);
    void buildPropertiesFrame(QWidget* client);
    void buildIdentityRows(QWidget* frame);
    void buildNetworkRows(QWidget* frame);
    void buildAudioRows(QWidget* frame);
    void buildSilenceDetectorRows(QWidget* frame);
    void buildBracketLines(QWidget* frame);
    void buildDiagnosticsFrame(QWidget* client);
    void buildHiddenControls(QWidget* client);
    void buildTimers(TimerFactory& timers);
    void linkCaptionsToFields();
    void linkValueLabels();
    void setFocusOrder();
};

} // namespace nms
