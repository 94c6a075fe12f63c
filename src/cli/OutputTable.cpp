#include "cli/OutputTable.h"

#include <algorithm>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace nms::cli {

namespace {
const QString kColumnGap = QStringLiteral("  ");
} // namespace

OutputTable::OutputTable(QStringList columns)
    : m_columns(std::move(columns))
{
}

void OutputTable::addRow(const QStringList& cells)
{
    QStringList row = cells.mid(0, m_columns.size());
    while (row.size() < m_columns.size())
        row.append(QString());
    m_rows.append(row);
}

std::optional<OutputTable::Format> OutputTable::formatFromName(const QString& name)
{
    if (name == QLatin1String("table"))
        return Format::Table;
    if (name == QLatin1String("csv"))
        return Format::Csv;
    if (name == QLatin1String("json"))
        return Format::Json;
    return std::nullopt;
}

QString OutputTable::render(Format format) const
{
    switch (format) {
    case Format::Table: return renderTable();
    case Format::Csv: return renderCsv();
    case Format::Json: return renderJson();
    }
    return QString();
}

QString OutputTable::renderTable() const
{
    QList<qsizetype> widths;
    for (const QString& column : m_columns)
        widths.append(column.size());
    for (const QStringList& row : m_rows) {
        for (qsizetype i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    auto line = [&](const QStringList& cells) -> QString {
        QString text;
        for (qsizetype i = 0; i < cells.size(); ++i) {
            if (i > 0)
                text += kColumnGap;
            text += cells[i].leftJustified(widths[i]);
        }
        // No blanks after the last column.
        while (text.endsWith(QLatin1Char(' ')))
            text.chop(1);
        return text + QLatin1Char('\n');
    };
    QString text = line(m_columns);
    for (const QStringList& row : m_rows)
        text += line(row);
    return text;
}

QString OutputTable::csvField(const QString& field)
{
    static const QList<QChar> kSpecial{QLatin1Char(','), QLatin1Char('"'), QLatin1Char('\r'),
                                       QLatin1Char('\n')};
    const bool quote =
        std::any_of(kSpecial.begin(), kSpecial.end(), [&](QChar c) { return field.contains(c); });
    if (!quote)
        return field;
    QString escaped = field;
    escaped.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString OutputTable::renderCsv() const
{
    auto line = [](const QStringList& cells) -> QString {
        QStringList fields;
        for (const QString& cell : cells)
            fields.append(csvField(cell));
        return fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    };
    QString text = line(m_columns);
    for (const QStringList& row : m_rows)
        text += line(row);
    return text;
}

QString OutputTable::renderJson() const
{
    QJsonArray array;
    for (const QStringList& row : m_rows) {
        QJsonObject object;
        for (qsizetype i = 0; i < m_columns.size(); ++i)
            object.insert(m_columns[i].toLower(), row[i]);
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Indented));
}

} // namespace nms::cli
