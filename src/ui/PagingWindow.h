#pragma once

#include <QPointer>

#include "protocol/PagingView.h"
#include "ui/FrmPaging.h"

namespace nms {

// Shows frmPaging over the main window while a discovery collects answers:
// window-modal, opened without a nested event loop.
class PagingWindow : public PagingView {
public:
    explicit PagingWindow(QWidget* owner);
    ~PagingWindow() override;

    void open() override;
    void close() override;

    // The window while it is shown (null otherwise).
    FrmPaging* window() const { return m_window; }

private:
    QWidget* m_owner;
    QPointer<FrmPaging> m_window;
};

} // namespace nms
