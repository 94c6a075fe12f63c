#pragma once

#include "platform/Dialogs.h"

namespace nms::cli {

// The boxes of the core's rules, without a screen: each box's lines go to
// stderr, one line each, and the box takes its default answer.
class StderrDialogs : public Dialogs {
protected:
    BoxAnswer present(const MessageBoxRequest& box) override;
};

} // namespace nms::cli
