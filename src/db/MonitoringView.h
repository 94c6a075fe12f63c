#pragma once

namespace nms {

// The audio monitoring switch: the tick box whose state starts and stops
// the level polling, and the toolbar's start and stop buttons.
class MonitoringView {
public:
    virtual ~MonitoringView() = default;

    // Unticking runs the level monitor's own rule for it (the window reports
    // the change back as MonitoringToggled(false)).
    virtual void untickMonitoring() = 0;
    virtual void enableMonitoringButtons(bool start, bool stop) = 0;
};

} // namespace nms
