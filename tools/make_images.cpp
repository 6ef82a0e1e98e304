// Draws the program's own pictures: icon 128 (32x32 and 16x16, 16 colours; 48 to 256 pixels in
// full colour for the desktop menu, which installs the 16 and 32 too), splash bitmap 133
// (350x325, 24-bit uncompressed BMP) and the test e-mail's attachment sentivo.jpg. Run once by
// hand (target sentivo_make_images, argument: the res/ folder); the results are committed.

#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

// A webcam seen from the front: a round lens with a red recording light, on a dark disc.
void DrawCamera(QPainter& p, const QRectF& box)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c = box.center();
    const qreal r = box.width() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 128));
    p.drawEllipse(c, r, r);
    p.setBrush(QColor(192, 192, 192));
    p.drawEllipse(c, r * 0.72, r * 0.72);
    p.setBrush(Qt::black);
    p.drawEllipse(c, r * 0.45, r * 0.45);
    p.setBrush(QColor(0, 128, 128));
    p.drawEllipse(c, r * 0.22, r * 0.22);
    p.setBrush(Qt::white);
    p.drawEllipse(c + QPointF(-r * 0.15, -r * 0.15), r * 0.08, r * 0.08);
    p.setBrush(QColor(255, 0, 0));
    p.drawEllipse(c + QPointF(r * 0.62, -r * 0.62), r * 0.16, r * 0.16);
}

// The classic 16-colour palette, so the icon images are 4-bit like the original kind.
QList<QRgb> SixteenColours()
{
    return {qRgb(0, 0, 0), qRgb(128, 0, 0), qRgb(0, 128, 0), qRgb(128, 128, 0),
            qRgb(0, 0, 128), qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
            qRgb(128, 128, 128), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(255, 255, 0),
            qRgb(0, 0, 255), qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255)};
}

// Small sizes keep the original 16 colours; the menu's larger ones keep their smooth edges.
bool SaveIcon(int size, const QString& path, bool sixteenColours = true)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        DrawCamera(p, QRectF(0.5, 0.5, size - 1, size - 1));
    }
    if (!sixteenColours)
        return image.save(path, "PNG");
    // 16 colours plus a transparent entry: the palette PNG keeps the outside see-through.
    QList<QRgb> table = SixteenColours();
    table.append(qRgba(0, 0, 0, 0));
    QImage indexed = image.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither);
    return indexed.save(path, "PNG");
}

void DrawSplash(QImage& image)
{
    QPainter p(&image);
    QLinearGradient sky(0, 0, 0, image.height());
    sky.setColorAt(0, QColor(10, 24, 64));
    sky.setColorAt(1, QColor(2, 6, 20));
    p.fillRect(image.rect(), sky);
    QRadialGradient glow(175, 120, 120);
    glow.setColorAt(0, QColor(40, 90, 160, 150));
    glow.setColorAt(1, QColor(40, 90, 160, 0));
    p.fillRect(image.rect(), glow);
    DrawCamera(p, QRectF(115, 50, 120, 120));
    p.setPen(QColor(235, 240, 255));
    QFont title("DejaVu Sans", 30, QFont::Bold);
    p.setFont(title);
    p.drawText(QRect(0, 185, image.width(), 50), Qt::AlignCenter, "Sentivo");
    QFont line("DejaVu Sans", 11);
    p.setFont(line);
    p.setPen(QColor(170, 190, 230));
    p.drawText(QRect(0, 235, image.width(), 24), Qt::AlignCenter, "Webcam burglar alarm");
    p.drawText(QRect(0, 260, image.width(), 24), Qt::AlignCenter, "Version " SENTIVO_VERSION);
    p.setPen(QColor(90, 110, 160));
    p.setBrush(Qt::NoBrush);
    p.drawRect(image.rect().adjusted(0, 0, -1, -1));
}

bool SaveAttachment(const QString& path)
{
    QImage image(160, 120, QImage::Format_RGB32);
    {
        QPainter p(&image);
        p.fillRect(image.rect(), QColor(230, 236, 245));
        DrawCamera(p, QRectF(50, 12, 60, 60));
        p.setPen(QColor(10, 24, 64));
        p.setFont(QFont("DejaVu Sans", 10, QFont::Bold));
        p.drawText(QRect(0, 78, 160, 20), Qt::AlignCenter, "Sentivo");
        p.setFont(QFont("DejaVu Sans", 7));
        p.drawText(QRect(0, 96, 160, 16), Qt::AlignCenter, "test attachment");
    }
    return image.save(path, "JPEG", 85);
}

}   // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s RES_FOLDER\n", argv[0]);
        return 2;
    }
    const QString res = QString::fromLocal8Bit(argv[1]);
    QImage splash(350, 325, QImage::Format_RGB888);
    DrawSplash(splash);
    // Qt writes a non-indexed image as a 24-bit BI_RGB, bottom-up BMP.
    bool ok = SaveIcon(32, res + "/images/icon128-32.png")
        && SaveIcon(16, res + "/images/icon128-16.png")
        && splash.save(res + "/images/bitmap133.bmp", "BMP")
        && SaveAttachment(res + "/sentivo.jpg");
    for (int size : {48, 64, 128, 256})
        ok = ok && SaveIcon(size, res + QStringLiteral("/images/icon128-%1.png").arg(size), false);
    if (!ok)
        std::fprintf(stderr, "could not write the images\n");
    return ok ? 0 : 1;
}
