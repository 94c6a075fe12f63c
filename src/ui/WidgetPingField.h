#pragma once

#include <QColor>

#include "db/PingFieldView.h"

namespace nms {

struct FrmMainControls;
class PingController;

// The ping field of the diagnostics frame: shpPing's colour and lblPing's
// caption. The label's clicks and caption settings go to the controller.
class WidgetPingField : public PingFieldView {
public:
    static const QColor kIdleColour;

    explicit WidgetPingField(FrmMainControls& ui);

    void setFill(Fill fill) override;
    Fill fill() const override;
    void setCaption(const QString& caption) override;

    // Reports lblPing's clicks and every caption set on it to the controller.
    void connectTo(PingController& controller);

private:
    FrmMainControls& m_ui;
};

} // namespace nms
