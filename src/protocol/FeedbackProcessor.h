#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include "protocol/FeedbackRecord.h"

namespace nms {

struct NmsContext;

// Handles every feedback datagram: decodes and checks it, finds the
// sender's MAC (without blocking the window), then records the element
// while a discovery collects answers, or hands the answer to the
// configuration confirmation otherwise. Outside discovery every feedback
// ends with the element tree rebuilt.
class FeedbackProcessor : public QObject {
    Q_OBJECT
public:
    struct KeyValue {
        QString key;
        QString value;
    };

    explicit FeedbackProcessor(NmsContext& context, QObject* parent = nullptr);

    void ProcessFeedback(const QByteArray& datagram);

    // The first line of the box for the first check the record fails, or
    // the empty text when it passes them all.
    static QString failedCheckLine(const FeedbackRecord& record);
    // The keys a discovery answer writes, in their order: 13 for an
    // encoder, 17 for a decoder.
    static QList<KeyValue> discoveryKeys(const FeedbackRecord& record);

    // Datagrams too short (or of a length) to be read; they are dropped
    // without a box.
    int undecodableCount() const { return m_undecodable; }
    // Answers to the running discovery that still wait for their MAC.
    int discoveryAnswersInHand() const { return m_discoveryAnswersInHand; }

private:
    NmsContext& m_ctx;
    int m_undecodable = 0;
    int m_discoveryAnswersInHand = 0;

    bool isAnswerToDiscovery() const;
    void continueWithMac(FeedbackRecord record, bool forDiscovery, const QString& mac,
                         const QHostAddress& source);
    bool writeDiscoveryRecord(const FeedbackRecord& record);
    QHostAddress currentSender() const;
    void reportCorrupted(const QString& firstLine, const QHostAddress& source);
    void rebuildListOutsideDiscovery();
};

} // namespace nms
