#include "cli/HeadlessTree.h"

namespace nms::cli {

void HeadlessTree::addNode(const QString& text, const QString& key, bool)
{
    const QString suffix = QStringLiteral(" [") + key + QLatin1Char(']');
    m_nodes.append({key, text.endsWith(suffix) ? text.chopped(suffix.size()) : text});
}

} // namespace nms::cli
