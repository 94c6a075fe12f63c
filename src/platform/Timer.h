#pragma once

#include <QObject>

namespace nms {

// A window timer as the program uses it: an interval in milliseconds and an
// enabled flag. Enabling a disabled timer, or changing the interval of an
// enabled one, starts a fresh countdown; enabling a running timer does not
// restart it. tick() fires every interval while enabled. Tests use a manual
// double that fires on request.
class Timer : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~Timer() override = default;

    virtual void setInterval(int milliseconds) = 0;
    virtual int interval() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

signals:
    void tick();
};

} // namespace nms
