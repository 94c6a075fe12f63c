#pragma once

#include <QString>

namespace nms::cli {

// One element as the exporter labels it: what list prints of its record.
struct ListedElement {
    QString mac; // colon form, the tree's node key
    QString name;
    QString role; // as the panel shows it; empty for a refused record
    QString ip;
    QString version;
    QString serial;

    bool operator==(const ListedElement&) const = default;
};

} // namespace nms::cli
