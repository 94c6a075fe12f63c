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
// after another. Every box is shown as it is while it is one of the first
// kShownInFull in a row; a box beyond that waits until the datagrams held
// behind it have been handled. Alone, it is then shown as it is; in a
// burst, one critical box stands for all of them: the first one's own
// lines, then how many of each kind came, and from which addresses (the
// first five).
class NetworkBoxes : public QObject {
    Q_OBJECT
public:
    static constexpr int kShownInFull = 2;
    static constexpr int kListedAddresses = 5;
    static constexpr int kListedKinds = 5;
    // How often, and for how long at most, the held datagrams are waited
    // for after the box closes: a stream that never stops must not keep the
    // count from being reported.
    static constexpr int kHeldRecheckMs = 20;
    static constexpr int kMostHeldRechecks = 150;
    // Boxes that waited for the open one to close (MAC lookups that ended
    // meanwhile, held datagrams) come in a quick succession after it: they
    // are in a row with it until none has come for this long.
    static constexpr int kQuietAfterLastMs = 200;

    NetworkBoxes(Dialogs& dialogs, const UdpClient* udpClient, QObject* parent = nullptr);

    // A critical box with the program's title, raised by a datagram from
    // the source address.
    void critical(const QString& title, const QStringList& lines, const QHostAddress& source);
    void show(const MessageBoxRequest& box, const QHostAddress& source);

    // True while boxes come in a row: the next one may be counted into a
    // summary.
    bool isCounting() const;

private:
    struct Kind {
        MessageBoxRequest box;
        int count = 0;
        QList<QHostAddress> addresses; // the first ones, listed
        QSet<QHostAddress> seen;
    };

    Dialogs& m_dialogs;
    const UdpClient* m_udpClient;
    // Boxes shown as they are in the current row, and whether a box beyond
    // them waits for its burst to be counted.
    int m_shownInRow = 0;
    bool m_counting = false;
    QList<Kind> m_kinds; // the first waiting box's kind first
    int m_rechecks = 0;
    QElapsedTimer m_sinceLastBox;

    bool continuesRow() const;
    void count(const MessageBoxRequest& box, const QHostAddress& source);
    void summariseWhenHeldAreHandled();
    void summarise();
    static QString addressList(const Kind& kind);
};

} // namespace nms
