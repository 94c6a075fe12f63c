#pragma once

#include <QObject>
#include <QString>

class QComboBox;
class QLineEdit;
class QScrollBar;

namespace nms {

struct FrmMainControls;

// The properties panel's own behaviour: the layout switch between an encoder
// and every other element type, the transmission-mode and silence-detector
// rules, the three readouts, the small rules of the text fields, the reset of
// the panel and the polling-interval slider. It reacts to the controls'
// signals, so a value set by any part of the program runs the same rules as
// one set by the operator.
class PropertiesPanel : public QObject {
    Q_OBJECT
public:
    explicit PropertiesPanel(FrmMainControls& ui, QObject* parent = nullptr);

    // Runs on every setting of lblElementType's caption.
    void ApplyElementTypeLayout();
    void ClearPropertiesPanel();

    void ApplyTransmissionModeRule();
    void ApplySilenceDetectorRule();

    // Sets a list position or a scroll value from code and runs the panel's
    // rule for that control even when the value does not change, so that a
    // reused value cannot leave a stale readout or enable state behind (the
    // layout switch and the reset touch those without touching the value).
    void SetListIndex(QComboBox* list, int index);
    void SetScrollValue(QScrollBar* scrollBar, int value);

    static QString LatencyText(int value);
    static QString SilenceLevelText(int value);
    static QString SilenceTimeText(int value);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectLayoutSwitch();
    void connectListRules();
    void connectReadouts();
    void applyScrollRule(QScrollBar* scrollBar, int value);
    void connectTextFieldRules();
    void connectSlider();

    void applyEncoderLayout();
    void applyOtherLayout();
    void stopLevelDisplay();

    void selectAllAfterFocusHandling(QLineEdit* field);
    void applyAddressColour(QLineEdit* field);
    void upperCaseName();
    void onSliderAction(int action);
    void setPollingIntervalFromSlider(int value);

    bool isEncoderShown() const;
    bool isSelectAllField(QObject* watched) const;
    static bool focusMovedBetweenControls(const QEvent* event);

    FrmMainControls& m_ui;
};

} // namespace nms
