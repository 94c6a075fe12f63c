#include "cli/Exporter.h"

#include <QDateTime>
#include <QSet>

#include "cli/CliError.h"
#include "cli/ElementLink.h"
#include "cli/MetricsHttpServer.h"
#include "platform/Clock.h"
#include "platform/IcmpSocket.h"

namespace nms::cli {

Exporter::Exporter(Settings settings, Dialogs& dialogs, Clock& clock,
                   const std::vector<IcmpSocket*>& icmpSockets, MetricsHttpServer& server,
                   QObject* parent)
    : QObject(parent)
    , m_settings(std::move(settings))
    , m_dialogs(dialogs)
    , m_clock(clock)
    , m_server(server)
    , m_catalog(m_settings.databasePath, m_settings.wanted)
    , m_echoes(icmpSockets)
    , m_levels(clock)
{
    m_roundTimer.setInterval(m_settings.intervalSeconds * 1000);
    connect(&m_roundTimer, &QTimer::timeout, this, &Exporter::startRound);
    connect(&m_echoes, &EchoSweep::echoed, this, &Exporter::onEchoed);
    connect(&m_echoes, &EchoSweep::finished, this, &Exporter::finishRoundWhenDone);
    connect(&m_levels, &LevelSweep::answered, this, &Exporter::onLevelAnswered);
    connect(&m_levels, &LevelSweep::finished, this, &Exporter::finishRoundWhenDone);
}

Exporter::~Exporter() = default;

void Exporter::start()
{
    m_catalog.refresh();
    publish();
    m_roundTimer.start();
    startRound();
}

void Exporter::startRound()
{
    if (m_roundRunning)
        return;
    m_roundRunning = true;
    m_roundStartUs = m_clock.nowUs();
    m_catalog.refresh();
    m_roundElements = m_catalog.elements();
    m_roundPeaks = QList<std::optional<qint32>>(m_roundElements.size());
    QStringList addresses;
    for (const ListedElement& element : std::as_const(m_roundElements))
        addresses.append(element.ip);
    m_totals.levelPolling = claimPort();
    m_echoes.start(addresses);
    if (m_totals.levelPolling)
        m_levels.start(*m_link, addresses);
}

// Level polls need port 2976; the window may hold it. Tried at every round.
bool Exporter::claimPort()
{
    auto link = std::make_unique<ElementLink>(m_dialogs);
    try {
        link->open(kExitFailure);
    } catch (const CliError&) {
        return false;
    }
    // A port lost in mid-round leaves levels unasked, not silent: that
    // round judges no level, rather than calling every element stopped.
    connect(&link->client(), &UdpClient::endpointFailed, this,
            [this] { m_totals.levelPolling = false; });
    m_link = std::move(link);
    return true;
}

// The port is held only while a round asks for levels, so that the window
// can start between rounds on the same machine. Deleted later: the round's
// end may be reported from inside the link's own signal.
void Exporter::releasePort()
{
    if (m_link)
        m_link.release()->deleteLater();
}

void Exporter::onEchoed(int index, qint32 status, quint32 roundTripMs)
{
    ElementReading& reading = m_readings[m_roundElements.at(index).mac];
    reading.up = status == echo_status::Success;
    if (reading.up) {
        reading.roundTripMs = roundTripMs;
        reading.lastSeenMs = QDateTime::currentMSecsSinceEpoch();
    }
}

void Exporter::onLevelAnswered(int index, qint32 peak)
{
    m_roundPeaks[index] = peak;
    m_readings[m_roundElements.at(index).mac].lastSeenMs = QDateTime::currentMSecsSinceEpoch();
}

void Exporter::finishRoundWhenDone()
{
    if (!m_roundRunning || m_echoes.isRunning() || m_levels.isRunning())
        return;
    judgeLevels();
    releasePort();
    m_roundRunning = false;
    m_totals.pollDurationSeconds = double(m_clock.nowUs() - m_roundStartUs) / 1e6;
    ++m_totals.polls;
    publish();
}

void Exporter::judgeLevels()
{
    QSet<QString> listed;
    for (qsizetype i = 0; i < m_roundElements.size(); ++i) {
        const QString& mac = m_roundElements.at(i).mac;
        listed.insert(mac);
        ElementReading& reading = m_readings[mac];
        if (!m_totals.levelPolling) {
            // Not asked this round: no level, and nothing judged.
            reading.peak.reset();
            reading.levelVerdict = LevelRule::Verdict::NoLevel;
            continue;
        }
        reading.peak = m_roundPeaks.at(i);
        reading.levelVerdict =
            LevelRule::judge(reading.peak, reading.everAnsweredLevel, m_settings.silenceDbfs);
        reading.everAnsweredLevel = reading.everAnsweredLevel || reading.peak.has_value();
    }
    // Elements gone from the database are forgotten.
    for (auto it = m_readings.begin(); it != m_readings.end();)
        it = listed.contains(it.key()) ? std::next(it) : m_readings.erase(it);
}

void Exporter::publish()
{
    m_totals.databaseElements = m_catalog.elements().size();
    m_totals.databaseReadErrors = m_catalog.readErrors();
    // The page lists the elements of the last finished round; before the
    // first one ends, those of the database.
    const QList<ListedElement>& shown = m_totals.polls > 0 ? m_roundElements : m_catalog.elements();
    m_server.publish(MetricsPage::render(shown, m_readings, m_totals));
}

} // namespace nms::cli
