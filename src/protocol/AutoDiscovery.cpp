#include "protocol/AutoDiscovery.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QSaveFile>
#include <QTimer>
#include <QTreeWidget>

#include "app/NmsContext.h"
#include "db/ElementList.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "protocol/FeedbackProcessor.h"
#include "protocol/PagingRequest.h"
#include "protocol/UdpClient.h"
#include "ui/FrmMainControls.h"
#include "ui/FrmPaging.h"
#include "ui/PropertiesPanel.h"
#include "ui/VuMeterImage.h"

namespace nms {

namespace {

const QString kQuestionTitle = QStringLiteral("Auto Discovery");
const QStringList kQuestionLines{
    QStringLiteral(
        "Performing an 'Auto Discovery' will delete the local database in your computer"),
    QStringLiteral("and create a new one, based on the Network Elements found (if any). "),
    QStringLiteral("Are you sure?"),
};
const QString kBroadcastHost = QStringLiteral("255.255.255.255");

} // namespace

AutoDiscovery::AutoDiscovery(NmsContext& context, QObject* parent)
    : QObject(parent)
    , m_ctx(context)
{
}

AutoDiscovery::~AutoDiscovery()
{
    delete m_paging;
}

FrmPaging* AutoDiscovery::pagingWindow() const
{
    return m_paging;
}

void AutoDiscovery::AutoDiscover()
{
    // One collection at a time: the window is modal, but a second request
    // from code must not restart the one that runs.
    if (m_paging != nullptr || !confirmedByOperator())
        return;
    if (m_ctx.panel != nullptr)
        m_ctx.panel->ClearPropertiesPanel();
    m_ctx.ui.TreeView1->clear();
    showPagingWindow();
}

bool AutoDiscovery::confirmedByOperator()
{
    return m_ctx.dialogs.question(kQuestionTitle, kQuestionLines) == BoxAnswer::Yes;
}

void AutoDiscovery::showPagingWindow()
{
    m_paging = new FrmPaging(m_ctx.timers, m_ctx.ui.frmMain);
    connect(m_paging->Timer1(), &Timer::tick, this, &AutoDiscovery::onTimer1Tick);
    // open(), not exec(): window-modal without a nested event loop.
    m_paging->open();
    loadPagingWindow();
}

void AutoDiscovery::loadPagingWindow()
{
    // Unticking the button runs its own rule, which stops level monitoring.
    m_ctx.ui.chkGetVolume->setChecked(false);
    emptyElementLists();
    if (!replaceDatabaseWithEmptyFile()) {
        closePagingWindow();
        if (m_ctx.elementList != nullptr)
            m_ctx.elementList->Load_Config();
        return;
    }
    m_windowElapsed = false;
    m_savedRemotePort = m_ctx.udpClient->remotePort();
    m_savedRemoteHost = m_ctx.udpClient->remoteHost();
    aimAtPagingPort();
    m_paging->Timer1()->setEnabled(true);
    m_ctx.AutoDiscoverAwaiting = true;
    // Whatever came in before the request (held behind the question box,
    // say) cannot answer it.
    m_firstArrivalInWindow = m_ctx.udpClient->lastArrivalNumber() + 1;
    m_droppedBeforeRequest = m_ctx.udpClient->droppedByEndpoint();
    sendPagingRequest();
}

void AutoDiscovery::emptyElementLists()
{
    FrmMainControls& ui = m_ctx.ui;
    ui.lstHidden->clear();
    ui.TreeView1->clear();
    ElementList::ResetEncoderList(ui.cmbEncoders);
    ui.VUMeter->setWidthTwips(0);
    ui.frmTreeView->setTitle(
        QStringLiteral("Select element: (%1 items)").arg(ui.TreeView1->topLevelItemCount()));
}

// Deleting the old file and creating the new one is done as one atomic
// replacement: an empty file is written beside it and renamed over it. If
// that cannot be done, the old database stays exactly as it was, the
// operator is told, and the discovery does not start.
bool AutoDiscovery::replaceDatabaseWithEmptyFile()
{
    QSaveFile emptyDatabase(m_ctx.iniPath);
    // Without a direct write fallback: a failed rename must not truncate the
    // old file in place.
    emptyDatabase.setDirectWriteFallback(false);
    if (emptyDatabase.open(QIODevice::WriteOnly) && emptyDatabase.commit())
        return true;
    m_ctx.dialogs.critical(kApplicationTitle,
                           {QStringLiteral("Unable to create a new local database:"),
                            QDir::toNativeSeparators(m_ctx.iniPath),
                            QStringLiteral("The local database has been left unchanged.")});
    return false;
}

void AutoDiscovery::aimAtPagingPort()
{
    m_ctx.udpClient->setRemotePort(UdpClient::kPagingPort);
    m_ctx.udpClient->setRemoteHost(kBroadcastHost);
}

// The endpoint is not re-opened for the broadcast. If not one copy could
// leave, no element can answer: the collection ends at once and the
// operator is told rather than left watching an empty result.
void AutoDiscovery::sendPagingRequest()
{
    if (m_ctx.udpClient->broadcast(kPagingRequest, UdpClient::kPagingPort))
        return;
    m_paging->Timer1()->setEnabled(false);
    m_ctx.dialogs.critical(
        kApplicationTitle,
        {QStringLiteral("Unable to send the discovery request on any network interface."),
         QStringLiteral("No Network Element can answer.")});
    endCollection();
}

void AutoDiscovery::onTimer1Tick()
{
    m_paging->Timer1()->setEnabled(false);
    m_windowElapsed = true;
    m_lastArrivalInWindow = m_ctx.udpClient->lastArrivalNumber();
    endCollectionWhenAnswersAreIn();
}

// A feedback that does not come from the endpoint (arrival number 0) is
// judged by the window alone.
bool AutoDiscovery::isAnswerToDiscovery() const
{
    if (!m_ctx.AutoDiscoverAwaiting)
        return false;
    const quint64 arrival = m_ctx.udpClient->dispatchingArrivalNumber();
    if (arrival == 0)
        return !m_windowElapsed;
    if (arrival < m_firstArrivalInWindow)
        return false;
    return !m_windowElapsed || arrival <= m_lastArrivalInWindow;
}

// Answers that arrived inside the window but are still in hand (held behind
// an open box, or waiting for their MAC) belong to this discovery: ending
// the window now would treat them as answers to a configuration and leave
// their elements out of the new database. Each wait is bounded on its own
// (the MAC lookup by its time limit, the held datagrams by the box). What
// arrives after the tick is not waited for: it is not an answer to this
// discovery, and a stream of it must not hold the window open.
void AutoDiscovery::endCollectionWhenAnswersAreIn()
{
    const bool answersInHand =
        m_ctx.dialogs.isBoxOpen() ||
        m_ctx.udpClient->holdsAnswerArrivedBetween(m_firstArrivalInWindow, m_lastArrivalInWindow) ||
        (m_ctx.feedback != nullptr && m_ctx.feedback->discoveryAnswersInHand() > 0);
    if (answersInHand) {
        QTimer::singleShot(kAnswersInHandRecheckMs, this,
                           &AutoDiscovery::endCollectionWhenAnswersAreIn);
        return;
    }
    endCollection();
}

void AutoDiscovery::endCollection()
{
    m_windowElapsed = false;
    m_ctx.udpClient->setRemotePort(m_savedRemotePort);
    m_ctx.udpClient->setRemoteHost(m_savedRemoteHost);
    m_ctx.AutoDiscoverAwaiting = false;
    if (m_ctx.elementList != nullptr)
        m_ctx.elementList->Load_Config();
    closePagingWindow();
    reportLostAnswers();
}

// Datagrams lost in the window were most likely answers (a few hundred
// elements answering at once can overflow even a large queue): the list may
// be missing elements, and the operator must hear of it, not guess.
void AutoDiscovery::reportLostAnswers()
{
    const quint64 now = m_ctx.udpClient->droppedByEndpoint();
    // A counter that went back belongs to an endpoint bound again since.
    const quint64 lost = now >= m_droppedBeforeRequest ? now - m_droppedBeforeRequest : now;
    m_droppedBeforeRequest = now;
    if (lost == 0)
        return;
    m_ctx.dialogs.show({BoxIcon::Exclamation,
                        kQuestionTitle,
                        {QStringLiteral("%1 datagram(s) arriving during the 'Auto Discovery' "
                                        "were lost before they could be read.")
                             .arg(lost),
                         QStringLiteral("Some Network Elements may be missing from the list."),
                         QStringLiteral("Performing an 'Auto Discovery' again may find them.")},
                        BoxButtons::Ok,
                        BoxAnswer::Ok});
}

// The window owns Timer1, whose tick may be running right now: it is
// deleted once control is back in the event loop.
void AutoDiscovery::closePagingWindow()
{
    if (m_paging == nullptr)
        return;
    m_paging->Timer1()->setEnabled(false);
    m_paging->close();
    m_paging->deleteLater();
    m_paging = nullptr;
}

} // namespace nms
