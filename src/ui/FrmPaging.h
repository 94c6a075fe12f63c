#pragma once

#include <memory>

#include <QDialog>

class QLabel;

namespace nms {

class Timer;
class TimerFactory;

// The small window shown while a discovery collects the elements' answers.
// It only holds its controls; the discovery adds the behaviour.
class FrmPaging : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kCaption = "Paging network...";
    // Client area in pixels (4680 x 810 twips).
    static constexpr int kClientWidth = 312;
    static constexpr int kClientHeight = 54;

    FrmPaging(TimerFactory& timers, QWidget* parent);
    ~FrmPaging() override;

    QLabel* Label1() const { return m_label1; }
    Timer* Timer1() const { return m_timer1.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLabel* m_label1 = nullptr;
    std::unique_ptr<Timer> m_timer1;

    void centreOnParent();
};

} // namespace nms
