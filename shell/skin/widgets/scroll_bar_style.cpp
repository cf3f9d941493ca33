#include "shell/skin/widgets/scroll_bar_style.h"

#include <QPainter>
#include <QStyleFactory>
#include <QStyleOptionSlider>

#include "shell/skin/skin_bitmap.h"

namespace {

// Draws a source cell of a picture into target, using the finer picture on a fine screen.
void DrawCell(QPainter* p, const COVBitmap* bitmap, const QRect& cell, const QRect& target) {
    int scale = 1;
    const QImage& image = bitmap->ImageFor(p->device()->devicePixelRatioF(), &scale);
    p->drawImage(target, image, QRect(cell.topLeft() * scale, cell.size() * scale));
}

void TileVertically(QPainter* p, const COVBitmap* bitmap, const QRect& cell, const QRect& target) {
    if (cell.height() <= 0 || target.isEmpty())
        return;
    p->save();
    p->setClipRect(target);
    for (int y = target.top(); y < target.y() + target.height(); y += cell.height())
        DrawCell(p, bitmap, cell, QRect(target.x(), y, target.width(), cell.height()));
    p->restore();
}

}  // namespace

// Fusion underneath: the same look on every desktop where the pictures are missing.
OVScrollBarStyle::OVScrollBarStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

void OVScrollBarStyle::SetPictures(const COVBitmap* arrow, const COVBitmap* thumb,
                                   const COVBitmap* track) {
    arrow_ = arrow;
    thumb_ = thumb;
    track_ = track;
}

int OVScrollBarStyle::Extent() const {
    return HasPictures() ? arrow_->Width() / kArrowCells : 0;
}

bool OVScrollBarStyle::Skinned(ComplexControl control, const QStyleOptionComplex* option) const {
    const auto* slider = qstyleoption_cast<const QStyleOptionSlider*>(option);
    return control == CC_ScrollBar && HasPictures() && Extent() > 0 && slider &&
           slider->orientation == Qt::Vertical;
}

int OVScrollBarStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                                  const QWidget* widget) const {
    if (metric == PM_ScrollBarExtent && HasPictures() && Extent() > 0)
        return Extent();
    return QProxyStyle::pixelMetric(metric, option, widget);
}

QRect OVScrollBarStyle::subControlRect(ComplexControl control, const QStyleOptionComplex* option,
                                       SubControl sub, const QWidget* widget) const {
    if (!Skinned(control, option))
        return QProxyStyle::subControlRect(control, option, sub, widget);
    const auto* s = qstyleoption_cast<const QStyleOptionSlider*>(option);
    const QRect r = s->rect;
    const int w = r.width();
    const int arrow = std::min(w, r.height() / 2);
    const QRect groove(r.x(), r.y() + arrow, w, std::max(0, r.height() - 2 * arrow));
    const int range = s->maximum - s->minimum;
    int length = groove.height();
    if (range > 0)
        length = std::max(w, static_cast<int>(static_cast<qint64>(groove.height()) * s->pageStep /
                                              (range + s->pageStep)));
    length = std::min(length, groove.height());
    const int pos = groove.y() + sliderPositionFromValue(s->minimum, s->maximum, s->sliderPosition,
                                                         groove.height() - length, s->upsideDown);
    switch (sub) {
        case SC_ScrollBarSubLine:
            return QRect(r.x(), r.y(), w, arrow);
        case SC_ScrollBarAddLine:
            return QRect(r.x(), r.y() + r.height() - arrow, w, arrow);
        case SC_ScrollBarGroove:
            return groove;
        case SC_ScrollBarSlider:
            return QRect(r.x(), pos, w, length);
        case SC_ScrollBarSubPage:
            return QRect(r.x(), groove.y(), w, pos - groove.y());
        case SC_ScrollBarAddPage:
            return QRect(r.x(), pos + length, w, groove.y() + groove.height() - pos - length);
        default:
            return QRect();
    }
}

QStyle::SubControl OVScrollBarStyle::hitTestComplexControl(ComplexControl control,
                                                           const QStyleOptionComplex* option,
                                                           const QPoint& pos,
                                                           const QWidget* widget) const {
    if (!Skinned(control, option))
        return QProxyStyle::hitTestComplexControl(control, option, pos, widget);
    for (SubControl sub : {SC_ScrollBarSubLine, SC_ScrollBarAddLine, SC_ScrollBarSlider,
                           SC_ScrollBarSubPage, SC_ScrollBarAddPage})
        if (subControlRect(control, option, sub, widget).contains(pos))
            return sub;
    return SC_None;
}

void OVScrollBarStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                          QPainter* painter, const QWidget* widget) const {
    if (!Skinned(control, option))
        return QProxyStyle::drawComplexControl(control, option, painter, widget);
    const int w = Extent();
    const int trackW = track_->Width(), trackH = track_->Height();
    TileVertically(painter, track_, QRect(0, 0, trackW, trackH),
                   subControlRect(control, option, SC_ScrollBarGroove, widget));
    const auto state = [&](SubControl sub) {
        if (option->activeSubControls & sub)
            return (option->state & State_Sunken) ? 2 : 1;
        return 0;
    };
    const int cellH = arrow_->Height();
    DrawCell(painter, arrow_, QRect(state(SC_ScrollBarSubLine) * w, 0, w, cellH),
             subControlRect(control, option, SC_ScrollBarSubLine, widget));
    DrawCell(painter, arrow_, QRect((3 + state(SC_ScrollBarAddLine)) * w, 0, w, cellH),
             subControlRect(control, option, SC_ScrollBarAddLine, widget));
    const auto* s = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (s->maximum <= s->minimum)
        return;
    const QRect thumb = subControlRect(control, option, SC_ScrollBarSlider, widget);
    const int cap = thumb_->Height() / 3;
    const int tw = thumb_->Width();
    DrawCell(painter, thumb_, QRect(0, 0, tw, cap),
             QRect(thumb.x(), thumb.y(), thumb.width(), cap));
    TileVertically(painter, thumb_, QRect(0, cap, tw, cap),
                   QRect(thumb.x(), thumb.y() + cap, thumb.width(), thumb.height() - 2 * cap));
    DrawCell(painter, thumb_, QRect(0, thumb_->Height() - cap, tw, cap),
             QRect(thumb.x(), thumb.y() + thumb.height() - cap, thumb.width(), cap));
}
