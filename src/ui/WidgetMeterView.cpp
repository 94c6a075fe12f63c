#include "ui/WidgetMeterView.h"

#include <QLabel>

#include "ui/FrmMainControls.h"
#include "ui/VuMeterImage.h"

namespace nms {

WidgetMeterView::WidgetMeterView(FrmMainControls& ui)
    : m_ui(ui)
{
}

void WidgetMeterView::setMeterWidthTwips(int twips)
{
    m_ui.VUMeter->setWidthTwips(twips);
}

void WidgetMeterView::setLevelCaption(const QString& caption)
{
    m_ui.lblVolume->setText(caption);
}

} // namespace nms
