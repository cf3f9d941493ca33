#include "shell/skin/skin_bitmap.h"

#include <QFileInfo>

COVBitmap::COVBitmap(const QString& path) {
    image_.load(path);
    image_.setDevicePixelRatio(1);
    if (image_.isNull())
        return;
    const QString twice = DoublePath(path);
    if (QFileInfo::exists(twice)) {
        double_.load(twice);
        // Qt marks "@2x" files as two pixels per logical pixel; the skin counts plain pixels.
        double_.setDevicePixelRatio(1);
        // A variant of any other size would put the frame's pieces in the wrong places.
        if (double_.size() != image_.size() * 2)
            double_ = QImage();
    }
}

const QImage& COVBitmap::ImageFor(qreal devicePixelRatio, int* scale) const {
    const bool twice = devicePixelRatio >= 1.5 && !double_.isNull();
    if (scale)
        *scale = twice ? 2 : 1;
    return twice ? double_ : image_;
}

QString COVBitmap::DoublePath(const QString& path) {
    const int slash = path.lastIndexOf('/');
    const int dot = path.lastIndexOf('.');
    if (dot <= slash + 1)
        return path + QStringLiteral("@2x");
    return path.left(dot) + QStringLiteral("@2x") + path.mid(dot);
}
