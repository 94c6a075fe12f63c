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
        m_pressed = true;
        event->accept();
        return;
    }
    QLabel::mousePressEvent(event);
}

// Like a button, the label acts when the button comes up over it: a press
// that is dragged off the label and released elsewhere is no click.
void CaptionLabel::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const bool over = rect().contains(event->position().toPoint());
        const bool wasPressed = m_pressed;
        m_pressed = false;
        event->accept();
        if (wasPressed && over)
            emit clicked();
        return;
    }
    QLabel::mouseReleaseEvent(event);
}

void CaptionLabel::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click arrives as this event alone, and
    // the base class would report it as a press: it arms no click, so a
    // double click is one click, or a ping would at once be followed by a
    // second one (or by the stop of the countdown it started).
    if (event->button() == Qt::LeftButton) {
        m_pressed = false;
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
