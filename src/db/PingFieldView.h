#pragma once

#include <QString>

namespace nms {

// The ping field of the diagnostics frame: a fill that says how the last
// echo went and the caption beside it. The window maps the fill to its
// colours and reports the operator's clicks and every caption change to the
// ping controller.
class PingFieldView {
public:
    enum class Fill { Idle, Success, Failure };

    virtual ~PingFieldView() = default;

    virtual void setFill(Fill fill) = 0;
    virtual Fill fill() const = 0;
    virtual void setCaption(const QString& caption) = 0;
};

} // namespace nms
