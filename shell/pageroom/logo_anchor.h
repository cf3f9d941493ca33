// LogoAnchor: where the Pageroom logo sits against its browser window - a side and a distance
// on each axis - and where a drop of the logo puts that anchor. Anchoring to the nearer side
// keeps the logo at its distance from that side when the browser window changes size.
//
//   LogoAnchor anchor = LogoAnchorFromSettings(settings);
//   logo->move(PlaceLogo(anchor, logo->size(), bounds));
//   anchor = AnchorForDrop(logo->pos(), logo->size(), bounds);   // after a drag
#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace ov::shell {

enum LogoSide : int { kLogoTop = 1, kLogoLeft = 2, kLogoRight = 3, kLogoBottom = 4 };

struct LogoAnchor {
    int sideX = kLogoRight;  // kLogoLeft or kLogoRight
    int offsetX = 40;
    int sideY = kLogoTop;  // kLogoTop or kLogoBottom
    int offsetY = 0;
    friend bool operator==(const LogoAnchor&, const LogoAnchor&) = default;
};

// The anchor as stored (unknown sides fall back to right and top, negative distances to 0).
LogoAnchor MakeLogoAnchor(int sideX, int offsetX, int sideY, int offsetY);

// The top-left corner of a logo of that size anchored in bounds, moved back inside them.
QPoint PlaceLogo(const LogoAnchor& anchor, QSize logo, const QRect& bounds);

// The anchor of a logo whose top-left corner was dropped at topLeft: the nearer side on each
// axis (ties go to the left and the top), the distance from it never negative.
LogoAnchor AnchorForDrop(QPoint topLeft, QSize logo, const QRect& bounds);

}  // namespace ov::shell
