#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

namespace nms {
class Clock;
}

namespace nms::cli {

class ElementLink;

// One "VOL" request to each of a list of addresses, a bounded number
// outstanding at once, as the meter asks: an answer counts when it comes
// from the element's address within the bound. Each answer is reported as
// it comes; finished() follows the last answer or time-out.
class LevelSweep : public QObject {
    Q_OBJECT
public:
    static constexpr int kAnswerBoundMs = 1000;
    // Requests are single datagrams: enough at once that elements which never
    // answer "VOL" cost a round about a second per 256 of them.
    static constexpr int kMaxOutstanding = 256;

    LevelSweep(Clock& clock, QObject* parent = nullptr);

    // The link must be open for the whole sweep.
    void start(ElementLink& link, const QStringList& addresses);
    bool isRunning() const { return !m_outstanding.isEmpty() || m_next < m_addresses.size(); }

signals:
    void answered(int index, qint32 peak);
    void finished();

private:
    struct Request {
        int index = 0;
        qint64 sentUs = 0;
    };
    void sendMore();
    void onLevelPacket(const QByteArray& datagram);
    void expire();
    void finishIfDone();

    Clock& m_clock;
    ElementLink* m_link = nullptr;
    QMetaObject::Connection m_arrivals;
    QStringList m_addresses;
    qsizetype m_next = 0;
    // By the element's IPv4 address, host order.
    QHash<quint32, Request> m_outstanding;
    QTimer m_expiry;
};

} // namespace nms::cli
