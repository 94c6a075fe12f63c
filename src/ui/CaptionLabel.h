#pragma once

#include <QLabel>

namespace nms {

// A label whose caption the program sets through setCaption(), which reports
// every setting, also one to the caption already shown: the layout switch of
// the properties panel and the ping colour rule run on each. It also reports
// a click (mouse or Space/Enter when it has the focus); a double click is
// one click.
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
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace nms
