#include "shell/skin/skin_geometry.h"

#include <QPainter>
#include <algorithm>
#include <climits>

namespace ov::skin {

namespace {

LONG NearOrFar(const OVEdgePosition& edge, LONG nearEdge, LONG farEdge) {
    switch (edge.nKind) {
        case pstPosLT:
            return nearEdge + edge.nValue;
        case pstPosRB:
            return farEdge - edge.nValue;
        default:
            return 0;
    }
}

bool Contains(const OVPosition& position, QSize window, QPoint point) {
    const RECT r = CalcRect(position, RECT{0, 0, window.width(), window.height()});
    return point.x() >= r.left && point.x() < r.right && point.y() >= r.top && point.y() < r.bottom;
}

// Tiles source (in picture pixels) over target (in image pixels), cutting the last copies.
void Tile(QPainter& p, const QImage& picture, const QRect& source, const QRect& target) {
    if (source.isEmpty() || target.isEmpty())
        return;
    p.save();
    p.setClipRect(target);
    for (int y = target.top(); y < target.y() + target.height(); y += source.height())
        for (int x = target.left(); x < target.x() + target.width(); x += source.width())
            p.drawImage(QPoint(x, y), picture, source);
    p.restore();
}

}  // namespace

RECT CalcRect(const OVPosition& position, const RECT& parent) {
    RECT r{};
    r.left = NearOrFar(position.left, parent.left, parent.right);
    r.top = NearOrFar(position.top, parent.top, parent.bottom);
    r.right = NearOrFar(position.right, parent.left, parent.right);
    r.bottom = NearOrFar(position.bottom, parent.top, parent.bottom);
    if (position.left.nKind == pstSize)
        r.left = r.right - position.left.nValue;
    if (position.right.nKind == pstSize)
        r.right = r.left + position.right.nValue;
    if (position.top.nKind == pstSize)
        r.top = r.bottom - position.top.nValue;
    if (position.bottom.nKind == pstSize)
        r.bottom = r.top + position.bottom.nValue;
    return r;
}

QRect CalcRect(const OVPosition& position, const QRect& parent) {
    return ToQRect(CalcRect(position, ToRect(parent)));
}

HitZone HitTest(const FormZones& zones, QPoint point, QSize window, bool resizable) {
    if (resizable) {
        const std::pair<const OVPosition*, HitZone> sizing[] = {
            {&zones.leftTop, HitZone::TopLeft},
            {&zones.rightTop, HitZone::TopRight},
            {&zones.leftBottom, HitZone::BottomLeft},
            {&zones.rightBottom, HitZone::BottomRight},
            {&zones.left, HitZone::Left},
            {&zones.right, HitZone::Right},
            {&zones.top, HitZone::Top},
            {&zones.bottom, HitZone::Bottom},
        };
        for (const auto& [position, zone] : sizing)
            if (Contains(*position, window, point))
                return zone;
    }
    if (Contains(zones.caption, window, point))
        return HitZone::Caption;
    return HitZone::Client;
}

Qt::Edges EdgesOf(HitZone zone) {
    switch (zone) {
        case HitZone::Left:
            return Qt::LeftEdge;
        case HitZone::Right:
            return Qt::RightEdge;
        case HitZone::Top:
            return Qt::TopEdge;
        case HitZone::Bottom:
            return Qt::BottomEdge;
        case HitZone::TopLeft:
            return Qt::TopEdge | Qt::LeftEdge;
        case HitZone::TopRight:
            return Qt::TopEdge | Qt::RightEdge;
        case HitZone::BottomLeft:
            return Qt::BottomEdge | Qt::LeftEdge;
        case HitZone::BottomRight:
            return Qt::BottomEdge | Qt::RightEdge;
        default:
            return {};
    }
}

QRect DragGeometry(const QRect& start, Qt::Edges edges, QPoint delta, QSize minimum,
                   QSize maximum) {
    if (!edges)
        return start.translated(delta);
    int left = start.left(), top = start.top();
    int right = start.x() + start.width(), bottom = start.y() + start.height();
    const int minW = std::max(minimum.width(), 1), minH = std::max(minimum.height(), 1);
    const int maxW = maximum.width() > 0 ? std::max(maximum.width(), minW) : INT_MAX / 4;
    const int maxH = maximum.height() > 0 ? std::max(maximum.height(), minH) : INT_MAX / 4;
    if (edges & Qt::LeftEdge)
        left = std::clamp(left + delta.x(), right - maxW, right - minW);
    if (edges & Qt::RightEdge)
        right = std::clamp(right + delta.x(), left + minW, left + maxW);
    if (edges & Qt::TopEdge)
        top = std::clamp(top + delta.y(), bottom - maxH, bottom - minH);
    if (edges & Qt::BottomEdge)
        bottom = std::clamp(bottom + delta.y(), top + minH, top + maxH);
    return QRect(left, top, right - left, bottom - top);
}

QImage ComposeFrame(const QImage& picture, const QMargins& margins, QSize size, int scale,
                    bool fillMiddle, QRgb background) {
    scale = std::max(scale, 1);
    QImage out(size * scale, QImage::Format_RGB32);
    out.fill(background);
    if (picture.isNull() || out.isNull())
        return out;
    QPainter p(&out);
    QImage src = picture.convertToFormat(QImage::Format_RGB32);
    src.setDevicePixelRatio(1);  // pieces are cut and placed in the picture's own pixels
    if (margins.isNull()) {
        p.drawImage(QPoint(0, 0), src);
        return out;
    }
    const int l = margins.left() * scale, t = margins.top() * scale;
    const int r = margins.right() * scale, b = margins.bottom() * scale;
    const int sw = src.width(), sh = src.height();
    const int w = out.width(), h = out.height();
    const int smw = sw - l - r, smh = sh - t - b;  // the picture's middle block
    const int mw = w - l - r, mh = h - t - b;      // the window's
    if (fillMiddle)
        Tile(p, src, QRect(l, t, smw, smh), QRect(l, t, mw, mh));
    Tile(p, src, QRect(l, 0, smw, t), QRect(l, 0, mw, t));           // top
    Tile(p, src, QRect(l, sh - b, smw, b), QRect(l, h - b, mw, b));  // bottom
    Tile(p, src, QRect(0, t, l, smh), QRect(0, t, l, mh));           // left
    Tile(p, src, QRect(sw - r, t, r, smh), QRect(w - r, t, r, mh));  // right
    // Corners last, each once and unscaled: on a window smaller than the corners together,
    // the right and bottom ones win.
    p.drawImage(QPoint(0, 0), src, QRect(0, 0, l, t));
    p.drawImage(QPoint(w - r, 0), src, QRect(sw - r, 0, r, t));
    p.drawImage(QPoint(0, h - b), src, QRect(0, sh - b, l, b));
    p.drawImage(QPoint(w - r, h - b), src, QRect(sw - r, sh - b, r, b));
    return out;
}

std::vector<QRect> ColorKeyRuns(const QImage& image, QRgb key, int tolerance) {
    std::vector<QRect> runs;
    if (image.isNull())
        return runs;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    const auto cut = [&](QRgb c) {
        const auto within = [&](int v, int k) { return v >= k && v <= k + tolerance; };
        return within(qRed(c), qRed(key)) && within(qGreen(c), qGreen(key)) &&
               within(qBlue(c), qBlue(key));
    };
    for (int y = 0; y < img.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        int x = 0;
        while (x < img.width()) {
            while (x < img.width() && cut(row[x]))
                ++x;
            const int start = x;
            while (x < img.width() && !cut(row[x]))
                ++x;
            if (x > start)
                runs.emplace_back(start, y, x - start, 1);
        }
    }
    return runs;
}

QRegion ColorKeyRegion(const QImage& image, QRgb key, int tolerance) {
    // Runs are united a few thousand at a time: one region built from a large batch is much
    // cheaper than a union per run.
    constexpr size_t kBatch = 2000;
    const std::vector<QRect> runs = ColorKeyRuns(image, key, tolerance);
    QRegion region;
    for (size_t i = 0; i < runs.size(); i += kBatch) {
        const size_t n = std::min(kBatch, runs.size() - i);
        QRegion part;
        part.setRects(runs.data() + i, static_cast<int>(n));
        region += part;
    }
    return region;
}

}  // namespace ov::skin
