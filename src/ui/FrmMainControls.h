#pragma once

#include <array>

#include <QIcon>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollBar;
class QSlider;
class QToolBar;
class QTreeWidget;
class QWidget;

namespace nms {

class CaptionLabel;
class ShapeWidget;
class Timer;
class VuMeterImage;

// The toolbar's buttons by their 1-based index; 3 and 5 are separators.
enum ToolbarButton : int {
    kAutoDiscoverButton = 1,
    kRefreshButton = 2,
    kSaveButton = 4,
    kStartMonitoringButton = 6,
    kStopMonitoringButton = 7,
};

// Every control of the main window, under the control names the window
// uses. FrmMain builds them; the widget side of each behaviour (src/ui) and
// the window's composition (src/app) work on them through this table; the
// workflows see them only through their views. Members are named exactly as
// the controls.
struct FrmMainControls {
    QWidget* frmMain = nullptr;

    // Toolbar: buttons by their 1-based index (ToolbarButton).
    QToolBar* Toolbar1 = nullptr;
    std::array<QAction*, 8> Toolbar1Buttons{};
    // Images 1..7 (index 0 unused).
    std::array<QIcon, 8> ImageList1{};

    QGroupBox* frmTreeView = nullptr;
    QTreeWidget* TreeView1 = nullptr;
    QGroupBox* frmProperties = nullptr;
    QGroupBox* frmDiagnostics = nullptr;

    // Properties panel captions.
    QLabel* Label1 = nullptr;  // "System name:"
    QLabel* Label2 = nullptr;  // "System type:"
    QLabel* Label3 = nullptr;  // "System IP:"
    QLabel* Label4 = nullptr;  // "Network mask:"
    QLabel* Label5 = nullptr;  // "MAC address:"
    QLabel* Label6 = nullptr;  // "Gateway IP:"
    QLabel* Label7 = nullptr;  // "Remote IP:"
    QLabel* Label8 = nullptr;  // "Audio type:"
    QLabel* Label9 = nullptr;  // "Audio source:" / "Audio atten:"
    QLabel* Label10 = nullptr; // "TX type:"
    QLabel* Label13 = nullptr; // "Serial number:"
    QLabel* Label14 = nullptr; // "SFN option:"
    QLabel* Label15 = nullptr; // "N/A" under cmbAudioTX
    QLabel* Label16 = nullptr; // "N/A" under txtRemoteIP
    QLabel* Label17 = nullptr; // "Bounded to:"
    QLabel* Label18 = nullptr; // "VLAN O&&M:"
    QLabel* Label19 = nullptr; // "Audio:"
    QLabel* Label20 = nullptr; // "Buffer size:"
    QLabel* Label21 = nullptr; // "DSP version:"
    QLabel* Label22 = nullptr; // "Audio routing:"
    QLabel* Label24 = nullptr; // "Threshold:"
    QLabel* Label26 = nullptr; // "Timeout:"

    // Properties panel fields.
    CaptionLabel* lblElementType = nullptr;
    CaptionLabel* lblElementMAC = nullptr;
    CaptionLabel* lblVersion = nullptr;
    CaptionLabel* lblSerialNumber = nullptr;
    QLineEdit* txtElementName = nullptr;
    QLineEdit* txtElementIP = nullptr;
    QLineEdit* txtElementGW = nullptr;
    QLineEdit* txtElementMask = nullptr;
    QLineEdit* txtRemoteIP = nullptr;
    QLineEdit* txtVLAN_OM = nullptr;
    QLineEdit* txtVLAN_Audio = nullptr;
    QComboBox* cmbAudioType = nullptr;
    QComboBox* cmbAudioInput = nullptr;
    QComboBox* cmbAudioTX = nullptr;
    QComboBox* cmbEncoders = nullptr;
    QComboBox* cmbSilDetMode = nullptr;
    QScrollBar* scrlAtten = nullptr;
    QLabel* lblAttenDB = nullptr;
    QScrollBar* scrlBuffer = nullptr;
    QScrollBar* scrlSilDetLevel = nullptr;
    QScrollBar* scrlSilDetTime = nullptr;
    QLabel* lblLatency = nullptr;
    QLabel* lblSilDetLevel = nullptr;
    QLabel* lblSilDetTime = nullptr;
    QCheckBox* chkSFNEnabled = nullptr;
    // A check box drawn as a push button: a checkable QPushButton.
    QPushButton* chkGetVolume = nullptr;
    QFrame* Line1 = nullptr;
    QFrame* Line2 = nullptr;
    QFrame* Line3 = nullptr;
    QFrame* Line4 = nullptr;

    // Diagnostics.
    QLabel* Label11 = nullptr; // "Ping response:"
    ShapeWidget* shpPing = nullptr;
    CaptionLabel* lblPing = nullptr;
    QLabel* Label12 = nullptr; // "Audio level:"
    QFrame* Picture2 = nullptr;
    VuMeterImage* VUMeter = nullptr;
    QLabel* lblVolume = nullptr;

    // Without a visible place.
    QListWidget* lstHidden = nullptr;
    QSlider* Slider1 = nullptr;
    Timer* timerRemoteSent = nullptr;
    Timer* timerGetMAC = nullptr;
    Timer* tmrRetryPing = nullptr;
    Timer* tmrVolume = nullptr;
    Timer* tmrSpectrum = nullptr;
};

} // namespace nms
