// Draws the program's icon (a function card with its edge connector on a rail, and a lamp
// that shows the card answering) as square PNGs of the sizes given.
// Usage: morvelplint-iconmaker <output folder> <size>...
// Writes <output folder>/<size>x<size>/apps/morvelplint.png for every size.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <cstdlib>

namespace {

QImage DrawIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // Drawn on a 256 grid; small sizes lose the fine lines but keep the shapes.
    p.scale(size / 256.0, size / 256.0);
    const qreal line = size < 32 ? 10 : 5;

    // Background tile.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(44, 52, 64));
    p.drawRoundedRect(QRectF(8, 8, 240, 240), 40, 40);

    // Rails and sleepers at the bottom.
    p.setBrush(QColor(150, 112, 72));
    for (int x = 28; x < 232; x += 34)
        p.drawRect(QRectF(x, 196, 16, 36));
    p.setBrush(QColor(190, 190, 200));
    p.drawRect(QRectF(16, 202, 224, 8));
    p.drawRect(QRectF(16, 220, 224, 8));

    // The function card.
    p.setPen(QPen(QColor(16, 60, 32), line));
    p.setBrush(QColor(34, 132, 68));
    p.drawRoundedRect(QRectF(44, 36, 168, 132), 10, 10);
    // Edge connector fingers.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(222, 178, 64));
    for (int x = 60; x < 200; x += 20)
        p.drawRect(QRectF(x, 162, 12, 24));
    // Chips.
    p.setBrush(QColor(24, 24, 28));
    p.drawRect(QRectF(68, 64, 56, 32));
    p.drawRect(QRectF(68, 112, 56, 28));
    // Traces.
    p.setPen(QPen(QColor(180, 220, 150), line));
    p.setBrush(Qt::NoBrush);
    QPainterPath traces;
    traces.moveTo(96, 96);
    traces.lineTo(96, 112);
    traces.moveTo(124, 80);
    traces.lineTo(156, 80);
    traces.lineTo(156, 150);
    p.drawPath(traces);

    // The lamp: the card answers.
    QRadialGradient glow(QPointF(170, 80), 30);
    glow.setColorAt(0, QColor(255, 250, 200));
    glow.setColorAt(0.5, QColor(250, 80, 60));
    glow.setColorAt(1, QColor(150, 20, 20));
    p.setPen(QPen(QColor(60, 10, 10), line));
    p.setBrush(glow);
    p.drawEllipse(QPointF(170, 80), 24, 24);
    return image;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <output folder> <size>...\n", argv[0]);
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size < 8 || size > 1024) {
            std::fprintf(stderr, "%s: not a size: %s\n", argv[0], argv[i]);
            return 2;
        }
        const QString folder = QString("%1/%2x%2/apps").arg(argv[1]).arg(size);
        if (!QDir().mkpath(folder) || !DrawIcon(size).save(folder + "/morvelplint.png", "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(folder));
            return 1;
        }
    }
    return 0;
}
