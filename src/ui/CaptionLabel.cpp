#include "ui/CaptionLabel.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace nms {

CaptionLabel::CaptionLabel(const QString& caption, QWidget* parent)
    : QLabel(caption, parent)
{
}

void CaptionLabel::setCaption(const QString& caption)
{
    setText(caption);
    emit captionSet(caption);
}

void CaptionLabel::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        emit clicked();
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

void CaptionLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        emit clicked();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace nms
