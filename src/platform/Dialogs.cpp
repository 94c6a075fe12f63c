#include "platform/Dialogs.h"

namespace nms {

BoxAnswer Dialogs::show(const MessageBoxRequest& box)
{
    ++m_openBoxes;
    const BoxAnswer answer = present(box);
    --m_openBoxes;
    return answer;
}

BoxAnswer Dialogs::information(const QString& title, const QStringList& lines)
{
    return show({BoxIcon::Information, title, lines, BoxButtons::Ok, BoxAnswer::Ok});
}

BoxAnswer Dialogs::critical(const QString& title, const QStringList& lines)
{
    return show({BoxIcon::Critical, title, lines, BoxButtons::Ok, BoxAnswer::Ok});
}

BoxAnswer Dialogs::question(const QString& title, const QStringList& lines)
{
    return show({BoxIcon::Question, title, lines, BoxButtons::YesNo, BoxAnswer::No});
}

} // namespace nms
