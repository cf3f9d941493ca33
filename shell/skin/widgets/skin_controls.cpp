#include "shell/skin/widgets/skin_controls.h"

#include <QEvent>
#include <QPainter>
#include <QScrollBar>

#include "shell/skin/skin_bitmap.h"
#include "shell/skin/skin_geometry.h"
#include "shell/skin/skin_paint.h"
#include "shell/skin/widgets/scroll_bar_style.h"

namespace {

// Follows the parent's size changes for a control, whatever kind of widget the parent is.
class ParentResizeWatcher : public QObject {
public:
    ParentResizeWatcher(QWidget* control, OVSkinControl* skinControl)
        : QObject(control), control_(control), skinControl_(skinControl) {
        if (QWidget* parent = control->parentWidget())
            parent->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && watched == control_->parentWidget())
            skinControl_->PlaceIn(control_->parentWidget()->rect());
        return false;
    }

private:
    QWidget* control_;
    OVSkinControl* skinControl_;
};

QColor ColorOr(const OVSkinItem& item, const char* key, const QColor& fallback) {
    COLORREF c = 0;
    return item.GetColor(key, &c) ? ov::skin::ToQColor(c) : fallback;
}

// The picture with the key colour made transparent, for 1x and 2x.
QImage CutKey(const QImage& image, QRgb key) {
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x)
            if ((row[x] & 0xFFFFFF) == (key & 0xFFFFFF))
                row[x] = 0;
    }
    return out;
}

}  // namespace

// ---- OVSkinControl ----

OVSkinControl::OVSkinControl(std::string classSection, QWidget* widget)
    : OVSkinItem(std::move(classSection)), widget_(widget) {
    new ParentResizeWatcher(widget, this);
}

void OVSkinControl::PlaceIn(const QRect& parent) {
    widget_->setGeometry(ov::skin::CalcRect(posWindow_, QRect(QPoint(0, 0), parent.size())));
}

void OVSkinControl::OnApply() {
    // The owner names the control for people; until it does, the skin name stands in, so
    // that a screen reader and a test always find it.
    if (widget_->accessibleName().isEmpty() && !SecondName().empty())
        widget_->setAccessibleName(QString::fromStdString(SecondName()));
    posWindow_ = {};
    GetPosition("posWindow", &posWindow_);
    ApplyControl();
    if (QWidget* parent = widget_->parentWidget())
        PlaceIn(parent->rect());
    widget_->update();
}

void OVSkinControl::OnRelease() {
    ReleaseControl();
    widget_->update();
}

// ---- OVSkinTextStyle ----

void OVSkinTextStyle::Read(const OVSkinItem& item) {
    *this = OVSkinTextStyle();
    LOGFONT lf{};
    hasFont = item.GetFont("fontText", &lf);
    if (hasFont)
        font = ov::skin::ToQFont(lf);
    text = ColorOr(item, "clrEnabledText", QColor(0x1F, 0x29, 0x33));
    background = ColorOr(item, "clrEnabledBackground", Qt::white);
    highlightText = ColorOr(item, "clrHighlightText", Qt::white);
    highlightBackground = ColorOr(item, "clrHighlightBackground", QColor(0x2F, 0x80, 0xED));
    disabledText = ColorOr(item, "clrDisabledText", QColor(0x9A, 0xA5, 0xB1));
    disabledBackground = ColorOr(item, "clrDisabledBackground", QColor(0xEE, 0xF1, 0xF4));
    item.GetBool("bHasBorder", &hasBorder);
    borderHighlight = ColorOr(item, "clrEnabledBorderHighlight", QColor(0x2F, 0x80, 0xED));
    borderDark = ColorOr(item, "clrEnabledBorderDark", QColor(0xC5, 0xCD, 0xD8));
    disabledBorderHighlight = ColorOr(item, "clrDisabledBorderHighlight", QColor(0xD9, 0xDE, 0xE5));
    disabledBorderDark = ColorOr(item, "clrDisabledBorderDark", QColor(0xD9, 0xDE, 0xE5));
}

void OVSkinTextStyle::ApplyTo(QWidget* widget) const {
    QPalette pal = widget->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        pal.setColor(group, QPalette::Text, text);
        pal.setColor(group, QPalette::Base, background);
        pal.setColor(group, QPalette::Window, background);
        pal.setColor(group, QPalette::HighlightedText, highlightText);
        pal.setColor(group, QPalette::Highlight, highlightBackground);
    }
    pal.setColor(QPalette::Disabled, QPalette::Text, disabledText);
    pal.setColor(QPalette::Disabled, QPalette::Base, disabledBackground);
    pal.setColor(QPalette::Disabled, QPalette::Window, disabledBackground);
    widget->setPalette(pal);
    if (hasFont)
        widget->setFont(font);
}

void OVSkinTextStyle::PaintBorder(QWidget* widget, bool focused) const {
    if (!hasBorder)
        return;
    QPainter p(widget);
    const bool enabled = widget->isEnabled();
    const QColor color = enabled ? (focused ? borderHighlight : borderDark)
                                 : (focused ? disabledBorderHighlight : disabledBorderDark);
    p.setPen(color);
    p.drawRect(QRect(QPoint(0, 0), widget->size()).adjusted(0, 0, -1, -1));
}

// ---- OVSkinBitmap ----

OVSkinBitmap::OVSkinBitmap(QWidget* parent) : QWidget(parent), OVSkinControl("Bitmap", this) {}

void OVSkinBitmap::SetPicture(const COVBitmap* picture) {
    picture_ = picture;
    update();
}

void OVSkinBitmap::ApplyControl() {
    picture_ = GetBitmap("sBitmap");
}

void OVSkinBitmap::ReleaseControl() {
    picture_ = nullptr;
}

void OVSkinBitmap::paintEvent(QPaintEvent*) {
    if (!picture_)
        return;
    QPainter p(this);
    int scale = 1;
    const QImage& image = picture_->ImageFor(devicePixelRatioF(), &scale);
    p.drawImage(QRect(QPoint(0, 0), picture_->Size()), image);
}

// ---- OVSkinBitmapButton ----

OVSkinBitmapButton::OVSkinBitmapButton(QWidget* parent)
    : QAbstractButton(parent), OVSkinControl("BitmapButton", this) {
    setFocusPolicy(Qt::TabFocus);
}

void OVSkinBitmapButton::ApplyControl() {
    picture_ = GetBitmap("sBitmap");
    transparent_ = false;
    GetBool("bBitmapTransparent", &transparent_);
    COLORREF c = 0;
    colorKey_ = GetColor("clrBitmapColorKey", &c) ? ov::skin::ToQRgb(c) : qRgb(255, 0, 255);
    cells_[0] = cells_[1] = QImage();
    if (picture_) {
        int scale = 1;
        cells_[0] = transparent_ ? CutKey(picture_->Image(), colorKey_) : picture_->Image();
        const QImage& fine = picture_->ImageFor(2, &scale);
        if (scale == 2)
            cells_[1] = transparent_ ? CutKey(fine, colorKey_) : fine;
    }
}

void OVSkinBitmapButton::ReleaseControl() {
    picture_ = nullptr;
    cells_[0] = cells_[1] = QImage();
}

void OVSkinBitmapButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QAbstractButton::enterEvent(event);
}

void OVSkinBitmapButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void OVSkinBitmapButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    if (!picture_) {
        // Without a skin: a flat button with its text.
        p.fillRect(rect(), isDown() ? QColor(0xD0, 0xD8, 0xE2) : QColor(0xE4, 0xE9, 0xEF));
        p.drawText(rect(), Qt::AlignCenter, text());
        return;
    }
    const int state = !isEnabled() ? 3 : (isDown() || isChecked()) ? 2 : hovered_ ? 1 : 0;
    const bool fine = devicePixelRatioF() >= 1.5 && !cells_[1].isNull();
    const QImage& image = fine ? cells_[1] : cells_[0];
    const int scale = fine ? 2 : 1;
    const bool strip = picture_->Width() % kStates == 0;
    const int cellW = strip ? picture_->Width() / kStates : picture_->Width();
    const QRect source(QPoint((strip ? state * cellW : 0) * scale, 0),
                       QSize(cellW, picture_->Height()) * scale);
    p.drawImage(QRect(0, 0, cellW, picture_->Height()), image, source);
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
        p.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

// ---- OVSkinDigit ----

OVSkinDigit::OVSkinDigit(QWidget* parent) : QWidget(parent), OVSkinControl("Digit", this) {
    SetValue(0);
}

void OVSkinDigit::SetValue(int value) {
    value_ = value;
    // A screen reader reads the number the glyphs show.
    setAccessibleDescription(QString::number(value));
    update();
}

QVector<int> OVSkinDigit::Cells() const {
    const int precision = std::clamp(precision_, 1, 10);
    const bool negative = value_ < 0;
    const int width = negative ? precision - 1 : precision;
    long long largest = 1;
    for (int i = 0; i < width; ++i)
        largest *= 10;
    long long magnitude = std::min(std::llabs(static_cast<long long>(value_)), largest - 1);
    QVector<int> cells(precision, zeroPadding_ ? 0 : 11);
    int i = precision - 1;
    do {
        cells[i--] = static_cast<int>(magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0 && i >= (negative ? 1 : 0));
    if (negative && width > 0)
        cells[zeroPadding_ ? 0 : std::max(i, 0)] = 10;
    return cells;
}

void OVSkinDigit::ApplyControl() {
    glyphs_ = GetBitmap("sBitmap");
    precision_ = 3;
    zeroPadding_ = false;
    GetInt("nPrecision", &precision_);
    GetBool("bZeroPadding", &zeroPadding_);
    precision_ = std::clamp(precision_, 1, 10);
}

void OVSkinDigit::ReleaseControl() {
    glyphs_ = nullptr;
}

void OVSkinDigit::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QVector<int> cells = Cells();
    if (!glyphs_ || glyphs_->Width() < kGlyphs) {
        QString text;
        for (int c : cells)
            text += c < 10 ? QChar('0' + c) : c == 10 ? QChar('-') : QChar(' ');
        p.drawText(rect(), Qt::AlignRight | Qt::AlignVCenter, text);
        return;
    }
    int scale = 1;
    const QImage& image = glyphs_->ImageFor(devicePixelRatioF(), &scale);
    const int cellW = glyphs_->Width() / kGlyphs, cellH = glyphs_->Height();
    // Right-aligned in the control, top-aligned and centred vertically when taller.
    int x = width() - cellW * static_cast<int>(cells.size());
    const int y = std::max(0, (height() - cellH) / 2);
    for (int c : cells) {
        p.drawImage(QRect(x, y, cellW, cellH), image,
                    QRect(c * cellW * scale, 0, cellW * scale, cellH * scale));
        x += cellW;
    }
}

// ---- OVSkinEdit ----

OVSkinEdit::OVSkinEdit(QWidget* parent) : QLineEdit(parent), OVSkinControl("Edit", this) {
    setFrame(false);
    setTextMargins(4, 0, 4, 0);
    style_.Read(*this);
    style_.ApplyTo(this);
}

void OVSkinEdit::ApplyControl() {
    style_.Read(*this);
    style_.ApplyTo(this);
}

void OVSkinEdit::ReleaseControl() {
    style_ = OVSkinTextStyle();
    style_.Read(*this);
}

void OVSkinEdit::paintEvent(QPaintEvent* event) {
    {
        QPainter p(this);
        p.fillRect(rect(), isEnabled() ? style_.background : style_.disabledBackground);
    }
    QLineEdit::paintEvent(event);
    style_.PaintBorder(this, hasFocus());
}

// ---- OVSkinListBox ----

OVSkinListBox::OVSkinListBox(QWidget* parent)
    : QListWidget(parent), OVSkinControl("ListBox", this), scrollStyle_(new OVScrollBarStyle) {
    scrollStyle_->setParent(this);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalScrollBar()->setStyle(scrollStyle_);
    style_.Read(*this);
    style_.ApplyTo(this);
}

OVSkinListBox::~OVSkinListBox() {
    // The scroll bar outlives this body (the base class deletes it): give it back its style.
    verticalScrollBar()->setStyle(nullptr);
}

void OVSkinListBox::ApplyControl() {
    style_.Read(*this);
    style_.ApplyTo(this);
    scrollStyle_->SetPictures(GetBitmap("sScrollArrow"), GetBitmap("sScrollBar"),
                              GetBitmap("sScrollLine"));
    // The scroll bar takes its new width from the style.
    verticalScrollBar()->setStyle(nullptr);
    verticalScrollBar()->setStyle(scrollStyle_);
    const int border = style_.hasBorder ? 1 : 0;
    setViewportMargins(0, 0, 0, 0);
    setContentsMargins(border, border, border, border);
    updateGeometries();
}

void OVSkinListBox::ReleaseControl() {
    scrollStyle_->SetPictures(nullptr, nullptr, nullptr);
    verticalScrollBar()->setStyle(nullptr);
    verticalScrollBar()->setStyle(scrollStyle_);
}

bool OVSkinListBox::event(QEvent* event) {
    // The list's own paint events draw the frame; the viewport's go to paintEvent.
    if (event->type() == QEvent::Paint) {
        style_.PaintBorder(this, hasFocus());
        return true;
    }
    return QListWidget::event(event);
}

// ---- OVSkinLabel ----

OVSkinLabel::OVSkinLabel(QWidget* parent) : QLabel(parent), OVSkinControl("Label", this) {}

void OVSkinLabel::ApplyControl() {
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, ColorOr(*this, "clrText", QColor(0x1F, 0x29, 0x33)));
    setPalette(pal);
    // Beyond clrText a skin may give a label its font, as it does for edit boxes.
    LOGFONT lf{};
    setFont(GetFont("fontText", &lf) ? ov::skin::ToQFont(lf) : QFont());
}

void OVSkinLabel::ReleaseControl() {
    setPalette(QPalette());
    setFont(QFont());
}
