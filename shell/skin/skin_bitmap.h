// COVBitmap: one picture of a skin, loaded once and shared by every key that names its file.
// Beside "name.bmp" a skin may ship "name@2x.bmp" with twice the pixels; windows on a screen of
// two device pixels per logical pixel draw that one, and all geometry stays in the plain
// picture's pixels.
#pragma once

#include <QImage>
#include <QString>

class COVBitmap {
public:
    // Loads path and, when it exists, its @2x variant; IsNull() when path does not load.
    explicit COVBitmap(const QString& path);

    bool IsNull() const { return image_.isNull(); }
    int Width() const { return image_.width(); }
    int Height() const { return image_.height(); }
    QSize Size() const { return image_.size(); }
    const QImage& Image() const { return image_; }
    // The picture with the most pixels for a device pixel ratio: the @2x one from 1.5 up
    // when the skin has it; *scale receives its pixels per logical pixel.
    const QImage& ImageFor(qreal devicePixelRatio, int* scale) const;
    bool HasDouble() const { return !double_.isNull(); }

    // The name of the @2x variant of path ("a/b.bmp" -> "a/b@2x.bmp").
    static QString DoublePath(const QString& path);

private:
    QImage image_;
    QImage double_;
};
