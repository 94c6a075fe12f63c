#include "cli/MetricsPage.h"

#include <cmath>
#include <functional>

#include "protocol/LevelPacket.h"

namespace nms::cli {

namespace {

QString number(double value)
{
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-Inf") : QStringLiteral("+Inf");
    return QString::number(value, 'g', 15);
}

void family(QString& out, const char* name, const char* type, const char* help)
{
    out += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
               .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
}

QString labels(const ListedElement& element)
{
    return QStringLiteral("{mac=\"%1\",name=\"%2\",role=\"%3\"}")
        .arg(MetricsPage::escapeLabel(element.mac), MetricsPage::escapeLabel(element.name),
             MetricsPage::escapeLabel(element.role));
}

// Milliseconds as the base unit, when there are any.
template <typename Milliseconds>
std::optional<double> inSeconds(const std::optional<Milliseconds>& ms)
{
    if (!ms)
        return std::nullopt;
    return double(*ms) / 1000.0;
}

using Sample = std::function<std::optional<double>(const ListedElement&, const ElementReading&)>;

void perElement(QString& out, const char* name, const QList<ListedElement>& elements,
                const QHash<QString, ElementReading>& readings, const Sample& sample)
{
    for (const ListedElement& element : elements) {
        // An element no round has polled yet (the first round is still
        // running) has no samples, rather than a false "down".
        const auto found = readings.constFind(element.mac);
        if (found == readings.constEnd())
            continue;
        const std::optional<double> value = sample(element, *found);
        if (value)
            out += QLatin1String(name) + labels(element) + QLatin1Char(' ') + number(*value) +
                   QLatin1Char('\n');
    }
}

void elementFamilies(QString& out, const QList<ListedElement>& elements,
                     const QHash<QString, ElementReading>& readings)
{
    family(out, "veltrino_element_info", "gauge", "The element's record in the database.");
    for (const ListedElement& e : elements)
        out += QStringLiteral("veltrino_element_info") + labels(e).chopped(1) +
               QStringLiteral(",ip=\"%1\",version=\"%2\",serial=\"%3\"} 1\n")
                   .arg(MetricsPage::escapeLabel(e.ip), MetricsPage::escapeLabel(e.version),
                        MetricsPage::escapeLabel(e.serial));
    family(out, "veltrino_element_up", "gauge", "1 when the last round's echo was answered.");
    perElement(out, "veltrino_element_up", elements, readings,
               [](const ListedElement&, const ElementReading& r) { return r.up ? 1.0 : 0.0; });
    family(out, "veltrino_element_rtt_seconds", "gauge", "The last answered echo's round trip.");
    perElement(
        out, "veltrino_element_rtt_seconds", elements, readings,
        [](const ListedElement&, const ElementReading& r) { return inSeconds(r.roundTripMs); });
    family(out, "veltrino_element_last_seen_timestamp_seconds", "gauge",
           "When the element last answered an echo or a level request.");
    perElement(
        out, "veltrino_element_last_seen_timestamp_seconds", elements, readings,
        [](const ListedElement&, const ElementReading& r) { return inSeconds(r.lastSeenMs); });
    family(out, "veltrino_element_level_dbfs", "gauge",
           "The audio level of the last round's answer; absent when none came.");
    perElement(out, "veltrino_element_level_dbfs", elements, readings,
               [](const ListedElement&, const ElementReading& r) -> std::optional<double> {
                   if (!r.peak)
                       return std::nullopt;
                   if (*r.peak <= 0)
                       return -INFINITY;
                   return LevelPacket::levelDbfs(*r.peak);
               });
    family(out, "veltrino_element_level_alarm", "gauge",
           "1 when the level is below the silence threshold, or the element answered \"VOL\" "
           "before and has stopped; an element that never answered has no level and is 0.");
    perElement(out, "veltrino_element_level_alarm", elements, readings,
               [](const ListedElement&, const ElementReading& r) {
                   return LevelRule::isAlarm(r.levelVerdict) ? 1.0 : 0.0;
               });
}

} // namespace

QString MetricsPage::escapeLabel(const QString& value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"))
        .replace(QLatin1Char('"'), QLatin1String("\\\""))
        .replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return escaped;
}

QByteArray MetricsPage::render(const QList<ListedElement>& elements,
                               const QHash<QString, ElementReading>& readings, const Totals& totals)
{
    QString out;
    out.reserve(int(elements.size()) * 900 + 2048);
    elementFamilies(out, elements, readings);
    family(out, "veltrino_level_polling", "gauge",
           "1 when the last round could take UDP port 2976 and so ask for levels.");
    out += QStringLiteral("veltrino_level_polling %1\n").arg(totals.levelPolling ? 1 : 0);
    family(out, "veltrino_database_elements", "gauge", "Elements listed from the database.");
    out += QStringLiteral("veltrino_database_elements %1\n").arg(totals.databaseElements);
    family(out, "veltrino_poll_duration_seconds", "gauge", "Length of the last polling round.");
    out += QStringLiteral("veltrino_poll_duration_seconds %1\n")
               .arg(number(totals.pollDurationSeconds));
    family(out, "veltrino_polls_total", "counter", "Polling rounds finished.");
    out += QStringLiteral("veltrino_polls_total %1\n").arg(totals.polls);
    family(out, "veltrino_database_read_errors_total", "counter",
           "Reads of the database that failed; the last good list was kept.");
    out +=
        QStringLiteral("veltrino_database_read_errors_total %1\n").arg(totals.databaseReadErrors);
    return out.toUtf8();
}

} // namespace nms::cli
