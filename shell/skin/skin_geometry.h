// The geometry of skinned windows, apart from any widget: where a position rule puts an edge,
// which zone of a form the mouse is over, how a picture is laid out as a frame of any size,
// and which pixels a colour key cuts away.
#pragma once

#include <QImage>
#include <QMargins>
#include <QRect>
#include <QRegion>
#include <vector>

#include "common/config/config_types.h"

namespace ov::skin {

// Rectangles in the skin's sense: right and bottom are one past the last pixel.
inline QRect ToQRect(const RECT& r) {
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}
inline RECT ToRect(const QRect& r) {
    return RECT{r.left(), r.top(), r.x() + r.width(), r.y() + r.height()};
}

// Places the four edges of a position against the parent rectangle: kinds pstPosLT and
// pstPosRB are offsets from the parent's near and far edge, pstSize measures from the opposite
// edge (left and top after right and bottom are known), pstNone leaves the edge at 0.
RECT CalcRect(const OVPosition& position, const RECT& parent);
QRect CalcRect(const OVPosition& position, const QRect& parent);

// What the mouse is over on a skinned form.
enum class HitZone {
    Client,
    Caption,
    Left,
    Right,
    Top,
    Bottom,
    TopLeft,
    TopRight,
    BottomLeft,
    BottomRight,
};

// The zones of a form as its skin gives them (each unset position places nothing).
struct FormZones {
    OVPosition caption{};
    OVPosition leftTop{}, top{}, rightTop{}, left{}, right{}, leftBottom{}, bottom{}, rightBottom{};
};

// Corners first, then the sides, then the caption; the sizing zones count only while the form
// can be resized (not minimised or maximised). point and the window rectangle are in window
// coordinates.
HitZone HitTest(const FormZones& zones, QPoint point, QSize window, bool resizable);

// The edges a sizing zone moves (none for the caption and the client area).
Qt::Edges EdgesOf(HitZone zone);

// Where a window goes when the edges are dragged by delta from the start geometry, kept
// within the smallest and largest size; the opposite edges stay put.
QRect DragGeometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum, QSize maximum);

// The picture laid out as a frame of the given size: each corner (the margins' widths)
// copied once, each edge tiled between its corners with the last copy cut off, the middle
// tiled from the picture's middle block or filled with background when fillMiddle is false.
// scale is the picture's pixels per logical pixel (1, or 2 for an @2x picture); margins and
// size are logical. Empty margins draw the picture once at the top left over the background.
QImage ComposeFrame(const QImage& picture, const QMargins& margins, QSize size, int scale,
                    bool fillMiddle, QRgb background);

// The kept pixels of a picture as runs: a pixel is cut when each of its three channels lies
// within [key, key + tolerance]. Rows from the top, runs left to right, each a rectangle of
// height 1.
std::vector<QRect> ColorKeyRuns(const QImage& image, QRgb key, int tolerance = 0);
// The same runs united into one region.
QRegion ColorKeyRegion(const QImage& image, QRgb key, int tolerance = 0);

}  // namespace ov::skin
