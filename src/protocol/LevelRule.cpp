#include "protocol/LevelRule.h"

#include "protocol/LevelPacket.h"

namespace nms {

LevelRule::Verdict LevelRule::judge(std::optional<qint32> peak, bool answeredBefore,
                                    double silenceDbfs)
{
    if (!peak)
        return answeredBefore ? Verdict::Stopped : Verdict::NoLevel;
    if (*peak <= 0 || LevelPacket::levelDbfs(*peak) < silenceDbfs)
        return Verdict::Silent;
    return Verdict::Sounding;
}

} // namespace nms
