#pragma once

#include <QFile>
#include <QString>

namespace nms::sim {

// One line per event, flushed at once to stdout and, when a record file is
// given, appended to it, so that a test can read what the element received.
class EventLog {
public:
    bool openRecord(const QString& path, QString* error);
    void write(const QString& line);

private:
    QFile m_record;
};

} // namespace nms::sim
