#pragma once

#include <QString>

namespace nms::cli {

// One element as the exporter labels it: the database's record as the
// element list lists it.
struct ListedElement {
    QString mac; // colon form, the tree's node key
    QString name;
    QString role; // ENCODER, DECODER or UNKNOWN, as the panel shows it
    QString ip;
    QString version;
    QString serial;

    bool operator==(const ListedElement&) const = default;
};

} // namespace nms::cli
