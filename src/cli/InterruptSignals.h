#pragma once

#include <QObject>

class QSocketNotifier;

namespace nms::cli {

// SIGINT and SIGTERM, turned into a Qt signal through a pipe, so that a
// wait ends at once and the command stops before it writes anything.
class InterruptSignals : public QObject {
    Q_OBJECT
public:
    explicit InterruptSignals(QObject* parent = nullptr);
    ~InterruptSignals() override;

    bool raised() const { return m_raised; }

signals:
    void interrupted();

private:
    void onPipeReadable();

    QSocketNotifier* m_notifier = nullptr;
    bool m_raised = false;
};

} // namespace nms::cli
