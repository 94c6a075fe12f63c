#pragma once

#include <QImage>
#include <QWidget>

namespace nms {

// The level bar: a 140 x 16 colour ramp from blue through cyan, green and
// yellow to orange, shown unscaled and cut off at the control's width. The
// width is kept in twips (0 to 2100), as the level display computes it; 15
// twips make one pixel.
class VuMeterImage : public QWidget {
    Q_OBJECT
public:
    static constexpr int kRampWidth = 140;
    static constexpr int kRampHeight = 16;
    static constexpr int kMaxWidthTwips = kRampWidth * 15;

    explicit VuMeterImage(QWidget* parent = nullptr);

    // Sets the shown width; values outside 0..2100 are held at the bounds.
    void setWidthTwips(int twips);
    int widthTwips() const { return m_widthTwips; }
    const QImage& ramp() const { return m_ramp; }

    // The ramp as drawn: one colour per column.
    static QImage makeRamp();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_ramp;
    int m_widthTwips = kMaxWidthTwips;
};

} // namespace nms
