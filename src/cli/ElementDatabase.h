#pragma once

#include <memory>
#include <optional>

#include <QList>
#include <QString>

#include "cli/HeadlessPanel.h"
#include "cli/HeadlessTree.h"

namespace nms {
class PrivateProfileStore;
}

namespace nms::cli {

// nms.ini as the window sees it: the list of elements is what the window's
// element list builds, and one element's values are what the window's
// selection loads into a panel, so both faces read, refuse and show a
// record alike. Finds an element by MAC (with or without colons, any case),
// by IP address, or by its stored name (any case).
class ElementDatabase {
public:
    using Element = HeadlessTree::Node;

    // Refuses (CliError, the given status) a database that is missing or
    // cannot be read.
    static ElementDatabase load(const QString& path, int refusalStatus);

    const QString& path() const { return m_path; }
    const QList<Element>& elements() const { return m_tree.nodes(); }

    // The panel as the window's selection loads it for the element, or
    // nothing when the selection refuses the record; then `refusal` gets
    // the selection's box.
    std::optional<HeadlessPanel> select(const Element& element, QString* refusal = nullptr) const;
    // As select(), with a refusal (CliError) naming the element.
    HeadlessPanel selectOrRefuse(const Element& element, int refusalStatus) const;
    // What list prints of the element, as (name, value) pairs in the
    // panel's order: the panel's fields, or, for a record the selection
    // refuses, only its MAC and listed name; then `refusal` gets the
    // refusal naming the element.
    QList<std::pair<QString, QString>> listedFields(const Element& element, QString* refusal) const;

    // The one element the text names; refuses (CliError) an unknown
    // element and an ambiguous one, listing the matches.
    const Element& resolve(const QString& text, int refusalStatus) const;

private:
    QString m_path;
    HeadlessTree m_tree;
    // One store for every read, so that the file is parsed once however
    // many elements are selected.
    std::shared_ptr<PrivateProfileStore> m_store;

    QList<const Element*> matchesOf(const QString& text) const;
};

} // namespace nms::cli
