#pragma once

#include <functional>

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QTimer>

#include "diag/ArpModule.h"
#include "platform/LinuxNeighbourTable.h"

namespace nms {
class Clock;
}

namespace nms::cli {

// The window's bounded MAC lookup without a window: probe the address, then
// read the kernel's neighbour table until it holds the element's hardware
// address or the bound (MacLookup::kBoundMs) has passed. Only an address on
// a directly attached network is probed; any other fails at once. Several
// lookups may wait at once.
class MacResolver : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(const QString& mac)>;

    explicit MacResolver(Clock& clock, QObject* parent = nullptr);

    // `done` gets the MAC in colon form, or the empty text; it may run
    // before this returns.
    void lookup(const QString& address, Done done);
    int waitingCount() const { return int(m_waiting.size()); }

private:
    struct Waiting {
        QString address;
        QHostAddress host;
        int interfaceIndex = 0;
        qint64 deadlineMs = 0;
        qint64 nextProbeMs = 0;
        Done done;
    };

    Clock& m_clock;
    LinuxNeighbourTable m_table;
    ArpModule m_arp;
    QTimer m_poll;
    QList<Waiting> m_waiting;

    void checkWaiting();
    void updatePoll();
};

} // namespace nms::cli
