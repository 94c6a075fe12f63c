#include "protocol/NetworkBoxes.h"

#include <algorithm>

#include <QTimer>

#include "platform/Dialogs.h"
#include "protocol/UdpClient.h"

namespace nms {

NetworkBoxes::NetworkBoxes(Dialogs& dialogs, const UdpClient* udpClient, QObject* parent)
    : QObject(parent)
    , m_dialogs(dialogs)
    , m_udpClient(udpClient)
{
}

void NetworkBoxes::critical(const QString& title, const QStringList& lines,
                            const QHostAddress& source)
{
    show({BoxIcon::Critical, title, lines, BoxButtons::Ok, BoxAnswer::Ok}, source);
}

void NetworkBoxes::show(const MessageBoxRequest& box, const QHostAddress& source)
{
    if (m_counting) {
        count(box, source);
        return;
    }
    if (!continuesRow())
        m_shownInRow = 0;
    if (m_shownInRow < kShownInFull) {
        ++m_shownInRow;
        m_dialogs.show(box);
        m_sinceLastBox.start();
        return;
    }
    // Whether this box stands alone or opens a burst is known once the
    // datagrams held behind the last one have been handled.
    m_counting = true;
    m_kinds.clear();
    count(box, source);
    m_rechecks = 0;
    QTimer::singleShot(0, this, &NetworkBoxes::summariseWhenHeldAreHandled);
}

bool NetworkBoxes::continuesRow() const
{
    if (m_shownInRow == 0 || !m_sinceLastBox.isValid())
        return false;
    const bool held = m_udpClient != nullptr && m_udpClient->waitingCount() > 0;
    return held || m_sinceLastBox.elapsed() < kQuietAfterLastMs;
}

bool NetworkBoxes::isCounting() const
{
    return m_counting || continuesRow();
}

void NetworkBoxes::count(const MessageBoxRequest& box, const QHostAddress& source)
{
    m_sinceLastBox.start();
    const QString text = box.text();
    auto kind = std::find_if(m_kinds.begin(), m_kinds.end(), [&](const Kind& k) {
        return k.box.title == box.title && k.box.text() == text;
    });
    if (kind == m_kinds.end()) {
        m_kinds.append(Kind{box, 0, {}, {}});
        kind = m_kinds.end() - 1;
    }
    ++kind->count;
    if (source.isNull() || kind->seen.contains(source))
        return;
    kind->seen.insert(source);
    if (kind->addresses.size() < kListedAddresses)
        kind->addresses.append(source);
}

// Datagrams that came while the box stood are handed on one by one after
// it closed; their boxes belong to this count.
void NetworkBoxes::summariseWhenHeldAreHandled()
{
    const bool held = m_udpClient != nullptr && m_udpClient->waitingCount() > 0;
    const bool recent = m_sinceLastBox.elapsed() < kQuietAfterLastMs;
    if ((held || recent || m_dialogs.isBoxOpen()) && ++m_rechecks < kMostHeldRechecks) {
        QTimer::singleShot(kHeldRecheckMs, this, &NetworkBoxes::summariseWhenHeldAreHandled);
        return;
    }
    summarise();
}

void NetworkBoxes::summarise()
{
    const QList<Kind> kinds = m_kinds;
    m_kinds.clear();
    m_counting = false;
    if (kinds.isEmpty())
        return;
    const MessageBoxRequest& first = kinds.first().box;
    if (kinds.size() == 1 && kinds.first().count == 1) {
        m_dialogs.show(first);
        m_sinceLastBox.start();
        return;
    }
    QStringList lines = first.lines;
    lines << QStringLiteral("A burst of messages came from the network:");
    int unlistedKinds = 0;
    for (const Kind& kind : kinds) {
        if (lines.size() - first.lines.size() > kListedKinds) {
            ++unlistedKinds;
            continue;
        }
        lines << QStringLiteral("%1 time(s) \"%2\", from %3.")
                     .arg(kind.count)
                     .arg(kind.box.lines.value(0), addressList(kind));
    }
    if (unlistedKinds > 0)
        lines << QStringLiteral("And %1 other kind(s) of message.").arg(unlistedKinds);
    m_dialogs.show({BoxIcon::Critical, first.title, lines, BoxButtons::Ok, BoxAnswer::Ok});
    m_sinceLastBox.start();
}

QString NetworkBoxes::addressList(const Kind& kind)
{
    QStringList addresses;
    for (const QHostAddress& address : kind.addresses)
        addresses << address.toString();
    if (addresses.isEmpty())
        return QStringLiteral("an unknown address");
    QString list = addresses.join(QStringLiteral(", "));
    const qsizetype others = kind.seen.size() - kind.addresses.size();
    if (others > 0)
        list += QStringLiteral(" and %1 other address(es)").arg(others);
    return list;
}

} // namespace nms
