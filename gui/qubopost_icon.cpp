#include "gui/qubopost_icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPen>

namespace qubopost::gui {

namespace {

// Colours: ai (indigo) for the tile, washi paper for the envelope, shu (vermilion) for
// the seal.
const QColor kIndigoLight(0x3a, 0x64, 0x9e);
const QColor kIndigoDark(0x1c, 0x35, 0x5e);
const QColor kPaper(0xfb, 0xf8, 0xef);
const QColor kPaperEdge(0xb9, 0xae, 0x96);
const QColor kFold(0xcf, 0xc5, 0xad);
const QColor kSeal(0xd6, 0x2a, 0x2a);

// Seigaiha, the blue-ocean-wave pattern: rows of concentric half circles along the
// bottom of the tile. Only where there are pixels enough to show it.
void PaintWaves(QPainter& p, const QRectF& tile) {
    p.save();
    QPainterPath clip;
    clip.addRoundedRect(tile, 6, 6);
    p.setClipPath(clip);
    p.setBrush(Qt::NoBrush);
    QPen pen(QColor(255, 255, 255, 46), 0.55);
    p.setPen(pen);
    const double radii[] = {6.0, 4.3, 2.6};
    for (int row = 0; row < 2; ++row) {
        const double cy = 33.0 - row * 3.2;
        const double offset = row % 2 ? 4.0 : 0.0;
        for (double cx = -offset; cx <= 36.0; cx += 8.0) {
            for (double r : radii) {
                p.drawEllipse(QPointF(cx, cy), r, r);
            }
        }
    }
    p.restore();
}

// The postal mark 〒: two bars and a stem, drawn as strokes so that no font is needed.
void PaintPostalMark(QPainter& p, const QPointF& centre, double radius, double width) {
    QPen pen(Qt::white, width, Qt::SolidLine, Qt::FlatCap);
    p.setPen(pen);
    const double half = radius * 0.52;
    const double top = centre.y() - radius * 0.50;
    const double middle = centre.y() - radius * 0.12;
    const double bottom = centre.y() + radius * 0.62;
    p.drawLine(QPointF(centre.x() - half, top), QPointF(centre.x() + half, top));
    p.drawLine(QPointF(centre.x() - half, middle), QPointF(centre.x() + half, middle));
    p.drawLine(QPointF(centre.x(), middle), QPointF(centre.x(), bottom));
}

}  // namespace

QImage RenderQubopostIcon(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    if (size <= 0) return image;

    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    // All drawing below is on a 32 × 32 grid.
    p.scale(size / 32.0, size / 32.0);
    const bool small = size < 24;
    const bool detailed = size >= 32;

    // The tile.
    const QRectF tile = small ? QRectF(0.5, 0.5, 31, 31) : QRectF(1, 1, 30, 30);
    QLinearGradient sky(0, 0, 0, 32);
    sky.setColorAt(0, kIndigoLight);
    sky.setColorAt(1, kIndigoDark);
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(tile, 6, 6);
    if (size >= 48) PaintWaves(p, tile);

    // The envelope, with its flap and, when there is room, the side folds.
    const QRectF envelope = small ? QRectF(3.5, 8, 25, 16.5) : QRectF(5, 8.5, 22, 15.5);
    p.setBrush(kPaper);
    p.setPen(detailed ? QPen(kPaperEdge, 0.6) : Qt::NoPen);
    p.drawRect(envelope);
    const QPointF apex(envelope.center().x(), envelope.top() + envelope.height() * 0.58);
    if (detailed) {
        p.setPen(QPen(kFold, 0.8));
        p.drawLine(envelope.bottomLeft(), QPointF(apex.x() - 3.2, apex.y() - 1.8));
        p.drawLine(envelope.bottomRight(), QPointF(apex.x() + 3.2, apex.y() - 1.8));
    }
    QPen flap(kPaperEdge, small ? 1.7 : 1.1);
    flap.setJoinStyle(Qt::MiterJoin);
    p.setPen(flap);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF(
        {envelope.topLeft() + QPointF(0.3, 0.3), apex, envelope.topRight() + QPointF(-0.3, 0.3)}));

    // The vermilion seal over the lower right corner, ringed in white to stand off the paper.
    const QPointF centre = small ? QPointF(24, 23.5) : QPointF(24.2, 23.4);
    const double radius = small ? 6.5 : 6.6;
    p.setPen(QPen(Qt::white, small ? 1.2 : 1.0));
    p.setBrush(kSeal);
    p.drawEllipse(centre, radius, radius);
    if (!small) PaintPostalMark(p, centre, radius, detailed ? 1.35 : 1.6);
    p.end();
    return image;
}

QIcon QubopostIcon() {
    QIcon icon;
    for (int size : {16, 20, 22, 24, 32, 40, 48, 64, 96, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(RenderQubopostIcon(size)));
    }
    return icon;
}

}  // namespace qubopost::gui
