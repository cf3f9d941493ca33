#include "shell/skin/widgets/caption_button.h"

#include <QPainter>

#include "shell/skin/skin_bitmap.h"

namespace {

constexpr QSize kDefaultCell(28, 22);

}  // namespace

OVCaptionButton::OVCaptionButton(Glyph glyph, QWidget* parent)
    : QAbstractButton(parent), glyph_(glyph) {
    setFocusPolicy(Qt::NoFocus);
    SetGlyph(glyph);
}

void OVCaptionButton::SetGlyph(Glyph glyph) {
    glyph_ = glyph;
    static const char* const kTips[GlyphCount] = {"最小化", "最大化", "还原", "关闭", "帮助"};
    const QString tip = QString::fromUtf8(kTips[glyph]);
    setToolTip(tip);
    setAccessibleName(tip);
    update();
}

void OVCaptionButton::SetPicture(const COVBitmap* picture) {
    picture_ = picture;
    resize(CellSize());
    update();
}

QSize OVCaptionButton::CellSize() const {
    if (!picture_ || picture_->Width() < GlyphCount || picture_->Height() < kStates)
        return kDefaultCell;
    return QSize(picture_->Width() / GlyphCount, picture_->Height() / kStates);
}

void OVCaptionButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void OVCaptionButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void OVCaptionButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int state = isDown() ? 2 : hovered_ ? 1 : 0;
    if (picture_ && picture_->Width() >= GlyphCount && picture_->Height() >= kStates) {
        int scale = 1;
        const QImage& image = picture_->ImageFor(devicePixelRatioF(), &scale);
        const QSize cell = CellSize() * scale;
        const QRect source(QPoint(glyph_ * cell.width(), state * cell.height()), cell);
        p.drawImage(QRect(QPoint(0, 0), CellSize()), image, source);
        return;
    }
    // Without a skin: a plain, readable button.
    p.setRenderHint(QPainter::Antialiasing);
    if (state > 0)
        p.fillRect(rect(), state == 2 ? QColor(0, 0, 0, 60) : QColor(0, 0, 0, 30));
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    const QRectF g = QRectF(rect()).adjusted(width() / 2.0 - 5, height() / 2.0 - 5,
                                             -(width() / 2.0 - 5), -(height() / 2.0 - 5));
    switch (glyph_) {
        case GlyphMinimize:
            p.drawLine(g.bottomLeft(), g.bottomRight());
            break;
        case GlyphMaximize:
        case GlyphRestore:
            p.drawRect(g);
            break;
        case GlyphClose:
            p.drawLine(g.topLeft(), g.bottomRight());
            p.drawLine(g.topRight(), g.bottomLeft());
            break;
        default:
            p.drawText(rect(), Qt::AlignCenter, QStringLiteral("?"));
    }
}
