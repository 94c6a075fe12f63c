#include "cli/CheckCommand.h"

#include <algorithm>
#include <optional>

#include "cli/CliError.h"
#include "cli/CommandLine.h"
#include "cli/Console.h"
#include "cli/EchoRunner.h"
#include "cli/ElementDatabase.h"
#include "cli/ElementLink.h"
#include "cli/HeadlessPanel.h"
#include "cli/InterruptSignals.h"
#include "cli/LevelPoller.h"
#include "db/TextHelpers.h"
#include "protocol/LevelPacket.h"
#include "protocol/LevelRule.h"

namespace nms::cli {

namespace {

const QString kWarning = QStringLiteral("warning-ms");
const QString kCritical = QStringLiteral("critical-ms");
constexpr int kMaxThresholdMs = 60000;

CheckCommand::State worse(CheckCommand::State a, CheckCommand::State b)
{
    // UNKNOWN ranks below CRITICAL: a link that is down outweighs one that
    // could not be judged.
    auto rank = [](CheckCommand::State s) {
        switch (s) {
        case CheckCommand::State::Ok: return 0;
        case CheckCommand::State::Unknown: return 1;
        case CheckCommand::State::Warning: return 2;
        case CheckCommand::State::Critical: return 3;
        }
        return 0;
    };
    return rank(a) >= rank(b) ? a : b;
}

} // namespace

QString CheckCommand::stateName(State state)
{
    switch (state) {
    case State::Ok: return QStringLiteral("OK");
    case State::Warning: return QStringLiteral("WARNING");
    case State::Critical: return QStringLiteral("CRITICAL");
    case State::Unknown: return QStringLiteral("UNKNOWN");
    }
    return QStringLiteral("UNKNOWN");
}

QString CheckCommand::perfLabel(const QString& label)
{
    const bool plain = std::all_of(label.begin(), label.end(), [](QChar c) {
        return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('-') ||
               c == QLatin1Char('.');
    });
    if (plain && !label.isEmpty())
        return label;
    QString quoted = label;
    quoted.replace(QLatin1Char('\''), QLatin1Char('_')).replace(QLatin1Char('='), QLatin1Char('_'));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

CheckCommand::ElementResult CheckCommand::checkElement(const HeadlessPanel& element, bool single,
                                                       const Thresholds& thresholds,
                                                       EchoRunner& echoes, LevelPoller* poller)
{
    const QString address = element.text(ElementPanelView::Text::IP);
    const QString name = element.text(ElementPanelView::Text::Name);
    const QString label = name.isEmpty() ? element.caption(ElementPanelView::Caption::Mac) : name;
    // One element's figures carry the plain labels; several are told apart.
    const QString prefix = single ? QString() : label + QLatin1Char(' ');
    ElementResult result;
    const EchoRunner::Outcome echo = echoes.echo(address);
    result.summary = QStringLiteral("%1 %2").arg(label, echo.text());
    if (!echo.replied()) {
        result.state = State::Critical;
        return result;
    }
    const auto rtt = int(echo.roundTripMs);
    result.state = rtt >= thresholds.criticalMs  ? State::Critical
                   : rtt >= thresholds.warningMs ? State::Warning
                                                 : State::Ok;
    result.perfdata.append(QStringLiteral("%1=%2ms;%3;%4")
                               .arg(perfLabel(prefix + QStringLiteral("rtt")))
                               .arg(rtt)
                               .arg(thresholds.warningMs)
                               .arg(thresholds.criticalMs));
    if (poller == nullptr || m_interrupts.raised())
        return result;
    const std::optional<qint32> peak = poller->poll(address);
    // One run remembers no earlier answer: an element that sends no level
    // now has none, which is no alarm.
    const LevelRule::Verdict verdict = LevelRule::judge(peak, false, thresholds.silenceDbfs);
    if (!peak) {
        result.summary += QStringLiteral(", no level");
        return result;
    }
    result.summary += QStringLiteral(", ") + LevelPacket::levelCaption(*peak);
    if (LevelRule::isAlarm(verdict)) {
        result.state = State::Critical;
        result.summary += QStringLiteral(" (silent)");
    }
    if (*peak > 0)
        result.perfdata.append(QStringLiteral("%1=%2dBFS;;%3")
                                   .arg(perfLabel(prefix + QStringLiteral("level")))
                                   .arg(LevelPacket::levelDbfs(*peak))
                                   .arg(thresholds.silenceDbfs));
    return result;
}

int CheckCommand::run(const QStringList& arguments)
{
    CommandLine line(
        QStringLiteral("check"),
        QStringLiteral(
            "A monitoring plugin: pings each element (every element of the database when none "
            "is named) and asks each for its audio level (\"VOL\"), then prints one status line "
            "with performance data (rtt=...ms;W;C level=...dBFS). Exit status 0 OK, 1 WARNING "
            "(round trip at or above --warning-ms), 2 CRITICAL (no echo reply, round trip at "
            "or above --critical-ms, or a level below --silence-dbfs), 3 UNKNOWN (bad usage, "
            "unknown element, missing database). While the window holds UDP port 2976, levels "
            "are not polled and the line says so; the echoes are judged as always. Level rule, "
            "shared with serve: every element is asked; one that sends no level has none, "
            "which is no alarm (an element of either role may not offer it); a level below "
            "the silence threshold is. serve also raises one that answered before and then "
            "stops; a single check cannot tell that."),
        m_defaultDatabase, kExitUnknown);
    line.addElementsPositional();
    line.addOption(QCommandLineOption(
        kWarning, QStringLiteral("WARNING from this round trip in ms (default 200)."),
        QStringLiteral("ms"), QStringLiteral("200")));
    line.addOption(QCommandLineOption(
        kCritical, QStringLiteral("CRITICAL from this round trip in ms (default 500)."),
        QStringLiteral("ms"), QStringLiteral("500")));
    line.addSilenceOption(QStringLiteral("CRITICAL for an element whose level is below this"));
    line.parse(arguments);
    const Thresholds thresholds{line.intValue(kWarning, 0, kMaxThresholdMs),
                                line.intValue(kCritical, 0, kMaxThresholdMs), line.silenceDbfs()};
    const ElementDatabase database = ElementDatabase::load(line.databasePath(), kExitUnknown);
    QList<const ElementDatabase::Element*> elements;
    for (const QString& name : line.positional())
        elements.append(&database.resolve(name, kExitUnknown));
    if (line.positional().isEmpty()) {
        for (const ElementDatabase::Element& element : database.elements())
            elements.append(&element);
    }
    // A record the window refuses to load cannot be judged: UNKNOWN.
    QList<std::optional<HeadlessPanel>> panels;
    QStringList refusals;
    for (const ElementDatabase::Element* element : std::as_const(elements)) {
        QString refusal;
        panels.append(database.select(*element, &refusal));
        refusals.append(element->name + QLatin1Char(' ') + refusal);
    }
    if (elements.isEmpty())
        throw CliError{kExitUnknown, QStringLiteral("check: the database holds no element")};

    EchoRunner echoes(m_socket, m_clock, m_interrupts);
    echoes.open(kExitUnknown);
    ElementLink link(m_dialogs);
    std::optional<LevelPoller> poller;
    QString levelsNote;
    try {
        link.open(kExitUnknown);
        poller.emplace(link, m_interrupts);
    } catch (const CliError& held) {
        // The window holds the port: the echoes still tell whether the links
        // are up. Levels go unasked, which is no alarm, and the line says so.
        levelsNote = QStringLiteral(" (levels not polled: %1)").arg(held.message);
    }

    const bool single = elements.size() == 1;
    State overall = State::Ok;
    QStringList problems;
    QStringList fine;
    QStringList perfdata;
    for (qsizetype i = 0; i < panels.size(); ++i) {
        const ElementResult result = panels.at(i)
                                         ? checkElement(*panels.at(i), single, thresholds, echoes,
                                                        poller ? &*poller : nullptr)
                                         : ElementResult{State::Unknown, refusals.at(i), {}};
        if (m_interrupts.raised())
            return kExitUnknown;
        overall = worse(overall, result.state);
        (result.state == State::Ok ? fine : problems).append(result.summary);
        perfdata += result.perfdata;
    }
    QString status = QStringLiteral("VELTRINO %1 - ").arg(stateName(overall));
    if (problems.isEmpty())
        status += QStringLiteral("%1 of %2 answering: %3")
                      .arg(fine.size())
                      .arg(elements.size())
                      .arg(fine.join(QStringLiteral("; ")));
    else
        status += problems.join(QStringLiteral("; "));
    status += levelsNote;
    if (!perfdata.isEmpty())
        status += QStringLiteral(" | ") + perfdata.join(QLatin1Char(' '));
    Console::outLine(status);
    return int(overall);
}

} // namespace nms::cli
