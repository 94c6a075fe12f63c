#pragma once

#include <QObject>

class QSocketNotifier;

namespace nms::sim {

// Turns SIGTERM and SIGINT into a Qt signal through a self-pipe, so the
// simulator leaves its event loop and closes its sockets normally.
class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

    bool install(QString* error);

signals:
    void stopRequested(int signalNumber);

private:
    static void onSignal(int signalNumber);
    void readPipe();

    static int s_writeFd;
    int m_fds[2] = {-1, -1};
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace nms::sim
