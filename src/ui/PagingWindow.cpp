#include "ui/PagingWindow.h"

#include "ui/FrmPaging.h"

namespace nms {

PagingWindow::PagingWindow(QWidget* owner)
    : m_owner(owner)
{
}

PagingWindow::~PagingWindow()
{
    delete m_window;
}

void PagingWindow::open()
{
    m_window = new FrmPaging(m_owner);
    // open(), not exec(): window-modal without a nested event loop.
    m_window->open();
}

// Deleted once control is back in the event loop: the close may come from
// inside one of the window's own events.
void PagingWindow::close()
{
    if (m_window == nullptr)
        return;
    m_window->close();
    m_window->deleteLater();
    m_window = nullptr;
}

} // namespace nms
