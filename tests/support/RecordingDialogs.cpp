#include "RecordingDialogs.h"

namespace nms::test {

QStringList RecordingDialogs::texts() const
{
    QStringList result;
    for (const MessageBoxRequest& box : boxes)
        result << box.text();
    return result;
}

BoxAnswer RecordingDialogs::present(const MessageBoxRequest& box)
{
    boxes << box;
    if (whileOpen)
        whileOpen(box);
    if (!script.isEmpty())
        return script.takeFirst();
    return box.defaultButton;
}

} // namespace nms::test
