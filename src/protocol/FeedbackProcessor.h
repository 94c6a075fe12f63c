#pragma once

#include <functional>

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include "protocol/FeedbackRecord.h"

namespace nms {

class AutoDiscovery;
class Dialogs;
class ElementList;
class IniRoutines;
class MacLookup;
class NetworkBoxes;
class Timer;
class UdpClient;

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

    // Takes an answer that is no discovery answer: the configuration
    // confirmation in the window.
    using Confirm = std::function<void(const FeedbackRecord& record)>;

    // Without a MAC lookup every answer is taken as one without a MAC;
    // without network boxes the boxes go straight to the dialogs.
    FeedbackProcessor(Dialogs& dialogs, IniRoutines& ini, const QString& iniPath, UdpClient& udp,
                      Timer& responseTimer, AutoDiscovery& discovery, ElementList& elementList,
                      MacLookup* macLookup, NetworkBoxes* networkBoxes, Confirm confirm,
                      QObject* parent = nullptr);

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

private:
    Dialogs& m_dialogs;
    IniRoutines& m_ini;
    const QString m_iniPath;
    UdpClient& m_udp;
    Timer& m_responseTimer;
    AutoDiscovery& m_discovery;
    ElementList& m_elementList;
    MacLookup* m_macLookup;
    NetworkBoxes* m_networkBoxes;
    Confirm m_confirm;
    int m_undecodable = 0;

    void continueWithMac(FeedbackRecord record, bool forDiscovery, const QString& mac,
                         const QHostAddress& source);
    bool writeDiscoveryRecord(const FeedbackRecord& record);
    QHostAddress currentSender() const;
    void reportCorrupted(const QString& firstLine, const QHostAddress& source);
    void rebuildListOutsideDiscovery();
};

} // namespace nms
