#include "cli/ElementRows.h"

#include "cli/StoredElement.h"

namespace nms::cli {

QStringList ElementRows::columns()
{
    return {QStringLiteral("MAC"),    QStringLiteral("NAME"),   QStringLiteral("ROLE"),
            QStringLiteral("IP"),     QStringLiteral("MASK"),   QStringLiteral("GW"),
            QStringLiteral("REMOTE"), QStringLiteral("SERIAL"), QStringLiteral("VERSION"),
            QStringLiteral("INPUT"),  QStringLiteral("TYPE"),   QStringLiteral("TX"),
            QStringLiteral("SFN"),    QStringLiteral("BUF"),    QStringLiteral("ATT"),
            QStringLiteral("SDM"),    QStringLiteral("SDL"),    QStringLiteral("SDT")};
}

QStringList ElementRows::row(const StoredElement& element)
{
    QStringList cells{element.mac(),
                      element.name(),
                      element.roleCaption(),
                      element.value(QStringLiteral("ip")),
                      element.value(QStringLiteral("mask")),
                      element.value(QStringLiteral("gw")),
                      element.value(QStringLiteral("remote")),
                      element.value(QStringLiteral("sn")),
                      element.value(QStringLiteral("ver")),
                      element.value(QStringLiteral("input")),
                      element.value(QStringLiteral("type")),
                      element.value(QStringLiteral("tx")),
                      element.value(QStringLiteral("sfn"))};
    // The decoder's fields stay empty for any other role.
    const bool decoder = element.isDecoder();
    for (const char* key : {"buf", "att", "sdm", "sdl", "sdt"})
        cells.append(decoder ? element.value(QString::fromLatin1(key)) : QString());
    return cells;
}

} // namespace nms::cli
