#pragma once

#include <optional>

#include <QtGlobal>

namespace nms {

// When an element's audio level calls for an alarm. The window offers level
// monitoring for encoders, so an element of either role may never answer
// "VOL": that element has no level, which is no alarm. One that answered
// before and then stops, or that reports a level below the silence
// threshold (a zero peak is silence), is an alarm. The monitoring plugin
// and the exporter both judge by this rule.
class LevelRule {
public:
    enum class Verdict { NoLevel, Sounding, Silent, Stopped };

    static constexpr double kDefaultSilenceDbfs = -60.0;

    // peak: this poll's answer, or nothing when none came; answeredBefore:
    // whether the element ever answered an earlier poll.
    static Verdict judge(std::optional<qint32> peak, bool answeredBefore, double silenceDbfs);
    static bool isAlarm(Verdict verdict)
    {
        return verdict == Verdict::Silent || verdict == Verdict::Stopped;
    }
};

} // namespace nms
