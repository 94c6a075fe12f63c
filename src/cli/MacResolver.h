#pragma once

#include <functional>
#include <memory>

#include <QObject>
#include <QString>

#include "diag/MacLookup.h"
#include "platform/LinuxNeighbourTable.h"
#include "platform/QtTimer.h"

namespace nms {
class Clock;
class Dialogs;
class Timer;
} // namespace nms

namespace nms::cli {

// The window's bounded MAC lookup (MacLookup) over the kernel's neighbour
// table, with the services it needs: probe the address, then read the table
// until it holds the element's hardware address or the bound has passed.
// Only an address on a directly attached network is probed.
class MacResolver : public QObject {
    Q_OBJECT
public:
    using Done = MacLookup::Done;

    MacResolver(Dialogs& dialogs, Clock& clock, QObject* parent = nullptr);
    ~MacResolver() override;

    // `done` gets the MAC in colon form, or the empty text; it may run
    // before this returns.
    void lookup(const QString& address, Done done);
    int waitingCount() const { return m_lookup->waitingCount(); }

private:
    QtTimerFactory m_timers;
    LinuxNeighbourTable m_table;
    std::unique_ptr<Timer> m_macTimer;
    std::unique_ptr<MacLookup> m_lookup;
};

} // namespace nms::cli
