// Draws a vertical scroll bar from three skin pictures (see skin_controls.h for their
// layout) and reports the same geometry to Qt, so clicks land where the pictures are.
// Without pictures it leaves everything to the base style.
#pragma once

#include <QProxyStyle>

class COVBitmap;

class OVScrollBarStyle : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int kArrowCells = 6;  // up, down: each normal, under the mouse, pressed

    OVScrollBarStyle();
    void SetPictures(const COVBitmap* arrow, const COVBitmap* thumb, const COVBitmap* track);
    bool HasPictures() const { return arrow_ && thumb_ && track_; }
    int Extent() const;

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;
    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override;
    SubControl hitTestComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                     const QPoint& pos, const QWidget* widget) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget) const override;

private:
    bool Skinned(ComplexControl control, const QStyleOptionComplex* option) const;

    const COVBitmap* arrow_ = nullptr;
    const COVBitmap* thumb_ = nullptr;
    const COVBitmap* track_ = nullptr;
};
