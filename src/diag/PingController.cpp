#include "diag/PingController.h"

#include <QColor>
#include <QLineEdit>

#include "app/NmsContext.h"
#include "db/TextHelpers.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "ui/CaptionLabel.h"
#include "ui/FrmMainControls.h"
#include "ui/ShapeWidget.h"

namespace nms {

namespace {

const QColor kSuccessGreen(0, 255, 0);
const QColor kFailureRed(255, 0, 0);

} // namespace

PingController::PingController(NmsContext& context, IcmpSocket& socket, QObject* parent)
    : QObject(parent)
    , m_context(context)
    , m_icmp(socket)
{
    connect(&m_icmp, &IcmpModule::echoFinished, this, &PingController::showEchoOutcome);
    connectControls();
}

void PingController::connectControls()
{
    const FrmMainControls& ui = m_context.ui;
    connect(ui.lblPing, &CaptionLabel::captionSet, this, &PingController::applyCaptionRule);
    connect(ui.lblPing, &CaptionLabel::clicked, this, &PingController::handleClick);
    connect(ui.tmrRetryPing, &Timer::tick, this, &PingController::retryTick);
}

void PingController::PingElement(const QString& address)
{
    if (!text::IsValidIP(address) || m_icmp.isEchoPending())
        return;
    if (!m_icmp.OpenSocketLayer()) {
        reportSocketFailure();
        return;
    }
    m_captionChangedDuringEcho = false;
    m_icmp.SendEcho(address);
}

void PingController::applyCaptionRule(const QString& caption)
{
    if (m_icmp.isEchoPending())
        m_captionChangedDuringEcho = true;
    if (caption.contains(QStringLiteral("Timed")))
        m_context.ui.tmrRetryPing->setEnabled(true);
}

void PingController::handleClick()
{
    if (m_icmp.isEchoPending()) {
        if (m_clicksHeld < kMaxHeldClicks)
            ++m_clicksHeld;
        return;
    }
    applyClickRule();
}

void PingController::applyClickRule()
{
    const FrmMainControls& ui = m_context.ui;
    if (!ui.tmrRetryPing->isEnabled()) {
        PingElement(ui.txtElementIP->text());
        return;
    }
    ui.lblPing->setCaption(QStringLiteral("<Stopped>"));
    ui.tmrRetryPing->setEnabled(false);
}

void PingController::retryTick()
{
    // The countdown waits for an outstanding echo; it never starts a second.
    if (m_icmp.isEchoPending())
        return;
    const FrmMainControls& ui = m_context.ui;
    if (m_pingRetryCountdown < 1) {
        ui.tmrRetryPing->setEnabled(false);
        m_pingRetryCountdown = kRetryCountdownStart;
        PingElement(ui.txtElementIP->text());
        return;
    }
    --m_pingRetryCountdown;
    ui.lblPing->setCaption(QStringLiteral("Retrying in %1 seconds...").arg(m_pingRetryCountdown));
}

void PingController::reportSocketFailure()
{
    m_context.dialogs.critical(QStringLiteral("Ping failed"),
                               {QStringLiteral("Windows Sockets not responding correctly.")});
    showResult(kFailureRed, QStringLiteral("Unable to init sockets"));
}

void PingController::showEchoOutcome(qint32 status, quint32 roundTripMs)
{
    const bool stale = m_captionChangedDuringEcho;
    m_captionChangedDuringEcho = false;
    if (!stale) {
        const QString statusText = IcmpModule::EchoStatusText(status);
        if (statusText == QStringLiteral("Success!"))
            showResult(kSuccessGreen, QString::number(roundTripMs) + QStringLiteral(" ms"));
        else
            showResult(kFailureRed, statusText);
    }
    m_icmp.CloseSocketLayer();
    handleHeldClicks();
}

// The clicks made while the echo was out, as the window would have handled
// them after it: the first after a time-out stops the countdown, the next
// pings again, and that echo holds the ones still left.
void PingController::handleHeldClicks()
{
    while (m_clicksHeld > 0 && !m_icmp.isEchoPending()) {
        --m_clicksHeld;
        applyClickRule();
    }
}

void PingController::showResult(const QColor& fill, const QString& caption)
{
    m_context.ui.shpPing->setFillColor(fill);
    m_context.ui.lblPing->setCaption(caption);
}

} // namespace nms
