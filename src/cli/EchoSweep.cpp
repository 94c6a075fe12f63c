#include "cli/EchoSweep.h"

#include <QTimer>

#include "diag/IcmpModule.h"
#include "platform/IcmpSocket.h"
#include "platform/LinuxIcmpSocket.h"

namespace nms::cli {

namespace {
// The socket times an echo out after a second; this only guards against an
// outcome that never comes.
constexpr int kEchoBoundMs = LinuxIcmpSocket::kTimeoutMs + 1000;
} // namespace

struct EchoSweep::Lane {
    explicit Lane(IcmpSocket& socket)
        : socket(socket)
        , icmp(socket)
    {
        guard.setSingleShot(true);
        guard.setInterval(kEchoBoundMs);
    }
    IcmpSocket& socket;
    IcmpModule icmp;
    QTimer guard;
    int index = -1;
};

EchoSweep::EchoSweep(const std::vector<IcmpSocket*>& sockets, QObject* parent)
    : QObject(parent)
{
    for (IcmpSocket* socket : sockets) {
        auto lane = std::make_unique<Lane>(*socket);
        Lane* raw = lane.get();
        connect(&raw->icmp, &IcmpModule::echoFinished, this,
                [this, raw](qint32 status, quint32 roundTripMs) {
                    laneFinished(*raw, status, roundTripMs);
                });
        connect(&raw->guard, &QTimer::timeout, this, [this, raw] {
            // Abandons the echo; the socket is opened again for the next.
            raw->icmp.CloseSocketLayer();
            raw->icmp.OpenSocketLayer();
            laneFinished(*raw, echo_status::RequestTimedOut, 0);
        });
        m_lanes.push_back(std::move(lane));
    }
}

EchoSweep::~EchoSweep() = default;

void EchoSweep::start(const QStringList& addresses)
{
    m_addresses = addresses;
    m_next = 0;
    m_outstanding = 0;
    for (auto& lane : m_lanes)
        sendNext(*lane);
    if (m_outstanding == 0)
        QTimer::singleShot(0, this, &EchoSweep::finished);
}

void EchoSweep::sendNext(Lane& lane)
{
    // A lane whose socket is gone for good (an ICMP helper that ended and
    // cannot be started again) takes no more addresses, else it would fail
    // them all at once; the other lanes carry the round, and only when none
    // is left does the rest count as not sent.
    if (m_next < m_addresses.size() && !lane.socket.isOpen() && !lane.socket.open() &&
        (m_outstanding > 0 || anyOtherLaneOpen(lane)))
        return;
    while (m_next < m_addresses.size()) {
        const int index = int(m_next++);
        if (lane.icmp.SendEcho(m_addresses.at(index))) {
            lane.index = index;
            ++m_outstanding;
            lane.guard.start();
            return;
        }
        // Still busy with an abandoned echo: counts as not sent, and the
        // lane takes the next address, so that the round still ends.
        emit echoed(index, echo_status::NotSent, 0);
    }
}

bool EchoSweep::anyOtherLaneOpen(const Lane& lane) const
{
    for (const auto& other : m_lanes)
        if (other.get() != &lane && other->socket.isOpen())
            return true;
    return false;
}

void EchoSweep::laneFinished(Lane& lane, qint32 status, quint32 roundTripMs)
{
    if (lane.index < 0)
        return;
    lane.guard.stop();
    const int index = lane.index;
    lane.index = -1;
    --m_outstanding;
    emit echoed(index, status, roundTripMs);
    sendNext(lane);
    if (!isRunning())
        emit finished();
}

} // namespace nms::cli
