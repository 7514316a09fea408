#include "app/Pictures.h"

#include <QDirIterator>
#include <QPainter>
#include <QPainterPath>

namespace app {

QIcon ProgramIcon() {
    QIcon icon;
    // <size>x<size>/apps/morvelplint.png, as in the icon theme.
    QDirIterator files(":/icons", {"morvelplint.png"}, QDir::Files, QDirIterator::Subdirectories);
    while (files.hasNext())
        icon.addFile(files.next());
    return icon;
}

namespace {

const QColor Ink(40, 40, 48);
const QColor Paper(250, 250, 244);
const QColor CardGreen(34, 120, 64);
const QColor Brass(214, 170, 60);
const QColor Rail(110, 110, 118);
const QColor LocoRed(170, 36, 36);

QPixmap Canvas(int width, int height, QPainter& painter) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    painter.begin(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    return pixmap;
}

void DrawPrinter(QPainter& p) {
    p.setPen(QPen(Ink, 1.2));
    p.setBrush(Paper);
    p.drawRect(QRectF(7, 3, 10, 7));
    p.setBrush(QColor(150, 150, 160));
    p.drawRoundedRect(QRectF(3, 9, 18, 9), 2, 2);
    p.setBrush(Paper);
    p.drawRect(QRectF(7, 15, 10, 6));
    p.setBrush(CardGreen);
    p.drawEllipse(QPointF(18, 12), 1.2, 1.2);
}

QPixmap DrawIcon(TSpeedIcon which) {
    QPainter p;
    QPixmap pixmap = Canvas(24, 24, p);
    switch (which) {
    case TSpeedIcon::Open:
        p.setPen(QPen(Ink, 1.2));
        p.setBrush(Brass);
        p.drawRect(QRectF(2, 6, 18, 14));
        p.setBrush(Brass.lighter(130));
        p.drawPolygon(
            QPolygonF({QPointF(5, 10), QPointF(22, 10), QPointF(19, 20), QPointF(2, 20)}));
        break;
    case TSpeedIcon::Save:
        p.setPen(QPen(Ink, 1.2));
        p.setBrush(QColor(60, 90, 160));
        p.drawRoundedRect(QRectF(3, 3, 18, 18), 2, 2);
        p.setBrush(Paper);
        p.drawRect(QRectF(7, 3, 10, 7));
        p.setBrush(QColor(200, 200, 210));
        p.drawRect(QRectF(6, 13, 12, 8));
        break;
    case TSpeedIcon::Print:
        DrawPrinter(p);
        break;
    case TSpeedIcon::PrinterSetup:
        DrawPrinter(p);
        p.setPen(QPen(CardGreen, 2));
        p.drawLine(QPointF(14, 22), QPointF(22, 14));
        break;
    case TSpeedIcon::FontSetup: {
        QFont font("Serif");
        font.setPixelSize(19);
        font.setBold(true);
        p.setFont(font);
        p.setPen(Ink);
        p.drawText(QRectF(0, 0, 24, 24), Qt::AlignCenter, "A");
        p.setPen(QPen(LocoRed, 1.5));
        p.drawLine(QPointF(3, 22), QPointF(21, 22));
        break;
    }
    case TSpeedIcon::Monitor: {
        // A screen with a trace of bus words on it.
        p.setPen(QPen(Ink, 1.2));
        p.setBrush(QColor(30, 60, 40));
        p.drawRoundedRect(QRectF(2, 4, 20, 16), 2, 2);
        p.setPen(QPen(QColor(120, 255, 140), 1.4));
        const QPointF trace[] = {{4, 15}, {7, 15}, {7, 8}, {10, 8}, {10, 15}, {13, 15},
                                 {13, 8}, {17, 8}, {17, 15}, {20, 15}};
        p.drawPolyline(trace, 10);
        break;
    }
    case TSpeedIcon::Help: {
        p.setPen(QPen(Ink, 1.2));
        p.setBrush(QColor(255, 236, 120));
        p.drawEllipse(QRectF(2, 2, 20, 20));
        QFont font;
        font.setPixelSize(16);
        font.setBold(true);
        p.setFont(font);
        p.drawText(QRectF(2, 2, 20, 20), Qt::AlignCenter, "?");
        break;
    }
    }
    p.end();
    return pixmap;
}

QPixmap DrawRack() {
    QPainter p;
    QPixmap pixmap = Canvas(240, 150, p);
    p.setPen(QPen(Ink, 2));
    p.setBrush(QColor(200, 200, 206));
    p.drawRoundedRect(QRectF(6, 6, 228, 138), 6, 6);
    p.setBrush(QColor(70, 70, 78));
    p.drawRect(QRectF(16, 16, 208, 118));
    // Cards in their places, each with a gold edge connector and a few lamps.
    for (int i = 0; i < 9; ++i) {
        const double x = 24 + i * 22.5;
        p.setPen(QPen(Ink, 1));
        p.setBrush(CardGreen);
        p.drawRect(QRectF(x, 22, 16, 104));
        p.setBrush(Brass);
        p.drawRect(QRectF(x + 2, 118, 12, 6));
        for (int lamp = 0; lamp < 4; ++lamp) {
            const bool on = ((i + lamp) % 3) == 0;
            p.setBrush(on ? QColor(255, 220, 40) : Paper);
            p.drawEllipse(QPointF(x + 8, 34 + lamp * 12), 3, 3);
        }
    }
    p.end();
    return pixmap;
}

QPixmap DrawLocomotive() {
    QPainter p;
    QPixmap pixmap = Canvas(240, 150, p);
    // Track.
    p.setPen(QPen(QColor(120, 84, 50), 6));
    for (int x = 10; x < 240; x += 20)
        p.drawLine(QPointF(x, 128), QPointF(x + 8, 138));
    p.setPen(QPen(Rail, 3));
    p.drawLine(QPointF(0, 128), QPointF(240, 128));
    // Body, cab and chimney.
    p.setPen(QPen(Ink, 2));
    p.setBrush(LocoRed);
    p.drawRoundedRect(QRectF(40, 62, 120, 44), 8, 8);
    p.drawRect(QRectF(150, 36, 50, 70));
    p.setBrush(QColor(60, 60, 66));
    p.drawRect(QRectF(60, 38, 16, 24));
    p.drawRect(QRectF(144, 30, 62, 8));
    p.setBrush(QColor(180, 220, 240));
    p.drawRect(QRectF(162, 46, 26, 20));
    p.setBrush(Brass);
    p.drawEllipse(QRectF(30, 72, 16, 24));
    // Wheels.
    p.setBrush(QColor(40, 40, 44));
    for (double x : {66.0, 106.0, 146.0, 182.0}) {
        p.drawEllipse(QPointF(x, 112), 14, 14);
        p.setBrush(Brass);
        p.drawEllipse(QPointF(x, 112), 3, 3);
        p.setBrush(QColor(40, 40, 44));
    }
    p.setPen(QPen(Brass, 3));
    p.drawLine(QPointF(66, 112), QPointF(146, 112));
    p.end();
    return pixmap;
}

// A small locomotive for the 32 x 32 pictures, drawn on whole pixels so that it stays sharp
// at its size; it runs to the right.
void DrawSmallLocomotive(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 29, 32, 2), Rail);
    p.setPen(Qt::NoPen);
    p.fillRect(QRect(2, 6, 11, 2), QColor(60, 60, 66));    // cab roof
    p.fillRect(QRect(3, 8, 9, 15), LocoRed);               // cab
    p.fillRect(QRect(5, 10, 5, 4), QColor(180, 220, 240)); // cab window
    p.fillRect(QRect(12, 13, 15, 9), LocoRed);             // boiler
    p.fillRect(QRect(12, 16, 15, 1), Brass);               // boiler band
    p.fillRect(QRect(21, 8, 4, 5), QColor(60, 60, 66));    // chimney
    p.fillRect(QRect(15, 10, 4, 3), Brass);                // dome
    p.fillRect(QRect(3, 22, 25, 2), QColor(60, 60, 66));   // frame
    p.fillRect(QRect(28, 19, 2, 3), QColor(60, 60, 66));   // buffer
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setBrush(QColor(60, 60, 66));
    p.drawPolygon(QPolygonF({QPointF(27, 24), QPointF(31, 29), QPointF(27, 29)}));
    for (const int x : {8, 16, 24}) {
        p.setBrush(QColor(40, 40, 44));
        p.drawEllipse(QPointF(x, 25.5), 3.5, 3.5);
        p.setBrush(Brass);
        p.drawEllipse(QPointF(x, 25.5), 1, 1);
    }
}

} // namespace

QPixmap SplashPicture() {
    QPainter p;
    QPixmap pixmap = Canvas(279, 211, p);
    QLinearGradient sky(0, 0, 0, 150);
    sky.setColorAt(0, QColor(120, 170, 220));
    sky.setColorAt(1, QColor(225, 238, 248));
    p.fillRect(QRect(0, 0, 279, 150), sky);
    p.fillRect(QRect(0, 150, 279, 61), QColor(96, 150, 80));

    // The rack on its table, its cards lit.
    p.setPen(QPen(Ink, 1.5));
    p.setBrush(QColor(200, 200, 206));
    p.drawRoundedRect(QRectF(14.5, 22.5, 118, 92), 5, 5);
    p.setBrush(QColor(70, 70, 78));
    p.drawRect(QRectF(22.5, 30.5, 102, 76));
    for (int i = 0; i < 6; ++i) {
        const double x = 28.5 + i * 16;
        p.setPen(QPen(Ink, 1));
        p.setBrush(CardGreen);
        p.drawRect(QRectF(x, 35.5, 11, 66));
        p.setBrush(Brass);
        p.drawRect(QRectF(x + 1.5, 96.5, 8, 4));
        for (int lamp = 0; lamp < 3; ++lamp) {
            p.setBrush(((i + lamp) % 2) == 0 ? QColor(255, 220, 40) : Paper);
            p.drawEllipse(QPointF(x + 5.5, 45 + lamp * 10), 2.5, 2.5);
        }
    }
    p.setPen(QPen(QColor(120, 84, 50), 3));
    p.drawLine(QPointF(30, 116), QPointF(30, 146));
    p.drawLine(QPointF(118, 116), QPointF(118, 146));

    // A cable from the rack down to the track.
    p.setPen(QPen(QColor(40, 40, 44), 2));
    p.setBrush(Qt::NoBrush);
    QPainterPath cable(QPointF(132, 70));
    cable.cubicTo(QPointF(170, 74), QPointF(150, 150), QPointF(190, 152));
    p.drawPath(cable);

    // Track and locomotive.
    p.setPen(QPen(QColor(120, 84, 50), 4));
    for (int x = 4; x < 279; x += 14)
        p.drawLine(QPointF(x, 158), QPointF(x + 6, 164));
    p.setPen(QPen(Rail, 2.5));
    p.drawLine(QPointF(0, 158), QPointF(279, 158));
    p.save();
    p.translate(166, 71); // the small locomotive's rail (y = 29) on the track
    p.scale(3, 3);
    DrawSmallLocomotive(p);
    p.restore();
    p.end();
    return pixmap;
}

QPixmap AboutPicture() {
    QPainter p;
    QPixmap pixmap = Canvas(109, 77, p);
    // A function card: green board, gold edge connector, lamps, and the system's name.
    p.setPen(QPen(Ink, 1));
    p.setBrush(CardGreen);
    p.drawRoundedRect(QRectF(3.5, 3.5, 102, 58), 4, 4);
    p.setBrush(Brass);
    for (int x = 10; x <= 94; x += 7)
        p.drawRect(QRectF(x + 0.5, 61.5, 4, 11));
    QFont font;
    font.setPixelSize(26);
    font.setBold(true);
    p.setFont(font);
    p.setPen(QColor(255, 236, 120));
    p.drawText(QRectF(3, 6, 103, 34), Qt::AlignCenter, "ZELM");
    p.setPen(QPen(Ink, 1));
    p.setBrush(QColor(40, 40, 44));
    p.drawRect(QRectF(12.5, 42.5, 24, 12));
    const QColor lamps[] = {QColor(255, 255, 0), Paper, QColor(255, 255, 0), QColor(0, 128, 0)};
    for (int i = 0; i < 4; ++i) {
        p.setBrush(lamps[i]);
        p.drawEllipse(QPointF(52 + i * 13, 48.5), 4, 4);
    }
    p.end();
    return pixmap;
}

QPixmap AnimationPicture(int index) {
    QPainter p;
    QPixmap pixmap = Canvas(32, 32, p);
    if (index == 1) {
        p.translate(32, 0);
        p.scale(-1, 1);
    }
    DrawSmallLocomotive(p);
    p.end();
    return pixmap;
}

QIcon SpeedBarIcon(TSpeedIcon which) {
    return QIcon(DrawIcon(which));
}

QPixmap IntroPicture(TIntroPicture which) {
    return which == TIntroPicture::Rack ? DrawRack() : DrawLocomotive();
}

} // namespace app
