#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include "cli/ElementReading.h"
#include "cli/ListedElement.h"

namespace nms::cli {

// The exporter's figures in the Prometheus text format (version 0.0.4),
// without the process figures, which are taken at each scrape.
class MetricsPage {
public:
    struct Totals {
        bool levelPolling = false;
        qsizetype databaseElements = 0;
        double pollDurationSeconds = 0.0;
        quint64 polls = 0;
        quint64 databaseReadErrors = 0;
    };

    static QByteArray render(const QList<ListedElement>& elements,
                             const QHash<QString, ElementReading>& readings, const Totals& totals);
    // A label value with backslash, double quote and line feed escaped.
    static QString escapeLabel(const QString& value);
};

} // namespace nms::cli
