#include "ui/ShapeWidget.h"

#include <QPainter>

namespace nms {

ShapeWidget::ShapeWidget(QWidget* parent)
    : QWidget(parent)
{
}

void ShapeWidget::setFillColor(const QColor& color)
{
    m_fill = color;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(m_fill);
    const qreal radius = qMin(width(), height()) / 4.0;
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), radius, radius);
}

} // namespace nms
