#include "shell/pageroom/logo_anchor.h"

#include <algorithm>

namespace ov::shell {

LogoAnchor MakeLogoAnchor(int sideX, int offsetX, int sideY, int offsetY) {
    LogoAnchor a;
    a.sideX = sideX == kLogoLeft ? kLogoLeft : kLogoRight;
    a.sideY = sideY == kLogoBottom ? kLogoBottom : kLogoTop;
    a.offsetX = std::max(offsetX, 0);
    a.offsetY = std::max(offsetY, 0);
    return a;
}

QPoint PlaceLogo(const LogoAnchor& anchor, QSize logo, const QRect& bounds) {
    // QRect's right() and bottom() are one short of the edge; work with the edges.
    const int left = bounds.x(), right = bounds.x() + bounds.width();
    const int top = bounds.y(), bottom = bounds.y() + bounds.height();
    int x =
        anchor.sideX == kLogoLeft ? left + anchor.offsetX : right - anchor.offsetX - logo.width();
    int y = anchor.sideY == kLogoBottom ? bottom - anchor.offsetY - logo.height()
                                        : top + anchor.offsetY;
    // Back inside; a logo wider than the bounds keeps its left (top) edge in.
    x = std::max(std::min(x, right - logo.width()), left);
    y = std::max(std::min(y, bottom - logo.height()), top);
    return {x, y};
}

LogoAnchor AnchorForDrop(QPoint topLeft, QSize logo, const QRect& bounds) {
    const int fromLeft = topLeft.x() - bounds.x();
    const int fromRight = bounds.x() + bounds.width() - (topLeft.x() + logo.width());
    const int fromTop = topLeft.y() - bounds.y();
    const int fromBottom = bounds.y() + bounds.height() - (topLeft.y() + logo.height());
    LogoAnchor a;
    a.sideX = fromLeft <= fromRight ? kLogoLeft : kLogoRight;
    a.offsetX = std::max(a.sideX == kLogoLeft ? fromLeft : fromRight, 0);
    a.sideY = fromTop <= fromBottom ? kLogoTop : kLogoBottom;
    a.offsetY = std::max(a.sideY == kLogoTop ? fromTop : fromBottom, 0);
    return a;
}

}  // namespace ov::shell
