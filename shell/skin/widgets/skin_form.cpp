#include "shell/skin/widgets/skin_form.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWindow>
#include <algorithm>

#include "shell/skin/skin_bitmap.h"
#include "shell/skin/skin_paint.h"
#include "shell/skin/widgets/caption_button.h"

using ov::skin::HitZone;

namespace {

// A skin's margins; a negative width means nothing sensible and counts as none.
QMargins ToMargins(const RECT& r) {
    return QMargins(std::max<int>(r.left, 0), std::max<int>(r.top, 0), std::max<int>(r.right, 0),
                    std::max<int>(r.bottom, 0));
}

constexpr int kButtonIndex[] = {0, 1, -1, 2, -1, -1, -1, 3};  // by flag value - 1

int IndexOf(OVSkinForm::CaptionButton which) {
    return kButtonIndex[static_cast<int>(which) - 1];
}

Qt::CursorShape CursorFor(HitZone zone) {
    switch (zone) {
        case HitZone::Left:
        case HitZone::Right:
            return Qt::SizeHorCursor;
        case HitZone::Top:
        case HitZone::Bottom:
            return Qt::SizeVerCursor;
        case HitZone::TopLeft:
        case HitZone::BottomRight:
            return Qt::SizeFDiagCursor;
        case HitZone::TopRight:
        case HitZone::BottomLeft:
            return Qt::SizeBDiagCursor;
        default:
            return Qt::ArrowCursor;
    }
}

}  // namespace

OVSkinForm::OVSkinForm(const std::string& instanceName, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), OVSkinItem("Form", instanceName) {
    setMouseTracking(true);
    setAttribute(Qt::WA_Hover);
    const OVCaptionButton::Glyph glyphs[] = {
        OVCaptionButton::GlyphMinimize, OVCaptionButton::GlyphMaximize, OVCaptionButton::GlyphClose,
        OVCaptionButton::GlyphHelp};
    for (size_t i = 0; i < buttonWidgets_.size(); ++i)
        buttonWidgets_[i] = new OVCaptionButton(glyphs[i], this);
    connect(buttonWidgets_[0], &QAbstractButton::clicked, this, &QWidget::showMinimized);
    connect(buttonWidgets_[1], &QAbstractButton::clicked, this,
            [this] { isMaximized() ? showNormal() : showMaximized(); });
    connect(buttonWidgets_[2], &QAbstractButton::clicked, this, &QWidget::close);
    connect(buttonWidgets_[3], &QAbstractButton::clicked, this, &OVSkinForm::HelpRequested);
    ReadDefaults();
    SetCaptionButtons(buttons_);
}

OVSkinForm::~OVSkinForm() = default;

void OVSkinForm::SetCaptionButtons(CaptionButtons buttons) {
    buttons_ = buttons;
    for (CaptionButton b : {Minimize, Maximize, Close, Help})
        buttonWidgets_[IndexOf(b)]->setVisible(buttons_.testFlag(b));
    LayoutCaptionButtons();
}

OVCaptionButton* OVSkinForm::ButtonWidget(CaptionButton which) const {
    return buttonWidgets_[IndexOf(which)];
}

void OVSkinForm::ReadDefaults() {
    picture_ = captionPicture_ = nullptr;
    midBlock_ = clientMargins_ = QMargins();
    background_ = QColor(0xF5, 0xF7, 0xFA);
    backgroundFromPicture_ = true;
    transparent_ = false;
    colorKey_ = qRgb(255, 0, 255);
    zones_ = {};
    captionButtonsPos_ = {};
    captionButtonsMargin_ = 0;
    captionTextPos_ = {};
    captionTextColor_ = QColor(0x1F, 0x29, 0x33);
    captionFont_ = font();
}

void OVSkinForm::OnApply() {
    ReadDefaults();
    picture_ = GetBitmap("sFormBitmap");
    captionPicture_ = GetBitmap("sCaptionButtonsBitmap");
    RECT r{};
    if (GetMargin("mgFormMidBlock", &r))
        midBlock_ = ToMargins(r);
    r = {};
    if (GetMargin("mgFormClient", &r))
        clientMargins_ = ToMargins(r);
    COLORREF c = 0;
    if (GetColor("clrFormBackground", &c))
        background_ = ov::skin::ToQColor(c);
    GetBool("bFormBkUseBitmap", &backgroundFromPicture_);
    GetBool("bFormTransparent", &transparent_);
    if (GetColor("clrFormColorKey", &c))
        colorKey_ = ov::skin::ToQRgb(c);
    GetPosition("posCaption", &zones_.caption);
    GetPosition("posLeftTop", &zones_.leftTop);
    GetPosition("posTop", &zones_.top);
    GetPosition("posRightTop", &zones_.rightTop);
    GetPosition("posLeft", &zones_.left);
    GetPosition("posRight", &zones_.right);
    GetPosition("posLeftBottom", &zones_.leftBottom);
    GetPosition("posBottom", &zones_.bottom);
    GetPosition("posRightBottom", &zones_.rightBottom);
    GetPosition("posCaptionButtons", &captionButtonsPos_);
    GetInt("nCaptionButtonsMargin", &captionButtonsMargin_);
    GetPosition("posCaptionText", &captionTextPos_);
    if (GetColor("clrCaptionText", &c))
        captionTextColor_ = ov::skin::ToQColor(c);
    LOGFONT lf{};
    if (GetFont("fontCaptionText", &lf))
        captionFont_ = ov::skin::ToQFont(lf);

    // Never smaller than the frame's fixed borders: the corners would overlap.
    QSize minimum(midBlock_.left() + midBlock_.right(), midBlock_.top() + midBlock_.bottom());
    SIZE s{};
    if (GetSize("szFormMinSize", &s))
        minimum = minimum.expandedTo(QSize(s.cx, s.cy));
    QSize maximum(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    if (GetSize("szFormMaxSize", &s) && s.cx > 0 && s.cy > 0)
        maximum = QSize(s.cx, s.cy).expandedTo(minimum);
    setMinimumSize(minimum);
    setMaximumSize(maximum);

    for (OVCaptionButton* button : buttonWidgets_)
        button->SetPicture(captionPicture_);
    RenewShape();
    LayoutCaptionButtons();
    update();
}

void OVSkinForm::OnRelease() {
    ReadDefaults();
    for (OVCaptionButton* button : buttonWidgets_)
        button->SetPicture(nullptr);
    RenewShape();
}

QImage OVSkinForm::ComposeFrameImage(QSize size, int scale) const {
    if (!picture_)
        return QImage();
    int pictureScale = 1;
    const QImage& picture = picture_->ImageFor(scale, &pictureScale);
    QImage frame = ov::skin::ComposeFrame(picture, midBlock_, size, pictureScale,
                                          backgroundFromPicture_, background_.rgb());
    frame.setDevicePixelRatio(pictureScale);
    return frame;
}

void OVSkinForm::RenewShape() {
    frame_ = QImage();
    if (transparent_ && picture_) {
        shape_ = ov::skin::ColorKeyRegion(ComposeFrameImage(size(), 1), colorKey_);
        setMask(shape_);
    } else {
        shape_ = QRegion();
        clearMask();
    }
    update();
}

HitZone OVSkinForm::ZoneAt(QPoint point) const {
    return ov::skin::HitTest(zones_, point, size(), Resizable());
}

bool OVSkinForm::Resizable() const {
    return !isMinimized() && !isMaximized() && minimumSize() != maximumSize();
}

void OVSkinForm::LayoutCaptionButtons() {
    QRect area = ov::skin::CalcRect(captionButtonsPos_, rect());
    if (area.isEmpty())
        area = QRect(0, 4, width() - 6, 24);
    int right = area.x() + area.width();
    for (CaptionButton b : {Close, Maximize, Minimize, Help}) {
        OVCaptionButton* button = buttonWidgets_[IndexOf(b)];
        if (!buttons_.testFlag(b))
            continue;
        const QSize cell = button->CellSize();
        button->setGeometry(right - cell.width(), area.y() + (area.height() - cell.height()) / 2,
                            cell.width(), cell.height());
        right -= cell.width() + captionButtonsMargin_;
    }
    UpdateMaximizeButton();
}

void OVSkinForm::UpdateMaximizeButton() {
    buttonWidgets_[IndexOf(Maximize)]->SetGlyph(isMaximized() ? OVCaptionButton::GlyphRestore
                                                              : OVCaptionButton::GlyphMaximize);
}

void OVSkinForm::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const qreal ratio = devicePixelRatioF();
    if (!picture_) {
        p.fillRect(rect(), background_);
        p.setPen(background_.darker(140));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    } else {
        const int scale = ratio >= 1.5 ? 2 : 1;
        // Composed once per size and screen: windows repaint far more often than they resize.
        if (frame_.isNull() || frameSize_ != size() || frameScale_ != scale) {
            frame_ = ComposeFrameImage(size(), scale);
            frameSize_ = size();
            frameScale_ = scale;
            if (frame_.devicePixelRatio() > 1 && transparent_) {
                // The shape was cut from the plain picture; where the finer one still shows
                // the key inside the shape, the plain picture shows instead.
                QImage base = ComposeFrameImage(size(), 1).scaled(frame_.size());
                QImage fine = frame_.convertToFormat(QImage::Format_RGB32);
                for (int y = 0; y < fine.height(); ++y) {
                    auto* row = reinterpret_cast<QRgb*>(fine.scanLine(y));
                    const auto* under = reinterpret_cast<const QRgb*>(base.constScanLine(y));
                    for (int x = 0; x < fine.width(); ++x)
                        if ((row[x] & 0xFFFFFF) == (colorKey_ & 0xFFFFFF))
                            row[x] = under[x];
                }
                fine.setDevicePixelRatio(frame_.devicePixelRatio());
                frame_ = fine;
            }
        }
        const QImage& frame = frame_;
        p.drawImage(QPoint(0, 0), frame);
    }
    const QRect textArea = ov::skin::CalcRect(captionTextPos_, rect());
    if (!textArea.isEmpty() && !windowTitle().isEmpty()) {
        p.setFont(captionFont_);
        p.setPen(captionTextColor_);
        const QString text =
            p.fontMetrics().elidedText(windowTitle(), Qt::ElideRight, textArea.width());
        p.drawText(textArea, Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

void OVSkinForm::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    RenewShape();
    LayoutCaptionButtons();
}

void OVSkinForm::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        UpdateMaximizeButton();
    else if (event->type() == QEvent::WindowTitleChange)
        update();
}

void OVSkinForm::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const HitZone zone = ZoneAt(event->position().toPoint());
    if (zone == HitZone::Client)
        return QWidget::mousePressEvent(event);
    const Qt::Edges edges = ov::skin::EdgesOf(zone);
    if (QWindow* window = windowHandle()) {
        if (edges ? window->startSystemResize(edges) : window->startSystemMove())
            return;
    }
    dragging_ = true;
    dragEdges_ = edges;
    dragStart_ = event->globalPosition().toPoint();
    dragGeometry_ = geometry();
}

void OVSkinForm::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_) {
        setGeometry(ov::skin::DragGeometry(dragGeometry_, dragEdges_,
                                           event->globalPosition().toPoint() - dragStart_,
                                           minimumSize(), maximumSize()));
        return;
    }
    if (event->buttons() == Qt::NoButton)
        setCursor(CursorFor(ZoneAt(event->position().toPoint())));
    QWidget::mouseMoveEvent(event);
}

void OVSkinForm::mouseReleaseEvent(QMouseEvent* event) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(event);
}

void OVSkinForm::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && buttons_.testFlag(Maximize) &&
        ZoneAt(event->position().toPoint()) == HitZone::Caption) {
        isMaximized() ? showNormal() : showMaximized();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}
