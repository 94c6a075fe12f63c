#pragma once

#include <QString>
#include <QStringList>

namespace nms::cli {

// `list`: every element of the database, one row each.
class ListCommand {
public:
    explicit ListCommand(QString defaultDatabase);
    int run(const QStringList& arguments);

private:
    QString m_defaultDatabase;
};

} // namespace nms::cli
