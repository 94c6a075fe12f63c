#pragma once

#include <QString>
#include <QStringList>

#include "cli/OutputTable.h"

namespace nms::cli {

class ElementDatabase;

// `list`: every element of the database, one row each, with what the
// window's panel shows for it; a record the window refuses to load keeps
// only its MAC and name, and the refusal goes to stderr.
class ListCommand {
public:
    explicit ListCommand(QString defaultDatabase);
    int run(const QStringList& arguments);
    static QString render(const ElementDatabase& database, OutputTable::Format format);

private:
    QString m_defaultDatabase;
};

} // namespace nms::cli
