#pragma once

#include <QColor>
#include <QWidget>

namespace nms {

// The rounded-rectangle shape behind the ping result.
class ShapeWidget : public QWidget {
    Q_OBJECT
public:
    explicit ShapeWidget(QWidget* parent = nullptr);

    void setFillColor(const QColor& color);
    QColor fillColor() const { return m_fill; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor m_fill{255, 255, 192};
};

} // namespace nms
