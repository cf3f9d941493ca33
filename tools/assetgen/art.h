// The pictures of a skin, drawn with QPainter from a palette: every bitmap at its plain size
// and at twice that size (name@2x.bmp), every icon at 16, 32, 48 and 64 pixels. Nothing
// here draws text, so the output is the same on every machine whatever fonts it has.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <functional>
#include <vector>

namespace ov::assets {

struct Palette {
    QColor accent, accentDark, accentLight;
    QColor captionTop, captionBottom;
    QColor body, panel, border, line, selection;
    QColor text, muted, captionText;
    QColor success, warning, danger, grey;
    QColor key{255, 0, 255};
};

Palette LightPalette();  // the default skin, "orvane"
Palette SlatePalette();  // the second skin, "slate"

// A picture painted in logical units at a scale (1 or 2).
using Painting = std::function<void(class QPainter&, QSize)>;

// Paints at 1x and 2x and saves both as 24-bit BMP (dir/name and dir/name@2x). With keyed,
// what the painting left transparent becomes the key colour, and the fine picture is cut
// exactly where the plain one is, so one shape fits both.
bool SaveBitmap(const QString& dir, const QString& name, QSize size, const Painting& paint,
                const Palette& palette, bool keyed = false);
// An icon file with the four sizes, painted on a 16-unit grid.
bool SaveIcon(const QString& path, const Painting& paint);

// Everything a skin folder holds, pictures and icons, into dir.
bool WriteSkinPictures(const QString& dir, const Palette& palette);
// The program's own icon (the tray while nobody is logged in, the windows' icon).
bool WriteProgramIcon(const QString& path);
// Face icons and face/close.ico into dir (the program's face folder).
bool WriteFaces(const QString& dir);

// Frames of the wizards' waiting animations (64 x 64).
std::vector<QImage> RegisterMovieFrames(const Palette& palette);
std::vector<QImage> SearchMovieFrames(const Palette& palette);
std::vector<QRgb> MoviePalette(const Palette& palette);

}  // namespace ov::assets
