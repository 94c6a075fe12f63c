#include "platform/Dialogs.h"

namespace nms {

BoxAnswer Dialogs::show(const MessageBoxRequest& box)
{
    ++m_openBoxes;
    const BoxAnswer answer = present(box);
    --m_openBoxes;
    if (m_openBoxes == 0)
        notifyAllBoxesClosed();
    return answer;
}

void Dialogs::whenAllBoxesClosed(QObject* context, std::function<void()> listener)
{
    m_closeListeners.append({context, std::move(listener)});
}

// Listeners whose context has gone are forgotten. The list is copied: a
// listener may add another one.
void Dialogs::notifyAllBoxesClosed()
{
    m_closeListeners.removeIf([](const CloseListener& entry) { return entry.context.isNull(); });
    const QList<CloseListener> listeners = m_closeListeners;
    for (const CloseListener& entry : listeners) {
        if (!entry.context.isNull())
            entry.listener();
    }
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
