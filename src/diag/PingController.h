#pragma once

#include <QObject>
#include <QString>

#include "diag/IcmpModule.h"

class QColor;

namespace nms {

struct NmsContext;
class IcmpSocket;

// The ping test of the diagnostics frame: a click on lblPing pings the
// address in txtElementIP and shows the outcome on lblPing and shpPing; a
// time-out starts a countdown on tmrRetryPing that pings again until some
// other outcome comes or the operator clicks.
//
// The echo runs asynchronously, and at most one is outstanding. While it
// is, the caption stays as it was and the rules behave as if the window
// were busy with it: clicks are held and, once the outcome is shown, each
// is handled in turn, in the order they came (one that pings again leaves
// the rest held behind its own echo); a retry tick does nothing, and a
// second PingElement is ignored. If lblPing is set by anyone else meanwhile
// (another element selected, the panel cleared), the outcome belongs to
// what is no longer shown and is dropped; the held clicks still count, on
// what the panel shows now.
class PingController : public QObject {
    Q_OBJECT
public:
    static constexpr qint16 kRetryCountdownStart = 3;
    // More clicks than an operator can make during one echo; any beyond
    // are not held.
    static constexpr int kMaxHeldClicks = 64;

    PingController(NmsContext& context, IcmpSocket& socket, QObject* parent = nullptr);

    // Pings the address; an address that fails the IP address check is
    // ignored without a trace.
    void PingElement(const QString& address);

    qint16 PingRetryCountdown() const { return m_pingRetryCountdown; }
    void setPingRetryCountdown(qint16 value) { m_pingRetryCountdown = value; }
    // The first value, given by the main window's load step.
    void InitPingRetryCountdown() { m_pingRetryCountdown = kRetryCountdownStart; }

    bool isEchoPending() const { return m_icmp.isEchoPending(); }

private:
    void connectControls();
    void applyCaptionRule(const QString& caption);
    void handleClick();
    void applyClickRule();
    void handleHeldClicks();
    void retryTick();
    void reportSocketFailure();
    void showEchoOutcome(qint32 status, quint32 roundTripMs);
    void showResult(const QColor& fill, const QString& caption);

    NmsContext& m_context;
    IcmpModule m_icmp;
    qint16 m_pingRetryCountdown = 0;
    int m_clicksHeld = 0;
    bool m_captionChangedDuringEcho = false;
};

} // namespace nms
