#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace nms {

// The program's compiled-in pictures: the window icon and the seven images
// of the image list, whose yellow background is shown transparent.
class ImageResources {
public:
    static constexpr int kImageListCount = 7;

    // Resource path of image 1..7 of the image list.
    static QString imageListPath(int index);
    static QString programIconPath();

    // Image 1..7 with its key colour made transparent (null for a bad index).
    static QImage imageListImage(int index);
    static QIcon imageListIcon(int index);
    static QIcon programIcon();

    // The colour that the image list draws transparent.
    static QColor keyColour() { return QColor(255, 255, 0); }
    // Returns a copy with alpha, every pixel of exactly the key colour cleared.
    static QImage withKeyTransparent(const QImage& image, const QColor& key);
};

} // namespace nms
