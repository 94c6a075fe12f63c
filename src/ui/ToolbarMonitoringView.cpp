#include "ui/ToolbarMonitoringView.h"

#include <QAction>
#include <QPushButton>

#include "ui/FrmMainControls.h"

namespace nms {

ToolbarMonitoringView::ToolbarMonitoringView(FrmMainControls& ui)
    : m_ui(ui)
{
}

void ToolbarMonitoringView::untickMonitoring()
{
    m_ui.chkGetVolume->setChecked(false);
}

void ToolbarMonitoringView::enableMonitoringButtons(bool start, bool stop)
{
    if (QAction* button = m_ui.Toolbar1Buttons[kStartMonitoringButton])
        button->setEnabled(start);
    if (QAction* button = m_ui.Toolbar1Buttons[kStopMonitoringButton])
        button->setEnabled(stop);
}

} // namespace nms
