#pragma once

#include <QStringList>

namespace nms::cli {

class StoredElement;

// One element as a row of the lists: the columns every listing shares.
class ElementRows {
public:
    static QStringList columns();
    static QStringList row(const StoredElement& element);
};

} // namespace nms::cli
