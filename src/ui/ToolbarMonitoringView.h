#pragma once

#include "db/MonitoringView.h"

namespace nms {

struct FrmMainControls;

// The monitoring switch of the main window: chkGetVolume and the toolbar's
// "Start audio monitoring" and "Stop audio monitoring" buttons.
class ToolbarMonitoringView : public MonitoringView {
public:
    explicit ToolbarMonitoringView(FrmMainControls& ui);

    void untickMonitoring() override;
    void enableMonitoringButtons(bool start, bool stop) override;

private:
    FrmMainControls& m_ui;
};

} // namespace nms
