#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QHash>
#include <QList>
#include <QObject>
#include <QTimer>

#include "cli/EchoSweep.h"
#include "cli/ElementCatalog.h"
#include "cli/ElementReading.h"
#include "cli/LevelSweep.h"
#include "cli/MetricsPage.h"
#include "protocol/LevelRule.h"

namespace nms {
class Clock;
class Dialogs;
class IcmpSocket;
} // namespace nms

namespace nms::cli {

class ElementLink;
class MetricsHttpServer;

// The exporter's polling: every interval one round pings each element and
// asks each for its level, both concurrently and bounded; when the round
// has ended the server is given the new page. Rounds never overlap: a tick
// that finds one running waits for the next. Levels need the program's UDP
// port; while another program (the window) holds it, the round pings only
// and the port is tried again at the next round.
class Exporter : public QObject {
    Q_OBJECT
public:
    struct Settings {
        QString databasePath;
        QStringList wanted;
        int intervalSeconds = 15;
        double silenceDbfs = LevelRule::kDefaultSilenceDbfs;
    };

    Exporter(Settings settings, Dialogs& dialogs, Clock& clock,
             const std::vector<IcmpSocket*>& icmpSockets, MetricsHttpServer& server,
             QObject* parent = nullptr);
    ~Exporter() override;

    void start();

private:
    void startRound();
    bool claimPort();
    void releasePort();
    void onEchoed(int index, qint32 status, quint32 roundTripMs);
    void onLevelAnswered(int index, qint32 peak);
    void finishRoundWhenDone();
    void judgeLevels();
    void publish();

    Settings m_settings;
    Dialogs& m_dialogs;
    Clock& m_clock;
    MetricsHttpServer& m_server;
    ElementCatalog m_catalog;
    EchoSweep m_echoes;
    LevelSweep m_levels;
    std::unique_ptr<ElementLink> m_link;
    QTimer m_roundTimer;

    bool m_roundRunning = false;
    qint64 m_roundStartUs = 0;
    QList<ListedElement> m_roundElements;
    QList<std::optional<qint32>> m_roundPeaks;
    QHash<QString, ElementReading> m_readings;
    MetricsPage::Totals m_totals;
};

} // namespace nms::cli
