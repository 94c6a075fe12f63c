#include "protocol/AutoDiscovery.h"

#include <QDir>
#include <QTimer>

#include "db/AtomicFileWriter.h"
#include "db/ElementList.h"
#include "db/ElementPanelView.h"
#include "db/ElementTreeView.h"
#include "db/MonitoringView.h"
#include "platform/Dialogs.h"
#include "platform/Timer.h"
#include "platform/TimerFactory.h"
#include "protocol/PagingRequest.h"
#include "protocol/PagingView.h"
#include "protocol/UdpClient.h"

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

AutoDiscovery::AutoDiscovery(Dialogs& dialogs, TimerFactory& timers, const QString& iniPath,
                             UdpClient& udp, ElementList& elementList, ElementPanelView& panel,
                             ElementTreeView& tree, MonitoringView& monitoring, PagingView& paging,
                             QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_iniPath(iniPath)
    , m_udp(udp)
    , m_elementList(elementList)
    , m_panel(panel)
    , m_tree(tree)
    , m_monitoring(monitoring)
    , m_paging(paging)
    , m_timer1(timers.create(QStringLiteral("Timer1"), kCollectionMs))
{
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setEnabled(false);
    connect(m_timer1.get(), &Timer::tick, this, &AutoDiscovery::onTimer1Tick);
}

AutoDiscovery::~AutoDiscovery()
{
    if (m_running)
        m_paging.close();
}

void AutoDiscovery::AutoDiscover()
{
    // One collection at a time: the window is modal, but a second request
    // from code must not restart the one that runs.
    if (m_running || !confirmedByOperator())
        return;
    // What reached the station while the question stood (the answer to a
    // configuration, say) is handled as it would have been then: before the
    // panel it is checked against is emptied.
    m_udp.handOnArrivalsUpTo(m_udp.nowUs());
    m_panel.clear();
    m_tree.clearTree();
    showPagingWindow();
}

bool AutoDiscovery::confirmedByOperator()
{
    return m_dialogs.question(kQuestionTitle, kQuestionLines) == BoxAnswer::Yes;
}

void AutoDiscovery::showPagingWindow()
{
    m_running = true;
    m_paging.open();
    loadPagingWindow();
}

void AutoDiscovery::loadPagingWindow()
{
    // Unticking the button runs its own rule, which stops level monitoring.
    m_monitoring.untickMonitoring();
    m_elementList.EmptyLists();
    if (!replaceDatabaseWithEmptyFile()) {
        closePagingWindow();
        m_elementList.Load_Config();
        return;
    }
    m_windowElapsed = false;
    m_savedRemotePort = m_udp.remotePort();
    m_savedRemoteHost = m_udp.remoteHost();
    aimAtPagingPort();
    m_collectionEndsUs = m_udp.nowUs() + qint64(kCollectionMs) * 1000;
    m_timer1->setEnabled(true);
    m_awaitingAnswers = true;
    // Whatever came in before the request (held behind the question box,
    // say) cannot answer it.
    m_firstArrivalInWindow = m_udp.lastArrivalNumber() + 1;
    m_droppedBeforeRequest = m_udp.lostArrivals();
    sendPagingRequest();
}

// Deleting the old file and creating the new one is done as one atomic
// replacement, as every write to the database is. If that cannot be done,
// the old database stays exactly as it was, the operator is told, and the
// discovery does not start.
bool AutoDiscovery::replaceDatabaseWithEmptyFile()
{
    AtomicFileWriter writer;
    if (writer.replace(m_iniPath, QByteArray()))
        return true;
    m_dialogs.critical(kApplicationTitle,
                       {QStringLiteral("Unable to create a new local database:"),
                        QDir::toNativeSeparators(m_iniPath),
                        QStringLiteral("The local database has been left unchanged.")});
    return false;
}

void AutoDiscovery::aimAtPagingPort()
{
    m_udp.setRemotePort(UdpClient::kPagingPort);
    m_udp.setRemoteHost(kBroadcastHost);
}

// The endpoint is not re-opened for the broadcast. If not one copy could
// leave, no element can answer: the collection ends at once and the
// operator is told rather than left watching an empty result.
void AutoDiscovery::sendPagingRequest()
{
    if (m_udp.broadcast(kPagingRequest, UdpClient::kPagingPort))
        return;
    m_timer1->setEnabled(false);
    m_dialogs.critical(
        kApplicationTitle,
        {QStringLiteral("Unable to send the discovery request on any network interface."),
         QStringLiteral("No Network Element can answer.")});
    endCollection();
}

// Answers that reached the station inside the window but wait behind an
// open box are handed on before the window is closed.
void AutoDiscovery::onTimer1Tick()
{
    m_timer1->setEnabled(false);
    m_udp.afterArrivalsUpTo(m_collectionEndsUs, this, [this] {
        m_windowElapsed = true;
        m_lastArrivalInWindow = m_udp.lastArrivalNumber();
        endCollectionWhenAnswersAreIn();
    });
}

// A feedback that does not come from the endpoint (arrival number 0) is
// judged by the window alone.
bool AutoDiscovery::isAnswerToDiscovery() const
{
    if (!m_awaitingAnswers)
        return false;
    const quint64 arrival = m_udp.dispatchingArrivalNumber();
    if (arrival == 0)
        return !m_windowElapsed;
    if (arrival < m_firstArrivalInWindow || m_udp.dispatchingArrivalUs() > m_collectionEndsUs)
        return false;
    return !m_windowElapsed || arrival <= m_lastArrivalInWindow;
}

// Answers that arrived inside the window and are still in hand (waiting for
// their MAC, or behind a box one of them raised) belong to this discovery:
// ending the window now would treat them as answers to a configuration and
// leave their elements out of the new database. Each wait is bounded on its
// own (the MAC lookup by its time limit, a box by the operator). What
// arrived after the window is not waited for: it is not an answer to this
// discovery, and a stream of it must not hold the window open.
void AutoDiscovery::endCollectionWhenAnswersAreIn()
{
    const bool answersInHand = m_dialogs.isBoxOpen() || m_answersInHand > 0;
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
    m_udp.setRemotePort(m_savedRemotePort);
    m_udp.setRemoteHost(m_savedRemoteHost);
    m_awaitingAnswers = false;
    m_elementList.Load_Config();
    closePagingWindow();
    reportLostAnswers();
}

// Datagrams lost in the window were most likely answers (a few hundred
// elements answering at once can overflow even a large queue): the list may
// be missing elements, and the operator must hear of it, not guess.
void AutoDiscovery::reportLostAnswers()
{
    const quint64 now = m_udp.lostArrivals();
    // A counter that went back belongs to an endpoint bound again since.
    const quint64 lost = now >= m_droppedBeforeRequest ? now - m_droppedBeforeRequest : now;
    m_droppedBeforeRequest = now;
    if (lost == 0)
        return;
    m_dialogs.show({BoxIcon::Exclamation,
                    kQuestionTitle,
                    {QStringLiteral("%1 datagram(s) arriving during the 'Auto Discovery' "
                                    "were lost before they could be handled.")
                         .arg(lost),
                     QStringLiteral("Some Network Elements may be missing from the list."),
                     QStringLiteral("Performing an 'Auto Discovery' again may find them.")},
                    BoxButtons::Ok,
                    BoxAnswer::Ok});
}

void AutoDiscovery::closePagingWindow()
{
    if (!m_running)
        return;
    m_timer1->setEnabled(false);
    m_running = false;
    m_paging.close();
}

} // namespace nms
