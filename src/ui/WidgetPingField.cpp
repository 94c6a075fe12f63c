#include "ui/WidgetPingField.h"

#include "diag/PingController.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/ShapeWidget.h"

namespace nms {

const QColor WidgetPingField::kIdleColour(255, 255, 192);

namespace {

const QColor kSuccessGreen(0, 255, 0);
const QColor kFailureRed(255, 0, 0);

} // namespace

WidgetPingField::WidgetPingField(FrmMainControls& ui)
    : m_ui(ui)
{
}

void WidgetPingField::setFill(Fill fill)
{
    switch (fill) {
    case Fill::Idle: m_ui.shpPing->setFillColor(kIdleColour); return;
    case Fill::Success: m_ui.shpPing->setFillColor(kSuccessGreen); return;
    case Fill::Failure: m_ui.shpPing->setFillColor(kFailureRed); return;
    }
}

PingFieldView::Fill WidgetPingField::fill() const
{
    const QColor colour = m_ui.shpPing->fillColor();
    return colour == kSuccessGreen ? Fill::Success
           : colour == kFailureRed ? Fill::Failure
                                   : Fill::Idle;
}

void WidgetPingField::setCaption(const QString& caption)
{
    m_ui.lblPing->setCaption(caption);
}

void WidgetPingField::connectTo(PingController& controller)
{
    QObject::connect(m_ui.lblPing, &CaptionLabel::captionSet, &controller,
                     &PingController::CaptionChanged);
    QObject::connect(m_ui.lblPing, &CaptionLabel::clicked, &controller, &PingController::Clicked);
}

} // namespace nms
