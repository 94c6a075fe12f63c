#include "diag/PingController.h"

#include "db/ElementPanelView.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"

namespace nms {

using Fill = PingFieldView::Fill;

PingController::PingController(Dialogs& dialogs, IcmpSocket& socket, ElementPanelView& panel,
                               PingFieldView& pingField, Timer& retryTimer, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_panel(panel)
    , m_pingField(pingField)
    , m_retryTimer(retryTimer)
    , m_icmp(socket)
{
    connect(&m_icmp, &IcmpModule::echoFinished, this, &PingController::showEchoOutcome);
    connect(&m_retryTimer, &Timer::tick, this, &PingController::retryTick);
}

void PingController::PingElement(const QString& address)
{
    if (!text::IsValidIP(address) || m_icmp.isEchoPending())
        return;
    if (!m_icmp.OpenSocketLayer()) {
        reportSocketFailure();
        return;
    }
    m_icmp.SendEcho(address);
}

void PingController::CaptionChanged(const QString& caption)
{
    m_lastCaption = caption;
    if (m_icmp.isEchoPending()) {
        m_held.removeAll(Held::ForeignField);
        m_held << Held::ForeignField;
        m_foreignTaken = false;
    }
    if (caption.contains(QStringLiteral("Timed")))
        m_retryTimer.setEnabled(true);
}

void PingController::Clicked()
{
    if (m_icmp.isEchoPending()) {
        if (m_held.count(Held::Click) < kMaxHeldClicks)
            m_held << Held::Click;
        return;
    }
    applyClickRule();
}

void PingController::applyClickRule()
{
    if (!m_retryTimer.isEnabled()) {
        PingElement(m_panel.text(ElementPanelView::Text::IP));
        return;
    }
    m_pingField.setCaption(QStringLiteral("<Stopped>"));
    m_retryTimer.setEnabled(false);
}

void PingController::retryTick()
{
    // The countdown waits for an outstanding echo; it never starts a second.
    if (m_icmp.isEchoPending())
        return;
    if (m_pingRetryCountdown < 1) {
        m_retryTimer.setEnabled(false);
        m_pingRetryCountdown = kRetryCountdownStart;
        PingElement(m_panel.text(ElementPanelView::Text::IP));
        return;
    }
    --m_pingRetryCountdown;
    m_pingField.setCaption(QStringLiteral("Retrying in %1 seconds...").arg(m_pingRetryCountdown));
}

void PingController::reportSocketFailure()
{
    m_dialogs.critical(QStringLiteral("Ping failed"),
                       {QStringLiteral("Windows Sockets not responding correctly.")});
    showResult(Fill::Failure, QStringLiteral("Unable to init sockets"));
}

void PingController::showEchoOutcome(qint32 status, quint32 roundTripMs)
{
    if (m_held.contains(Held::ForeignField) && !m_foreignTaken) {
        m_foreignTaken = true;
        m_foreignFill = m_pingField.fill();
        m_foreignCaption = m_lastCaption;
    }
    const QString statusText = IcmpModule::EchoStatusText(status);
    if (statusText == QStringLiteral("Success!"))
        showResult(Fill::Success, QString::number(roundTripMs) + QStringLiteral(" ms"));
    else
        showResult(Fill::Failure, statusText);
    m_icmp.CloseSocketLayer();
    handleHeldEvents();
}

// What happened while the echo was out, as the window would have handled it
// after the echo: the first click after a time-out stops the countdown, the
// next pings again, and that echo holds the ones still left.
void PingController::handleHeldEvents()
{
    while (!m_held.isEmpty() && !m_icmp.isEchoPending()) {
        if (m_held.takeFirst() == Held::Click)
            applyClickRule();
        else
            restoreForeignField();
    }
}

void PingController::restoreForeignField()
{
    m_foreignTaken = false;
    m_pingField.setFill(m_foreignFill);
    m_pingField.setCaption(m_foreignCaption);
}

void PingController::showResult(Fill fill, const QString& caption)
{
    m_pingField.setFill(fill);
    m_pingField.setCaption(caption);
}

} // namespace nms
