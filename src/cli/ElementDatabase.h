#pragma once

#include <QList>
#include <QString>

#include "cli/StoredElement.h"

namespace nms::cli {

// nms.ini read whole, through the program's own INI store and routines, so
// that every value reads as the window reads it. Finds an element by MAC
// (with or without colons, any case), by IP address, or by its stored name
// (without its padding, any case).
class ElementDatabase {
public:
    // Refuses (CliError, the given status) a database that is missing or
    // cannot be read.
    static ElementDatabase load(const QString& path, int refusalStatus);
    // The same records, for a database already read (tests, discovery).
    explicit ElementDatabase(QList<StoredElement> elements = {});

    const QList<StoredElement>& elements() const { return m_elements; }
    int encoderCount() const;

    // The one element the text names; refuses (CliError) an unknown
    // element and an ambiguous one, listing the matches.
    const StoredElement& resolve(const QString& element, int refusalStatus) const;

    // "001a2b3c4d5e" or "00:1A:2B:3C:4D:5E" as a section name; empty when
    // the text is no MAC.
    static QString sectionFromMac(const QString& text);

private:
    QList<StoredElement> m_elements;

    QList<const StoredElement*> matchesOf(const QString& element) const;
};

} // namespace nms::cli
