#pragma once

#include <QString>

namespace nms {

// The audio level display: the meter's bar (its width in twips) and the
// level caption under it.
class MeterView {
public:
    virtual ~MeterView() = default;

    virtual void setMeterWidthTwips(int twips) = 0;
    virtual void setLevelCaption(const QString& caption) = 0;
};

} // namespace nms
