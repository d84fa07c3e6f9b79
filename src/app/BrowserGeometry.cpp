#include "app/BrowserGeometry.h"

#include <cmath>

namespace BrowserGeometry {

int cellSide(double zoom)
{
    return int(kLargestCellSide * qBound(kSmallestZoom, zoom, kLargestZoom));
}

int pictureSide(int cellSide)
{
    // The container is the cell less 16 across and less 15 + 16 down: the width is the longer.
    return qMax(0, cellSide - 16);
}

QRectF fromCell(const QRectF &cell, const QRectF &r)
{
    return QRectF(cell.x() + r.x(), cell.y() + cell.height() - r.y() - r.height(), r.width(),
                  r.height());
}

QRectF imageContainerFrame(const QRectF &cell)
{
    return fromCell(cell, QRectF(0, 15, cell.width(), cell.height() - 15));
}

QRectF imageFrame(const QRectF &cell, const QSizeF &picture)
{
    if (picture.width() <= 0 || picture.height() <= 0)
        return QRectF();
    const float aspect = float(picture.width()) / float(picture.height());
    // The container in bottom-up cell coordinates, inset by 8 on every side.
    const float cx = 8, cy = 15 + 8;
    const float cw = float(cell.width()) - 16, ch = float(cell.height()) - 15 - 16;
    if (ch <= 0 || cw <= 0)
        return QRectF();
    float x, y, w, h;
    if (cw / ch > aspect) {
        h = ch;
        w = aspect * ch;
        x = cx + (cw - w) / 2;
        y = cy;
    } else {
        w = cw;
        h = cw / aspect;
        x = cx;
        y = cy + ch - h;
    }
    return fromCell(cell, QRectF(std::floor(x), std::floor(y), std::ceil(w), std::ceil(h)));
}

QRectF titleFrame(const QRectF &cell, const QRectF &platformTitle)
{
    // platformTitle is in bottom-up cell coordinates.
    QRectF r = platformTitle;
    r.moveTop(3);
    const qreal margin = r.x() - 7;
    if (margin < 0)
        r.adjust(-margin, 0, margin, 0);
    return fromCell(cell, r);
}

QRectF titleFrame(const QRectF &cell)
{
    return titleFrame(cell, QRectF(0, 0, cell.width(), 12));
}

QRectF selectionFrame(const QRectF &cell)
{
    return cell.adjusted(-5, -5, 5, 5);
}

QRectF badgeRect(const QRectF &cell, Badge badge)
{
    const qreal w = cell.width(), h = cell.height();
    switch (badge) {
    case Badge::Gloss:
        return imageContainerFrame(cell);
    case Badge::Info:
        return fromCell(cell, QRectF(0, 20, 20, 20));
    case Badge::Excluded:
    case Badge::Ticked:
    case Badge::Unticked:
        return fromCell(cell, QRectF(0, h - 17, 20, 20));
    case Badge::Ingested:
        return fromCell(cell, QRectF(w - 17, h - 17, 20, 20));
    }
    return QRectF();
}

QRectF tickZone(const QRectF &cell)
{
    return fromCell(cell, QRectF(0, cell.height() - 20, 20, 20));
}

QRectF infoZone(const QRectF &cell)
{
    return fromCell(cell, QRectF(0, 20, 20, 20));
}

} // namespace BrowserGeometry
