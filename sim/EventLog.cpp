#include "EventLog.h"

#include <cstdio>

namespace nms::sim {

bool EventLog::openRecord(const QString& path, QString* error)
{
    if (path.isEmpty())
        return true;
    m_record.setFileName(path);
    if (m_record.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return true;
    *error = QStringLiteral("cannot open record file %1: %2").arg(path, m_record.errorString());
    return false;
}

void EventLog::write(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
    if (m_record.isOpen()) {
        m_record.write(bytes);
        m_record.flush();
    }
}

} // namespace nms::sim
