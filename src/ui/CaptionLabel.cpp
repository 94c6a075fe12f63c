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

void CaptionLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click arrives as this event alone, and
    // the base class would report it as a press: a double click is one
    // click, or a ping would at once be followed by a second one (or by the
    // stop of the countdown it started).
    if (event->button() == Qt::LeftButton) {
        event->accept();
        return;
    }
    QLabel::mouseDoubleClickEvent(event);
}

void CaptionLabel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
        event->key() == Qt::Key_Enter) {
        // A held key repeats its press; like a button, the label takes it
        // as one click.
        if (!event->isAutoRepeat())
            emit clicked();
        event->accept();
        return;
    }
    QLabel::keyPressEvent(event);
}

} // namespace nms
