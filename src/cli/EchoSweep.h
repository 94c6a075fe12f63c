#pragma once

#include <memory>
#include <vector>

#include <QList>
#include <QObject>
#include <QString>

namespace nms {
class IcmpModule;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

// One echo to each of a list of addresses, through a bounded set of ICMP
// sockets at once, by the ping test's own routines. Each outcome is
// reported as it comes; finished() follows the last.
class EchoSweep : public QObject {
    Q_OBJECT
public:
    // The sockets are opened by the caller; each carries one echo at a time.
    explicit EchoSweep(const std::vector<IcmpSocket*>& sockets, QObject* parent = nullptr);
    ~EchoSweep() override;

    void start(const QStringList& addresses);
    bool isRunning() const { return m_outstanding > 0 || m_next < m_addresses.size(); }

signals:
    void echoed(int index, qint32 status, quint32 roundTripMs);
    void finished();

private:
    struct Lane;
    void sendNext(Lane& lane);
    bool anyOtherLaneOpen(const Lane& lane) const;
    void laneFinished(Lane& lane, qint32 status, quint32 roundTripMs);

    std::vector<std::unique_ptr<Lane>> m_lanes;
    QStringList m_addresses;
    qsizetype m_next = 0;
    int m_outstanding = 0;
};

} // namespace nms::cli
