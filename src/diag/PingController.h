#pragma once

#include <QObject>
#include <QString>

#include "db/PingFieldView.h"
#include "diag/IcmpModule.h"

namespace nms {

class Dialogs;
class ElementPanelView;
class IcmpSocket;
class Timer;

// The ping test of the diagnostics frame: a click on the ping field pings
// the element IP the panel shows and shows the outcome in the ping field; a
// time-out starts a countdown on the retry timer (tmrRetryPing) that pings
// again until some other outcome comes or the operator clicks. The window
// reports the clicks (Clicked) and every caption set on the field
// (CaptionChanged), whoever set it.
//
// The echo runs asynchronously, and at most one is outstanding. While it
// is, the caption stays as it was and the rules behave as if the window
// were busy with it: clicks are held and, once the outcome is shown, each
// is handled in turn, in the order they came (one that pings again leaves
// the rest held behind its own echo); a retry tick does nothing, and a
// second PingElement is ignored. If the caption is set by anyone else meanwhile
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

    PingController(Dialogs& dialogs, IcmpSocket& socket, ElementPanelView& panel,
                   PingFieldView& pingField, Timer& retryTimer, QObject* parent = nullptr);

    // Pings the address; an address that fails the IP address check is
    // ignored without a trace.
    void PingElement(const QString& address);

    // The countdown starts at 0 and is set once by the main window's load
    // step; after a retry it starts again at kRetryCountdownStart.
    qint16 PingRetryCountdown() const { return m_pingRetryCountdown; }
    void setPingRetryCountdown(qint16 value) { m_pingRetryCountdown = value; }

    // Every caption set on the ping field, by anyone.
    void CaptionChanged(const QString& caption);
    // The operator's click on the ping field.
    void Clicked();

    bool isEchoPending() const { return m_icmp.isEchoPending(); }

private:
    void applyClickRule();
    void handleHeldClicks();
    void retryTick();
    void reportSocketFailure();
    void showEchoOutcome(qint32 status, quint32 roundTripMs);
    void showResult(PingFieldView::Fill fill, const QString& caption);

    Dialogs& m_dialogs;
    ElementPanelView& m_panel;
    PingFieldView& m_pingField;
    Timer& m_retryTimer;
    IcmpModule m_icmp;
    qint16 m_pingRetryCountdown = 0;
    int m_clicksHeld = 0;
    bool m_captionChangedDuringEcho = false;
};

} // namespace nms
