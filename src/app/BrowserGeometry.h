#pragma once

#include <QRectF>
#include <QSizeF>

// Where the parts of a browser cell go. The cell's layout is defined with the origin at its
// bottom-left corner and y growing upwards; these functions take and answer rectangles in the
// view's coordinates (y growing downwards), converting on the way.
namespace BrowserGeometry {

enum class Badge { Gloss, Info, Excluded, Ticked, Unticked, Ingested };

// Cells are square: 400 points at zoom 1.0, the largest the zoom slider offers (0.1 to 1.0).
constexpr double kSmallestZoom = 0.1;
constexpr double kLargestZoom = 1.0;
constexpr int kLargestCellSide = 400;
// The side of a cell at a zoom (bounded to the zoom range).
int cellSide(double zoom);
// The longest side at which a picture is drawn in a cell of that side (the container inset by
// 8 points, so 384 in the largest cell).
int pictureSide(int cellSide);

// A rectangle given in the cell's own bottom-up coordinates, placed in view coordinates.
QRectF fromCell(const QRectF &cell, const QRectF &bottomUp);

// The cell minus the 15-point title strip at its bottom.
QRectF imageContainerFrame(const QRectF &cell);
// Where a picture of `picture` pixels is drawn: fitted into the container inset by 8 points,
// centred across when the container is wider, else hanging from the container's top; snapped
// to whole points. Empty for an empty picture or container.
QRectF imageFrame(const QRectF &cell, const QSizeF &picture);
// The title strip: 3 points above the cell's bottom, at least 7 points in from its left edge.
QRectF titleFrame(const QRectF &cell, const QRectF &platformTitle);
QRectF titleFrame(const QRectF &cell);
QRectF selectionFrame(const QRectF &cell);
QRectF badgeRect(const QRectF &cell, Badge badge);
// The click zones of the tick badge (top-left corner) and the info badge (above the title).
QRectF tickZone(const QRectF &cell);
QRectF infoZone(const QRectF &cell);

} // namespace BrowserGeometry
