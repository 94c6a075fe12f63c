#pragma once

#include <QImage>
#include <QWidget>

namespace nms {

// The level bar: a 140 x 16 colour ramp shown unscaled and cut off at the
// control's width. The width is kept in twips (0 to 2100), as the level
// display computes it; 15 twips make one pixel.
class VuMeterImage : public QWidget {
    Q_OBJECT
public:
    explicit VuMeterImage(QWidget* parent = nullptr);

    void setWidthTwips(int twips);
    int widthTwips() const { return m_widthTwips; }
    const QImage& ramp() const { return m_ramp; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_ramp;
    int m_widthTwips = 2100;
};

} // namespace nms
