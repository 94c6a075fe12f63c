#include "cli/BoxTally.h"

namespace nms::cli {

BoxTally::BoxTally(Dialogs& shown)
    : m_shown(&shown)
{
}

BoxAnswer BoxTally::present(const MessageBoxRequest& box)
{
    if (m_answerYes && box.icon == BoxIcon::Question)
        return BoxAnswer::Yes;
    m_information = m_information || box.icon == BoxIcon::Information;
    if (box.icon == BoxIcon::Critical && !m_critical)
        m_criticalLines = box.lines;
    m_critical = m_critical || box.icon == BoxIcon::Critical;
    return m_shown != nullptr ? m_shown->show(box) : box.defaultButton;
}

} // namespace nms::cli
