#pragma once

#include "db/MeterView.h"

namespace nms {

struct FrmMainControls;

// The level display of the diagnostics frame: VUMeter and lblVolume.
class WidgetMeterView : public MeterView {
public:
    explicit WidgetMeterView(FrmMainControls& ui);

    void setMeterWidthTwips(int twips) override;
    void setLevelCaption(const QString& caption) override;

private:
    FrmMainControls& m_ui;
};

} // namespace nms
