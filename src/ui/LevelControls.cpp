#include "ui/LevelControls.h"

#include <utility>

#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include "protocol/LevelMonitor.h"
#include "ui/FrmMainControls.h"

namespace nms {

LevelControls::LevelControls(FrmMainControls& ui, LevelMonitor& monitor, QObject* parent)
    : QObject(parent)
    , m_ui(ui)
    , m_monitor(monitor)
{
    // Every operator change of a scroll bar (arrow, track, key, wheel, thumb
    // release) runs through an action that fires just before the value is
    // set; a value set by code (selection, confirmation) has no action.
    connect(m_ui.scrlAtten, &QAbstractSlider::actionTriggered, this,
            &LevelControls::onAttenuationAction);
    connect(m_ui.scrlAtten, &QAbstractSlider::valueChanged, this,
            &LevelControls::onAttenuationChanged);
    connect(m_ui.chkGetVolume, &QPushButton::toggled, &m_monitor, &LevelMonitor::MonitoringToggled);
}

void LevelControls::ShowAttenuationCaption(FrmMainControls& ui, int value)
{
    ui.lblAttenDB->setText(LevelMonitor::attenuationCaption(value, ui.scrlAtten->minimum()));
}

void LevelControls::onAttenuationAction()
{
    // The action has moved the slider position; a value change follows only
    // when the position differs from the value. Setting the flag only then
    // keeps it from lingering until a later change made by the program.
    const QScrollBar* bar = m_ui.scrlAtten;
    m_operatorMovingAtten = bar->sliderPosition() != bar->value();
}

void LevelControls::onAttenuationChanged(int value)
{
    const bool byOperator = std::exchange(m_operatorMovingAtten, false);
    ShowAttenuationCaption(m_ui, value);
    if (byOperator)
        m_monitor.AttenuationChangedByOperator(value);
}

} // namespace nms
