#pragma once

#include <QLabel>

namespace nms {

// A label whose caption the program sets through setCaption(), which reports
// every setting, also one to the caption already shown: the layout switch of
// the properties panel and the ping colour rule run on each. It also reports
// a click: a left button pressed and released over the label, or Space/Enter
// when it has the focus. A double click is one click.
class CaptionLabel : public QLabel {
    Q_OBJECT
public:
    explicit CaptionLabel(const QString& caption = QString(), QWidget* parent = nullptr);

    void setCaption(const QString& caption);
    QString caption() const { return text(); }

signals:
    void captionSet(const QString& caption);
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A left press on the label that has not been released yet.
    bool m_pressed = false;
};

} // namespace nms
