#include "ui/QtDialogs.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

namespace nms {
namespace {

QMessageBox::Icon toQtIcon(BoxIcon icon)
{
    switch (icon) {
    case BoxIcon::Information: return QMessageBox::Information;
    case BoxIcon::Question: return QMessageBox::Question;
    case BoxIcon::Exclamation: return QMessageBox::Warning;
    case BoxIcon::Critical: return QMessageBox::Critical;
    case BoxIcon::None: break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons toQtButtons(BoxButtons buttons)
{
    switch (buttons) {
    case BoxButtons::Ok: return QMessageBox::Ok;
    case BoxButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case BoxButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case BoxButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::StandardButton toQtButton(BoxAnswer answer)
{
    switch (answer) {
    case BoxAnswer::Ok: return QMessageBox::Ok;
    case BoxAnswer::Cancel: return QMessageBox::Cancel;
    case BoxAnswer::Yes: return QMessageBox::Yes;
    case BoxAnswer::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
}

BoxAnswer fromQtButton(int button, BoxButtons offered)
{
    switch (button) {
    case QMessageBox::Ok: return BoxAnswer::Ok;
    case QMessageBox::Yes: return BoxAnswer::Yes;
    case QMessageBox::No: return BoxAnswer::No;
    case QMessageBox::Cancel: return BoxAnswer::Cancel;
    default: break;
    }
    // Closed by the window manager: the safe answer of each button set.
    return offered == BoxButtons::Ok         ? BoxAnswer::Ok
           : offered == BoxButtons::OkCancel ? BoxAnswer::Cancel
                                             : BoxAnswer::No;
}

// Qt wraps a box's text at about 500 pixels, which breaks the longer lines
// the program gives and leaves a word alone on a line of its own ("Auto
// Discovery"'s first line). The text is made as wide as its widest line,
// within three quarters of the screen; only a longer line still wraps.
void keepLinesWhole(QMessageBox& dialog, const QStringList& lines)
{
    auto* text = dialog.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (text == nullptr)
        return;
    int widest = 0;
    for (const QString& line : lines)
        widest = qMax(widest, text->fontMetrics().horizontalAdvance(line));
    const QScreen* screen = dialog.screen();
    const int limit = screen ? screen->availableGeometry().width() * 3 / 4 : widest;
    text->setMinimumWidth(qMin(widest + 1, limit));
}

} // namespace

BoxAnswer QtDialogs::present(const MessageBoxRequest& box)
{
    QMessageBox dialog(toQtIcon(box.icon), box.title, box.lines.join(QLatin1Char('\n')),
                       toQtButtons(box.buttons), m_parent);
    dialog.setDefaultButton(toQtButton(box.defaultButton));
    dialog.setTextFormat(Qt::PlainText);
    keepLinesWhole(dialog, box.lines);
    return fromQtButton(dialog.exec(), box.buttons);
}

} // namespace nms
