#include "cli/StderrDialogs.h"

#include "cli/Console.h"

namespace nms::cli {

BoxAnswer StderrDialogs::present(const MessageBoxRequest& box)
{
    for (const QString& line : box.lines)
        Console::errLine(line);
    return box.defaultButton;
}

} // namespace nms::cli
