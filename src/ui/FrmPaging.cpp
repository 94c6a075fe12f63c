#include "ui/FrmPaging.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>

#include "ui/UiFonts.h"

namespace nms {

FrmPaging::FrmPaging(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmPaging"));
    setWindowTitle(QString::fromLatin1(kCaption));
    setFont(UiFonts::windowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setSizeGripEnabled(false);

    m_label1 =
        new QLabel(QStringLiteral("Please wait a few seconds while paging the network..."), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_label1->setGeometry(24, 16, 256, 13);
    // The caption must not be cut off where the stand-in font runs wider.
    m_label1->resize(qMax(m_label1->width(), m_label1->sizeHint().width()),
                     qMax(m_label1->height(), m_label1->sizeHint().height()));
}

FrmPaging::~FrmPaging() = default;

void FrmPaging::showEvent(QShowEvent* event)
{
    centreOnParent();
    QDialog::showEvent(event);
}

// The collection window runs its full time: Escape does not close it.
void FrmPaging::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// Nor does a close request from the window manager (Alt+F4, the task bar):
// it would unblock the main window while the collection goes on. The
// discovery's own close is not spontaneous and goes through.
void FrmPaging::closeEvent(QCloseEvent* event)
{
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void FrmPaging::centreOnParent()
{
    const QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    if (!owner)
        return;
    QRect frame = frameGeometry();
    frame.moveCenter(owner->frameGeometry().center());
    move(frame.topLeft());
}

} // namespace nms
