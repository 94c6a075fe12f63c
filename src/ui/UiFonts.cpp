#include "ui/UiFonts.h"

#include <QFontDatabase>

namespace nms {

namespace {

const QString kDesignFamily = QStringLiteral("Tahoma");
// Its condensed face matches Tahoma's width and height closely, so captions
// keep fitting their places.
const QString kStandInFamily = QStringLiteral("DejaVu Sans");

bool designFamilyInstalled()
{
    static const bool installed = QFontDatabase::hasFamily(kDesignFamily);
    return installed;
}

} // namespace

QString UiFonts::family()
{
    if (designFamilyInstalled())
        return kDesignFamily;
    static const QString standIn =
        QFontDatabase::hasFamily(kStandInFamily) ? kStandInFamily : QFont().family();
    return standIn;
}

QFont UiFonts::tahoma(qreal pointSize, bool bold)
{
    QFont font(family());
    if (!designFamilyInstalled())
        font.setStretch(QFont::Condensed);
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
