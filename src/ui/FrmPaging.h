#pragma once

#include <QDialog>

class QLabel;

namespace nms {

// The small window shown while a discovery collects the elements' answers.
// It only holds its controls; the discovery, which owns the collection
// timer, opens and closes it (PagingWindow).
class FrmPaging : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Paging network...";
    // Client area in pixels (4680 x 810 twips).
    static constexpr int kClientWidth = 312;
    static constexpr int kClientHeight = 54;

    explicit FrmPaging(QWidget* parent);
    ~FrmPaging() override;

    QLabel* Label1() const { return m_label1; }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* m_label1 = nullptr;

    void centreOnParent();
};

} // namespace nms
