#pragma once

#include <QObject>
#include <QString>

#include "diag/IcmpModule.h"

namespace nms {
class Clock;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

class InterruptSignals;

// One echo at a time through the window's ICMP routines, waited for with a
// bound, and told with the window's texts: "N ms" for a reply, the status
// text ("Request Timed Out", ...) otherwise.
class EchoRunner : public QObject {
    Q_OBJECT
public:
    struct Outcome {
        qint32 status = -1;
        quint32 roundTripMs = 0;
        // From sending to the outcome, as this program saw it.
        qint64 elapsedUs = 0;
        bool interrupted = false;

        bool replied() const;
        QString text() const;
    };

    EchoRunner(IcmpSocket& socket, Clock& clock, InterruptSignals& interrupts,
               QObject* parent = nullptr);
    ~EchoRunner() override;

    // Refuses (CliError, the given status) when no ICMP socket can be had,
    // with the window's texts.
    void open(int failureStatus);
    Outcome echo(const QString& address);

private:
    IcmpModule m_icmp;
    Clock& m_clock;
    InterruptSignals& m_interrupts;
};

} // namespace nms::cli
