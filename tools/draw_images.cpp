// Draws the program icon and the seven image-list pictures as PNG files, or
// the desktop icons (the program icon at the theme's sizes and as SVG).
// The images are committed; run this only to change them:
//   nms-draw-images <output directory>                  (resources/images)
//   nms-draw-images --desktop-icons <output directory>  (packaging/icons)
// (QT_QPA_PLATFORM=offscreen works without a display.)

#include <cmath>
#include <functional>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QTextStream>

namespace {

constexpr int kListSize = 16;
constexpr int kIconSize = 32;
const QColor kKey(255, 255, 0);
// Edge pixels that the anti-aliasing leaves half covered are blended with the
// light grey of the toolbar; fainter ones become background.
const QColor kEdgeBlend(236, 236, 236);
constexpr int kCoverageThreshold = 128;

const QColor kOutline(60, 60, 60);
const QColor kGrey(158, 158, 158);
const QColor kLightGrey(210, 210, 210);

using Drawing = std::function<void(QPainter&)>;

QColor blendOverEdge(QRgb pixel)
{
    const QColor colour = QColor::fromRgba(pixel);
    const qreal a = colour.alphaF();
    auto mix = [a](int fg, int bg) { return qRound(fg * a + bg * (1.0 - a)); };
    return QColor(mix(colour.red(), kEdgeBlend.red()), mix(colour.green(), kEdgeBlend.green()),
                  mix(colour.blue(), kEdgeBlend.blue()));
}

// Puts the anti-aliased drawing on the key colour with hard edges: the key
// colour means "transparent" and must not appear inside the picture.
QImage onKeyBackground(const QImage& drawn)
{
    QImage result(drawn.size(), QImage::Format_RGB32);
    const QImage straight = drawn.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < straight.height(); ++y) {
        for (int x = 0; x < straight.width(); ++x) {
            const QRgb pixel = straight.pixel(x, y);
            QColor colour = kKey;
            if (qAlpha(pixel) >= kCoverageThreshold)
                colour = blendOverEdge(pixel);
            if (qAlpha(pixel) >= kCoverageThreshold && colour.rgb() == kKey.rgb())
                colour = QColor(255, 254, 0);
            result.setPixel(x, y, colour.rgb());
        }
    }
    return result;
}

QImage drawListImage(const Drawing& draw)
{
    QImage canvas(kListSize, kListSize, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return onKeyBackground(canvas);
}

void magnifyingGlass(QPainter& p)
{
    p.setPen(QPen(QColor(70, 45, 20), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(10.3, 10.3), QPointF(14.0, 14.0));
    QRadialGradient glass(QPointF(5.0, 5.0), 6.0);
    glass.setColorAt(0.0, Qt::white);
    glass.setColorAt(1.0, QColor(150, 200, 240));
    p.setBrush(glass);
    p.setPen(QPen(kOutline, 1.6));
    p.drawEllipse(QPointF(6.5, 6.5), 4.8, 4.8);
}

QPointF onCircle(QPointF centre, qreal radius, qreal degrees)
{
    const qreal r = qDegreesToRadians(degrees);
    return centre + QPointF(radius * std::cos(r), -radius * std::sin(r));
}

// An arc running anticlockwise from `from` to `to` degrees, its head at `to`.
void arrowArc(QPainter& p, QPointF centre, qreal radius, qreal from, qreal to, const QColor& colour)
{
    const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    p.setPen(QPen(colour, 2.2, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(box, qRound(from * 16), qRound((to - 8 - from) * 16));

    const qreal r = qDegreesToRadians(to);
    const QPointF along(-std::sin(r), -std::cos(r));
    const QPointF outward(std::cos(r), -std::sin(r));
    const QPointF base = onCircle(centre, radius, to - 12);
    QPolygonF head;
    head << base + along * 4.2 << base + outward * 3.0 << base - outward * 3.0;
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.drawPolygon(head);
}

void refreshArrows(QPainter& p)
{
    const QPointF centre(8.0, 8.0);
    const QColor blue(25, 85, 215);
    arrowArc(p, centre, 5.2, 25, 170, blue);
    arrowArc(p, centre, 5.2, 205, 350, blue);
}

void floppyDisk(QPainter& p)
{
    QPainterPath body;
    body.moveTo(1.5, 1.5);
    body.lineTo(12.5, 1.5);
    body.lineTo(14.5, 3.5);
    body.lineTo(14.5, 14.5);
    body.lineTo(1.5, 14.5);
    body.closeSubpath();
    p.setPen(QPen(QColor(10, 20, 60), 1.0));
    p.setBrush(QColor(40, 60, 150));
    p.drawPath(body);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(Qt::NoPen);
    p.setBrush(kLightGrey);
    p.drawRect(QRect(4, 2, 8, 5));
    p.setBrush(QColor(40, 60, 150));
    p.drawRect(QRect(9, 3, 2, 3));
    p.setBrush(Qt::white);
    p.drawRect(QRect(3, 9, 10, 5));
    p.setPen(QColor(150, 150, 150));
    p.drawLine(4, 11, 11, 11);
    p.drawLine(4, 13, 11, 13);
}

void discWithEdge(QPainter& p, const QColor& fill, const QColor& edge)
{
    QRadialGradient shading(QPointF(6.0, 5.5), 9.0);
    shading.setColorAt(0.0, fill.lighter(135));
    shading.setColorAt(1.0, fill);
    p.setPen(QPen(edge, 1.0));
    p.setBrush(shading);
    p.drawEllipse(QPointF(8.0, 8.0), 6.8, 6.8);
}

void playDisc(QPainter& p)
{
    discWithEdge(p, QColor(20, 160, 40), QColor(0, 90, 20));
    QPolygonF triangle;
    triangle << QPointF(6.0, 4.5) << QPointF(12.0, 8.0) << QPointF(6.0, 11.5);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPolygon(triangle);
}

void stopDisc(QPainter& p)
{
    discWithEdge(p, QColor(215, 25, 25), QColor(120, 0, 0));
    p.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

void microphone(QPainter& p)
{
    p.setPen(QPen(kOutline, 1.3, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(3.5, 2.5, 9.0, 9.5), 180 * 16, 180 * 16);
    p.drawLine(QPointF(8.0, 12.0), QPointF(8.0, 14.0));
    p.drawLine(QPointF(5.0, 14.5), QPointF(11.0, 14.5));
    QLinearGradient metal(QPointF(5.5, 0), QPointF(10.5, 0));
    metal.setColorAt(0.0, kLightGrey);
    metal.setColorAt(1.0, kGrey.darker(115));
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(metal);
    p.drawRoundedRect(QRectF(5.5, 0.5, 5.0, 10.0), 2.5, 2.5);
    p.setPen(QPen(QColor(100, 100, 100), 0.8));
    for (qreal y : {3.0, 5.0, 7.0})
        p.drawLine(QPointF(6.5, y), QPointF(9.5, y));
}

void loudspeaker(QPainter& p)
{
    QPolygonF cone;
    cone << QPointF(1.5, 5.5) << QPointF(4.5, 5.5) << QPointF(8.5, 1.5) << QPointF(8.5, 14.5)
         << QPointF(4.5, 10.5) << QPointF(1.5, 10.5);
    QLinearGradient metal(QPointF(0, 2), QPointF(0, 14));
    metal.setColorAt(0.0, kLightGrey);
    metal.setColorAt(1.0, kGrey.darker(110));
    p.setPen(QPen(kOutline, 1.0));
    p.setBrush(metal);
    p.drawPolygon(cone);
    p.setPen(QPen(kOutline, 1.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    const QPointF centre(8.5, 8.0);
    for (qreal radius : {3.0, 5.5})
        p.drawArc(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius),
                  -45 * 16, 90 * 16);
}

// The program icon is drawn once, against this small surface, so that the PNGs
// at every size and the scalable SVG of the desktop icon show one picture.
class IconSurface {
public:
    virtual ~IconSurface() = default;
    // Angles in degrees, anticlockwise from three o'clock, as QPainter takes them.
    virtual void arc(QPointF centre, qreal radius, int from, int span, const QPen& pen) = 0;
    virtual void line(QPointF from, QPointF to, const QPen& pen) = 0;
    virtual void dot(QPointF centre, qreal radius, const QColor& colour) = 0;
    virtual void text(const QRectF& box, const QFont& font, const QColor& colour,
                      const QString& text) = 0;
};

class PainterSurface : public IconSurface {
public:
    explicit PainterSurface(QPainter& painter)
        : m_painter(painter)
    {
    }

    void arc(QPointF centre, qreal radius, int from, int span, const QPen& pen) override
    {
        const QRectF box(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        m_painter.setPen(pen);
        m_painter.drawArc(box, from * 16, span * 16);
    }
    void line(QPointF from, QPointF to, const QPen& pen) override
    {
        m_painter.setPen(pen);
        m_painter.drawLine(from, to);
    }
    void dot(QPointF centre, qreal radius, const QColor& colour) override
    {
        m_painter.setBrush(colour);
        m_painter.setPen(Qt::NoPen);
        m_painter.drawEllipse(centre, radius, radius);
    }
    void text(const QRectF& box, const QFont& font, const QColor& colour,
              const QString& text) override
    {
        m_painter.setFont(font);
        m_painter.setPen(colour);
        m_painter.drawText(box, Qt::AlignCenter, text);
    }

private:
    QPainter& m_painter;
};

class SvgSurface : public IconSurface {
public:
    void arc(QPointF centre, qreal radius, int from, int span, const QPen& pen) override
    {
        const QPointF start = onCircle(centre, radius, from);
        const QPointF end = onCircle(centre, radius, from + span);
        // SVG's y axis points down, so QPainter's anticlockwise is sweep flag 0.
        m_body += QStringLiteral("<path d=\"M%1 %2 A%3 %3 0 %4 %5 %6 %7\" fill=\"none\"%8/>\n")
                      .arg(number(start.x()), number(start.y()), number(radius))
                      .arg(std::abs(span) > 180 ? 1 : 0)
                      .arg(span > 0 ? 0 : 1)
                      .arg(number(end.x()), number(end.y()), stroke(pen));
    }
    void line(QPointF from, QPointF to, const QPen& pen) override
    {
        m_body += QStringLiteral("<line x1=\"%1\" y1=\"%2\" x2=\"%3\" y2=\"%4\"%5/>\n")
                      .arg(number(from.x()), number(from.y()), number(to.x()), number(to.y()),
                           stroke(pen));
    }
    void dot(QPointF centre, qreal radius, const QColor& colour) override
    {
        m_body += QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"%3\" fill=\"%4\"/>\n")
                      .arg(number(centre.x()), number(centre.y()), number(radius), colour.name());
    }
    void text(const QRectF& box, const QFont& font, const QColor& colour,
              const QString& text) override
    {
        // Centred as Qt::AlignCenter centres it: the line's ascent and descent
        // in the middle of the box.
        const QFontMetricsF metrics(font);
        const qreal baseline = box.top() +
                               (box.height() - metrics.ascent() - metrics.descent()) / 2 +
                               metrics.ascent();
        m_body +=
            QStringLiteral("<text x=\"%1\" y=\"%2\" font-family=\"%3\" font-size=\"%4\" "
                           "font-weight=\"%5\" text-anchor=\"middle\" fill=\"%6\">%7</text>\n")
                .arg(number(box.center().x()), number(baseline), font.family())
                .arg(font.pixelSize())
                .arg(font.bold() ? QStringLiteral("bold") : QStringLiteral("normal"), colour.name(),
                     text.toHtmlEscaped());
    }

    QString document(int size, const QColor& background) const
    {
        return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" "
                              "height=\"%1\" viewBox=\"0 0 %1 %1\">\n"
                              "<rect width=\"%1\" height=\"%1\" fill=\"%2\"/>\n")
                   .arg(size)
                   .arg(background.name()) +
               m_body + QStringLiteral("</svg>\n");
    }

private:
    static QString number(qreal value) { return QString::number(value, 'g', 6); }

    static QString stroke(const QPen& pen)
    {
        const QString cap =
            pen.capStyle() == Qt::RoundCap ? QStringLiteral("round") : QStringLiteral("square");
        return QStringLiteral(" stroke=\"%1\" stroke-width=\"%2\" stroke-linecap=\"%3\"")
            .arg(pen.color().name(), number(pen.widthF()), cap);
    }

    QString m_body;
};

// A lattice mast on black sending out blue waves, above the red letters STL.
void drawProgramIcon(IconSurface& surface)
{
    const QPointF top(16.0, 5.0);
    const QPen waves(QColor(60, 150, 255), 1.4, Qt::SolidLine, Qt::RoundCap);
    for (qreal radius : {4.0, 7.0, 10.0}) {
        surface.arc(top, radius, -35, 70, waves);
        surface.arc(top, radius, 145, 70, waves);
    }

    const QPen legs(QColor(225, 225, 225), 1.1);
    surface.line(top, QPointF(12.0, 20.5), legs);
    surface.line(top, QPointF(20.0, 20.5), legs);
    const QPen braces(QColor(180, 180, 180), 0.8);
    for (qreal y : {9.0, 13.0, 17.0}) {
        const qreal half = (y - top.y()) * 4.0 / 15.5;
        const qreal nextHalf = (y + 4.0 - top.y()) * 4.0 / 15.5;
        surface.line(QPointF(16.0 - half, y), QPointF(16.0 + half, y), braces);
        if (y + 4.0 <= 21.0)
            surface.line(QPointF(16.0 - half, y), QPointF(16.0 + nextHalf, y + 3.5), braces);
    }
    surface.dot(top, 1.4, QColor(255, 60, 60));

    QFont letters(QStringLiteral("DejaVu Sans"));
    letters.setPixelSize(10);
    letters.setBold(true);
    surface.text(QRectF(0, 21, kIconSize, 11), letters, QColor(255, 0, 0), QStringLiteral("STL"));
}

QImage programIcon(int size)
{
    QImage icon(size, size, QImage::Format_RGB32);
    icon.fill(Qt::black);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(qreal(size) / kIconSize, qreal(size) / kIconSize);
    PainterSurface surface(painter);
    drawProgramIcon(surface);
    painter.end();
    return icon;
}

QString programIconSvg()
{
    SvgSurface surface;
    drawProgramIcon(surface);
    return surface.document(kIconSize, Qt::black);
}

bool save(const QImage& image, const QDir& dir, const QString& name)
{
    const QString path = dir.filePath(name);
    if (image.save(path, "PNG"))
        return true;
    QTextStream(stderr) << "cannot write " << path << "\n";
    return false;
}

bool saveText(const QString& text, const QDir& dir, const QString& name)
{
    QFile file(dir.filePath(name));
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        file.write(text.toUtf8()) == text.toUtf8().size())
        return true;
    QTextStream(stderr) << "cannot write " << file.fileName() << "\n";
    return false;
}

bool drawImageList(const QDir& dir)
{
    const Drawing list[] = {magnifyingGlass, refreshArrows, floppyDisk, playDisc,
                            stopDisc,        microphone,    loudspeaker};
    bool ok = save(programIcon(kIconSize), dir, QStringLiteral("program.png"));
    int index = 1;
    for (const Drawing& draw : list)
        ok = save(drawListImage(draw), dir, QStringLiteral("ImageList1_%1.png").arg(index++)) && ok;
    return ok;
}

// The sizes a desktop's menus and launchers look for in the hicolor theme.
bool drawDesktopIcons(const QDir& dir)
{
    bool ok = saveText(programIconSvg(), dir, QStringLiteral("program.svg"));
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        ok = save(programIcon(size), dir, QStringLiteral("program-%1.png").arg(size)) && ok;
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 1)
        return drawImageList(QDir(arguments[0])) ? 0 : 1;
    if (arguments.size() == 2 && arguments[0] == QStringLiteral("--desktop-icons"))
        return drawDesktopIcons(QDir(arguments[1])) ? 0 : 1;
    QTextStream(stderr) << "usage: nms-draw-images <output directory>\n"
                           "       nms-draw-images --desktop-icons <output directory>\n";
    return 2;
}
