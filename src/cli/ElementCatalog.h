#pragma once

#include <optional>

#include <QList>
#include <QSet>
#include <QString>

#include "cli/ListedElement.h"
#include "db/FileSignature.h"

namespace nms::cli {

class ElementDatabase;

// The exporter's view of the database: the elements as list lists them,
// read again whenever the file changes (discovery rewrites it). A file that
// cannot be read keeps the last good list and counts an error.
class ElementCatalog {
public:
    // Only the named elements (MAC, name or address, found as the other
    // commands find them) when some are given.
    ElementCatalog(QString path, QStringList wanted);

    // Refuses (CliError) a named element that a readable file does not
    // hold, or that names several; the list may change later, but it must
    // start right.
    void refuseUnknown(int refusalStatus) const;

    // Reads the file again when it changed since the last read.
    void refresh();
    const QList<ListedElement>& elements() const { return m_elements; }
    quint64 readErrors() const { return m_readErrors; }

private:
    std::optional<QList<ListedElement>> read() const;
    QSet<QString> wantedKeys(const ElementDatabase& database) const;

    QString m_path;
    QStringList m_wanted;
    std::optional<FileSignature> m_readSignature;
    QList<ListedElement> m_elements;
    quint64 m_readErrors = 0;
};

} // namespace nms::cli
