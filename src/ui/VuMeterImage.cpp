#include "ui/VuMeterImage.h"

#include <QPainter>

namespace nms {

VuMeterImage::VuMeterImage(QWidget* parent)
    : QWidget(parent)
    , m_ramp(140, 16, QImage::Format_RGB32)
{
    m_ramp.fill(Qt::blue);
}

void VuMeterImage::setWidthTwips(int twips)
{
    m_widthTwips = qBound(0, twips, 2100);
    update();
}

void VuMeterImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int pixels = m_widthTwips / 15;
    painter.drawImage(QPoint(0, 0), m_ramp, QRect(0, 0, pixels, m_ramp.height()));
}

} // namespace nms
