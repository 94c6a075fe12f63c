#pragma once

#include <QAccessibleWidget>
#include <QPointer>

class QLabel;

namespace nms {

// How a screen reader sees a label that shows a value (an element's type, a
// readout, the ping result): its name is the text it shows now, so the value
// is what is read, and the caption beside it is its label, so the reader can
// tell what the value is. Text fields, lists and bars keep their caption as
// their name; this is only for labels.
class ValueLabelAccessible : public QAccessibleWidget {
public:
    ValueLabelAccessible(QLabel* value, QLabel* caption);

    // Makes the value label answer through this interface, with the caption
    // as its label. Call before anything asks for the label's interface.
    static void link(QLabel* value, QLabel* caption);

    QString text(QAccessible::Text t) const override;
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match = QAccessible::AllRelations) const override;

private:
    static QAccessibleInterface* create(const QString& className, QObject* object);

    QLabel* label() const;

    QPointer<QLabel> m_caption;
};

} // namespace nms
