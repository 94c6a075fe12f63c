#pragma once

#include <QList>
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
// were busy with it: the outcome is shown first, and what happened
// meanwhile counts after it, in the order it came. Clicks are held and then
// handled in turn (one that pings again leaves the rest held behind its own
// echo); a retry tick does nothing, and a second PingElement is ignored. If
// someone else sets the field meanwhile (another element selected, the
// panel cleared), the outcome is still shown, and a time-out still starts
// the countdown, which then pings what the panel shows; the field is then
// put back as the other left it, at that change's place among the clicks.
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
    void handleHeldEvents();
    void restoreForeignField();
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
    // What happened during the echo, in order: a click, or (at most one
    // mark, at the latest such change) the field set by someone else.
    enum class Held { Click, ForeignField };
    QList<Held> m_held;
    // The field as the other left it, taken when the outcome came.
    PingFieldView::Fill m_foreignFill = PingFieldView::Fill::Idle;
    QString m_foreignCaption;
    bool m_foreignTaken = false;
    QString m_lastCaption;
};

} // namespace nms
