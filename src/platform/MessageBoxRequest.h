#pragma once

#include <QString>
#include <QStringList>

namespace nms {

enum class BoxIcon { None, Information, Question, Exclamation, Critical };
enum class BoxButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class BoxAnswer { Ok, Cancel, Yes, No };

// One modal message box as the program asks for it. The lines are joined by
// a single carriage return, which is how the program's boxes are recorded and
// compared; the real dialog shows them as separate lines.
struct MessageBoxRequest {
    BoxIcon icon = BoxIcon::None;
    QString title;
    QStringList lines;
    BoxButtons buttons = BoxButtons::Ok;
    BoxAnswer defaultButton = BoxAnswer::Ok;

    QString text() const { return lines.join(QLatin1Char('\r')); }
};

// Title of every box that has none of its own.
inline const QString kApplicationTitle = QStringLiteral("Orbelund Veltrino Manager");

} // namespace nms
