#pragma once

#include <utility>

#include <QList>
#include <QString>
#include <QStringList>

namespace nms::cli {

class HeadlessPanel;

// The KEY=VALUE arguments of `set`, checked one by one before anything is
// sent: the key must be one the panel can edit, and its value one the
// panel's control can hold.
class SettingChanges {
public:
    static QStringList keys();

    // Refuses (CliError, the given status) text that is not KEY=VALUE, an
    // unknown key, a key given twice, and `bound`, which the program never
    // writes. No setting at all is allowed only where `allowNone` says so.
    static SettingChanges parse(const QStringList& settings, int refusalStatus,
                                bool allowNone = false);

    // Puts each change into the panel; refuses a value its control cannot
    // hold, and a decoder's setting for any other role.
    void applyTo(HeadlessPanel& panel, int refusalStatus) const;

    bool changes(const QString& key) const;
    const QList<std::pair<QString, QString>>& settings() const { return m_settings; }

private:
    QList<std::pair<QString, QString>> m_settings;
};

} // namespace nms::cli
