#pragma once

#include <QElapsedTimer>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include "platform/MessageBoxRequest.h"

namespace nms {

class Dialogs;
class UdpClient;

// The boxes that what the network sends can raise. Datagrams wait behind an
// open box and are handed on as soon as it closes, so a host sending the
// same fault a thousand times would keep the operator clicking one box
// after another. Instead, from the moment such a box opens until the
// datagrams held behind it have been handled, further network boxes are
// counted, not shown; then one box says how many more of each kind came,
// and from which addresses (the first five).
class NetworkBoxes : public QObject {
    Q_OBJECT
public:
    static constexpr int kListedAddresses = 5;
    static constexpr int kListedKinds = 5;
    // How often, and for how long at most, the held datagrams are waited
    // for after the box closes: a stream that never stops must not keep the
    // count from being reported.
    static constexpr int kHeldRecheckMs = 20;
    static constexpr int kMostHeldRechecks = 150;
    // Boxes that waited for the open one to close (MAC lookups that ended
    // meanwhile) come in a quick succession after it: the count ends only
    // once none has come for this long.
    static constexpr int kQuietAfterLastMs = 200;

    NetworkBoxes(Dialogs& dialogs, const UdpClient* udpClient, QObject* parent = nullptr);

    // A critical box with the program's title, raised by a datagram from
    // the source address.
    void critical(const QString& title, const QStringList& lines, const QHostAddress& source);
    void show(const MessageBoxRequest& box, const QHostAddress& source);

    // True from the moment a box opens until its summary has been given.
    bool isCounting() const { return m_counting; }

private:
    struct Kind {
        MessageBoxRequest box;
        int count = 0;
        QList<QHostAddress> addresses; // the first ones, listed
        QSet<QHostAddress> seen;
    };

    Dialogs& m_dialogs;
    const UdpClient* m_udpClient;
    bool m_counting = false;
    QString m_shownTitle;
    QString m_shownText;
    QList<Kind> m_kinds; // the shown kind first
    int m_rechecks = 0;
    QElapsedTimer m_sinceLastBox;

    void count(const MessageBoxRequest& box, const QHostAddress& source);
    void summariseWhenHeldAreHandled();
    void summarise();
    static QString addressList(const Kind& kind);
};

} // namespace nms
