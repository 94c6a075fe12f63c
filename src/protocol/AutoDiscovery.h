#pragma once

#include <limits>
#include <memory>

#include <QObject>
#include <QString>

namespace nms {

class Dialogs;
class ElementList;
class ElementPanelView;
class ElementTreeView;
class MonitoringView;
class PagingView;
class Timer;
class TimerFactory;
class UdpClient;

// The discovery command: after the operator's confirmation it empties the
// panel, the tree and the database, broadcasts the paging request and, for
// the three seconds of its collection timer (Timer1), lets every answer be
// recorded; then it puts the endpoint's remote settings back and rebuilds
// the tree. The paging window is shown meanwhile.
class AutoDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr int kCollectionMs = 3000;

    AutoDiscovery(Dialogs& dialogs, TimerFactory& timers, const QString& iniPath, UdpClient& udp,
                  ElementList& elementList, ElementPanelView& panel, ElementTreeView& tree,
                  MonitoringView& monitoring, PagingView& paging, QObject* parent = nullptr);
    ~AutoDiscovery() override;

    void AutoDiscover();

    // From the operator's confirmation until the collection has ended.
    bool isRunning() const { return m_running; }
    // While answers are recorded: from the request until the collection
    // ends. Set from outside only where the feedback processing is driven
    // without a discovery run (its tests).
    bool isAwaitingAnswers() const { return m_awaitingAnswers; }
    void setAwaitingAnswers(bool awaiting)
    {
        m_awaitingAnswers = awaiting;
        m_collectionEndsUs = std::numeric_limits<qint64>::max();
    }
    QString savedRemoteHost() const { return m_savedRemoteHost; }
    quint16 savedRemotePort() const { return m_savedRemotePort; }

    // Whether the feedback being handled now is an answer to the discovery:
    // one that arrived after the request went out, while the collection
    // window was open. After Timer1 has fired, only the answers that came in
    // before the tick qualify.
    bool isAnswerToDiscovery() const;

    // Answers to this discovery that the feedback processing still has in
    // hand (waiting for their MAC): the collection waits for them.
    void holdAnswer() { ++m_answersInHand; }
    void releaseAnswer() { --m_answersInHand; }
    int answersInHand() const { return m_answersInHand; }

private:
    Dialogs& m_dialogs;
    const QString m_iniPath;
    UdpClient& m_udp;
    ElementList& m_elementList;
    ElementPanelView& m_panel;
    ElementTreeView& m_tree;
    MonitoringView& m_monitoring;
    PagingView& m_paging;
    std::unique_ptr<Timer> m_timer1;
    bool m_running = false;
    bool m_awaitingAnswers = false;
    int m_answersInHand = 0;
    quint16 m_savedRemotePort = 0;
    QString m_savedRemoteHost;
    // Set by Timer1's tick: from then on the window only finishes the
    // answers that arrived up to this arrival number.
    bool m_windowElapsed = false;
    // The first arrival after the request went out, and (once Timer1 has
    // fired) the last one before the tick.
    quint64 m_firstArrivalInWindow = 1;
    quint64 m_lastArrivalInWindow = 0;
    // When the collection window closes: an answer that reached the station
    // by then belongs to it, however long a box held it back.
    qint64 m_collectionEndsUs = 0;
    // The endpoint's loss counter when the request went out.
    quint64 m_droppedBeforeRequest = 0;

    bool confirmedByOperator();
    void showPagingWindow();
    void loadPagingWindow();
    bool replaceDatabaseWithEmptyFile();
    void aimAtPagingPort();
    void sendPagingRequest();
    void onTimer1Tick();
    void endCollectionWhenAnswersAreIn();
    static constexpr int kAnswersInHandRecheckMs = 20;
    void endCollection();
    void closePagingWindow();
    void reportLostAnswers();
};

} // namespace nms
