#pragma once

#include "db/MeterView.h"
#include "db/MonitoringView.h"
#include "db/PingFieldView.h"

namespace nms::cli {

// The window's meter, ping field and monitoring buttons, which the element
// list and the selection also set: nothing of them shows on a command line.
class SilentViews : public MeterView, public PingFieldView, public MonitoringView {
public:
    void setMeterWidthTwips(int) override {}
    void setLevelCaption(const QString&) override {}
    void setFill(Fill) override {}
    Fill fill() const override { return Fill::Idle; }
    void setCaption(const QString&) override {}
    void untickMonitoring() override {}
    void enableMonitoringButtons(bool, bool) override {}
};

} // namespace nms::cli
