#pragma once

#include "platform/Dialogs.h"

namespace nms::cli {

// Passes every box on to the program's dialogs and remembers which kinds
// were shown, so that a command can tell from the boxes of one of the
// window's rules how it ended: its information box is its success, a
// critical box its failure.
class BoxTally : public Dialogs {
public:
    explicit BoxTally(Dialogs& shown);

    bool showedInformation() const { return m_information; }
    bool showedCritical() const { return m_critical; }

protected:
    BoxAnswer present(const MessageBoxRequest& box) override;

private:
    Dialogs& m_shown;
    bool m_information = false;
    bool m_critical = false;
};

} // namespace nms::cli
