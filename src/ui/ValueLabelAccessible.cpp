#include "ui/ValueLabelAccessible.h"

#include <QLabel>

namespace nms {

namespace {

// The caption a value label was linked to, kept on the label until its
// interface is made.
constexpr const char* kCaptionProperty = "nmsValueCaption";

} // namespace

ValueLabelAccessible::ValueLabelAccessible(QLabel* value, QLabel* caption)
    : QAccessibleWidget(value, QAccessible::StaticText)
    , m_caption(caption)
{
}

void ValueLabelAccessible::link(QLabel* value, QLabel* caption)
{
    // Installing the same factory again is a no-op.
    QAccessible::installFactory(&ValueLabelAccessible::create);
    value->setProperty(kCaptionProperty, QVariant::fromValue(static_cast<QObject*>(caption)));
    // Setting the label's first text asked for its interface and kept the
    // plain one; drop it so that the next request makes this one.
    QAccessibleInterface* current = QAccessible::queryAccessibleInterface(value);
    if (current != nullptr && dynamic_cast<ValueLabelAccessible*>(current) == nullptr)
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(current));
}

QAccessibleInterface* ValueLabelAccessible::create(const QString&, QObject* object)
{
    auto* value = qobject_cast<QLabel*>(object);
    if (value == nullptr)
        return nullptr;
    auto* caption = qobject_cast<QLabel*>(value->property(kCaptionProperty).value<QObject*>());
    if (caption == nullptr)
        return nullptr;
    return new ValueLabelAccessible(value, caption);
}

QLabel* ValueLabelAccessible::label() const
{
    return static_cast<QLabel*>(widget());
}

// Every caption is plain text, so the text is read exactly as shown, and it
// is read afresh on every request: the name follows each change of the text.
// QLabel itself reports each change as a name change while the label has no
// fixed accessible name.
QString ValueLabelAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Name && label()->accessibleName().isEmpty())
        return label()->text();
    return QAccessibleWidget::text(t);
}

QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
ValueLabelAccessible::relations(QAccessible::Relation match) const
{
    auto found = QAccessibleWidget::relations(match);
    if (!(match & QAccessible::Label) || m_caption.isNull())
        return found;
    QAccessibleInterface* caption = QAccessible::queryAccessibleInterface(m_caption.data());
    const QPair<QAccessibleInterface*, QAccessible::Relation> link{caption, QAccessible::Label};
    if (caption != nullptr && !found.contains(link))
        found.prepend(link);
    return found;
}

} // namespace nms
