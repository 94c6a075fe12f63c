#include "ui/ImageResources.h"

// The pictures are compiled into the core library, which is static: their
// registration must be pulled in by name.
static void registerCompiledPictures()
{
    Q_INIT_RESOURCE(resources);
}

namespace nms {

namespace {

void ensurePicturesRegistered()
{
    static const bool registered = (registerCompiledPictures(), true);
    Q_UNUSED(registered);
}

} // namespace

QString ImageResources::imageListPath(int index)
{
    return QStringLiteral(":/images/ImageList1_%1.png").arg(index);
}

QString ImageResources::programIconPath()
{
    return QStringLiteral(":/images/program.png");
}

QImage ImageResources::imageListImage(int index)
{
    if (index < 1 || index > kImageListCount)
        return QImage();
    ensurePicturesRegistered();
    const QImage source(imageListPath(index));
    if (source.isNull())
        return QImage();
    return withKeyTransparent(source, keyColour());
}

QIcon ImageResources::imageListIcon(int index)
{
    const QImage image = imageListImage(index);
    if (image.isNull())
        return QIcon();
    return QIcon(QPixmap::fromImage(image));
}

QIcon ImageResources::programIcon()
{
    ensurePicturesRegistered();
    return QIcon(programIconPath());
}

QImage ImageResources::withKeyTransparent(const QImage& image, const QColor& key)
{
    QImage result = image.convertToFormat(QImage::Format_ARGB32);
    const QRgb keyRgb = key.rgb() & RGB_MASK;
    for (int y = 0; y < result.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < result.width(); ++x) {
            if ((line[x] & RGB_MASK) == keyRgb)
                line[x] = 0;
        }
    }
    return result;
}

} // namespace nms
