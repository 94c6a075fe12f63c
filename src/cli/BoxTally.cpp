#include "cli/BoxTally.h"

namespace nms::cli {

BoxTally::BoxTally(Dialogs& shown)
    : m_shown(shown)
{
}

BoxAnswer BoxTally::present(const MessageBoxRequest& box)
{
    m_information = m_information || box.icon == BoxIcon::Information;
    m_critical = m_critical || box.icon == BoxIcon::Critical;
    return m_shown.show(box);
}

} // namespace nms::cli
