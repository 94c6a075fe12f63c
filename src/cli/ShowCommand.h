#pragma once

#include <QString>
#include <QStringList>

namespace nms::cli {

// `show ELEMENT`: one element as the window's panel shows it.
class ShowCommand {
public:
    explicit ShowCommand(QString defaultDatabase);
    int run(const QStringList& arguments);

private:
    QString m_defaultDatabase;
};

} // namespace nms::cli
