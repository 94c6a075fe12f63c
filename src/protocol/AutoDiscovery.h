#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

namespace nms {

struct NmsContext;
class FrmPaging;

// The discovery command: after the operator's confirmation it empties the
// panel, the tree and the database, broadcasts the paging request and, for
// the three seconds of frmPaging's Timer1, lets every answer be recorded;
// then it puts the endpoint's remote settings back and rebuilds the tree.
// frmPaging is window-modal without an event loop of its own: the program's
// timers and arrivals go on while it is shown.
class AutoDiscovery : public QObject {
    Q_OBJECT
public:
    static constexpr int kCollectionMs = 3000;

    explicit AutoDiscovery(NmsContext& context, QObject* parent = nullptr);
    ~AutoDiscovery() override;

    void AutoDiscover();

    // The discovery window while it is shown (null otherwise).
    FrmPaging* pagingWindow() const;
    QString savedRemoteHost() const { return m_savedRemoteHost; }
    quint16 savedRemotePort() const { return m_savedRemotePort; }

    // Whether the feedback being handled now is an answer to the discovery:
    // one that arrived after the request went out, while the collection
    // window was open. After Timer1 has fired, only the answers that came in
    // before the tick qualify.
    bool isAnswerToDiscovery() const;

private:
    NmsContext& m_ctx;
    QPointer<FrmPaging> m_paging;
    quint16 m_savedRemotePort = 0;
    QString m_savedRemoteHost;
    // Set by Timer1's tick: from then on the window only finishes the
    // answers that arrived up to this arrival number.
    bool m_windowElapsed = false;
    // The first arrival after the request went out, and (once Timer1 has
    // fired) the last one before the tick.
    quint64 m_firstArrivalInWindow = 1;
    quint64 m_lastArrivalInWindow = 0;
    // The endpoint's loss counter when the request went out.
    quint64 m_droppedBeforeRequest = 0;

    bool confirmedByOperator();
    void showPagingWindow();
    void loadPagingWindow();
    void emptyElementLists();
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
