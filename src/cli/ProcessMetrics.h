#pragma once

#include <string>

namespace nms::cli {

// The usual process_* figures of this process, read from /proc at each
// scrape. Plain C++ and reentrant: the HTTP server's thread calls it.
class ProcessMetrics {
public:
    ProcessMetrics();

    std::string render() const;

private:
    double m_startTimeSeconds = 0.0;
};

} // namespace nms::cli
