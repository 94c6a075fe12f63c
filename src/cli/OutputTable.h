#pragma once

#include <optional>

#include <QList>
#include <QString>
#include <QStringList>

namespace nms::cli {

// Rows of text under named columns, written as an aligned table, as CSV
// (RFC 4180: CRLF line ends, fields quoted where they hold a comma, a quote,
// CR or LF, quotes doubled) or as one JSON document (an array of objects
// named by the columns).
class OutputTable {
public:
    enum class Format { Table, Csv, Json };

    explicit OutputTable(QStringList columns);

    void addRow(const QStringList& cells);
    QString render(Format format) const;

    // "table", "csv" or "json"; nothing for any other text.
    static std::optional<Format> formatFromName(const QString& name);
    static QString csvField(const QString& field);

private:
    QStringList m_columns;
    QList<QStringList> m_rows;

    QString renderTable() const;
    QString renderCsv() const;
    QString renderJson() const;
};

} // namespace nms::cli
