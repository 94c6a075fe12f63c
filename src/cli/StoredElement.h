#pragma once

#include <optional>
#include <utility>

#include <QList>
#include <QString>

namespace nms::cli {

// One element's record as nms.ini holds it: its section (the MAC without
// colons) and every key with its value, in file order. Key names are kept
// lower-case, as the program's readers and writers name them.
class StoredElement {
public:
    StoredElement() = default;
    StoredElement(QString section, QList<std::pair<QString, QString>> keys);

    QString section() const { return m_section; }
    // 00:1A:2B:3C:4D:5E
    QString mac() const;
    QString value(const QString& key) const;
    bool has(const QString& key) const;
    const QList<std::pair<QString, QString>>& keys() const { return m_keys; }
    // The stored name without the blanks that pad it to 16 characters.
    QString name() const;
    std::optional<int> role() const;
    // "ENCODER", "DECODER" or "UNKNOWN", as the panel shows the role.
    QString roleCaption() const;
    bool isDecoder() const;

private:
    QString m_section;
    QList<std::pair<QString, QString>> m_keys;
};

} // namespace nms::cli
