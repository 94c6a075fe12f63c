#include "cli/MacResolver.h"

#include "platform/Timer.h"

namespace nms::cli {

MacResolver::MacResolver(Dialogs& dialogs, Clock& clock, QObject* parent)
    : QObject(parent)
    , m_macTimer(m_timers.create(QStringLiteral("timerGetMAC"), MacLookup::kBoundMs))
    , m_lookup(std::make_unique<MacLookup>(dialogs, clock, m_timers, m_table, *m_macTimer))
{
}

MacResolver::~MacResolver() = default;

void MacResolver::lookup(const QString& address, Done done)
{
    m_lookup->lookup(address, nullptr, std::move(done));
}

} // namespace nms::cli
