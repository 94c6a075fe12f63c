#pragma once

namespace nms {

// The small window shown while a discovery collects the elements' answers.
// It has no behaviour: the discovery opens it when the collection starts and
// closes it when the collection ends. It must not run an event loop of its
// own: arrivals and timers go on while it is shown.
class PagingView {
public:
    virtual ~PagingView() = default;

    virtual void open() = 0;
    virtual void close() = 0;
};

} // namespace nms
