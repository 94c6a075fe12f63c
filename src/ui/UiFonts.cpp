#include "ui/UiFonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace nms {

namespace {

const QStringList& preferredFamilies()
{
    static const QStringList families{"Tahoma", "DejaVu Sans Condensed", "Liberation Sans",
                                      "Nimbus Sans", "DejaVu Sans"};
    return families;
}

QString firstInstalledFamily()
{
    for (const QString& family : preferredFamilies()) {
        if (QFontDatabase::hasFamily(family))
            return family;
    }
    return QFont().family();
}

} // namespace

QString UiFonts::family()
{
    static const QString chosen = firstInstalledFamily();
    return chosen;
}

QFont UiFonts::tahoma(qreal pointSize, bool bold)
{
    QFont font(family());
    font.setPointSizeF(pointSize);
    font.setBold(bold);
    return font;
}

QFont UiFonts::windowFont()
{
    return tahoma(8.25);
}

QFont UiFonts::readoutFont()
{
    return tahoma(6.75);
}

QFont UiFonts::pingFont()
{
    return tahoma(8.25, true);
}

} // namespace nms
