#include "ui/VuMeterImage.h"

#include <array>

#include <QPainter>

namespace nms {

namespace {

// Evenly spaced colour stops of the ramp, left to right.
const std::array<QColor, 5> kStops{QColor(0, 0, 255), QColor(0, 255, 255), QColor(0, 255, 0),
                                   QColor(255, 255, 0), QColor(255, 128, 0)};

int mix(int from, int to, double t)
{
    return qRound(from + (to - from) * t);
}

QColor rampColourAt(int column)
{
    const double position = double(column) * (kStops.size() - 1) / (VuMeterImage::kRampWidth - 1);
    const int segment = qMin(int(position), int(kStops.size()) - 2);
    const double t = position - segment;
    const QColor& a = kStops[segment];
    const QColor& b = kStops[segment + 1];
    return QColor(mix(a.red(), b.red(), t), mix(a.green(), b.green(), t),
                  mix(a.blue(), b.blue(), t));
}

} // namespace

VuMeterImage::VuMeterImage(QWidget* parent)
    : QWidget(parent)
    , m_ramp(makeRamp())
{
    resize(kRampWidth, kRampHeight);
}

QImage VuMeterImage::makeRamp()
{
    QImage ramp(kRampWidth, kRampHeight, QImage::Format_RGB32);
    for (int x = 0; x < kRampWidth; ++x) {
        const QRgb colour = rampColourAt(x).rgb();
        for (int y = 0; y < kRampHeight; ++y)
            ramp.setPixel(x, y, colour);
    }
    return ramp;
}

void VuMeterImage::setWidthTwips(int twips)
{
    m_widthTwips = qBound(0, twips, kMaxWidthTwips);
    // The control itself is as wide as the part of the picture it shows.
    resize(m_widthTwips / 15, kRampHeight);
    update();
}

void VuMeterImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int pixels = m_widthTwips / 15;
    painter.drawImage(QPoint(0, 0), m_ramp, QRect(0, 0, pixels, kRampHeight));
}

} // namespace nms
