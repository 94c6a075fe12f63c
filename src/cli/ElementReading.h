#pragma once

#include <optional>

#include <QtGlobal>

#include "protocol/LevelRule.h"

namespace nms::cli {

// What the exporter knows of one element after its polls.
struct ElementReading {
    bool up = false;
    // The last answered echo's round trip, in whole milliseconds.
    std::optional<quint32> roundTripMs;
    // Wall-clock time of the last answer of any kind, in ms since the epoch.
    std::optional<qint64> lastSeenMs;
    // The last round's level answer (a peak), when one came.
    std::optional<qint32> peak;
    bool everAnsweredLevel = false;
    LevelRule::Verdict levelVerdict = LevelRule::Verdict::NoLevel;
};

} // namespace nms::cli
