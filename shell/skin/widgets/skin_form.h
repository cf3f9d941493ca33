// OVSkinForm: a top-level window drawn entirely from the skin's Form sections: its picture
// laid out as a frame (corners copied, edges tiled, never stretched), its shape cut from the
// picture by the colour key, its caption text and caption buttons, and the zones by which
// it is moved and resized (through the window system, so it works on X11 and Wayland alike).
// Controls added with AddChild are placed by their posWindow against the whole window
// whenever it changes size.
#pragma once

#include <QImage>
#include <QRegion>
#include <QWidget>
#include <array>

#include "shell/skin/skin_geometry.h"
#include "shell/skin/skin_item.h"

class OVCaptionButton;

class OVSkinForm : public QWidget, public OVSkinItem {
    Q_OBJECT
public:
    enum CaptionButton { Minimize = 1, Maximize = 2, Close = 4, Help = 8 };
    Q_DECLARE_FLAGS(CaptionButtons, CaptionButton)

    explicit OVSkinForm(const std::string& instanceName = {}, QWidget* parent = nullptr);
    ~OVSkinForm() override;

    void SetCaptionButtons(CaptionButtons buttons);
    CaptionButtons Buttons() const { return buttons_; }
    OVCaptionButton* ButtonWidget(CaptionButton which) const;

    // What the skin gave; valid after a skin was applied.
    QMargins MidBlock() const { return midBlock_; }
    QMargins ClientMargins() const { return clientMargins_; }
    QRect ClientRect() const { return rect().marginsRemoved(clientMargins_); }
    bool IsTransparent() const { return transparent_; }
    QRgb ColorKey() const { return colorKey_; }
    // The shape the window was last given (empty when it is not cut).
    const QRegion& Shape() const { return shape_; }
    // The frame as drawn for a size at a scale (1 or 2 device pixels per logical pixel).
    QImage ComposeFrameImage(QSize size, int scale) const;
    ov::skin::HitZone ZoneAt(QPoint point) const;

Q_SIGNALS:
    void HelpRequested();

protected:
    void OnApply() override;
    void OnRelease() override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void ReadDefaults();
    void RenewShape();
    void LayoutCaptionButtons();
    void UpdateMaximizeButton();
    bool Resizable() const;

    CaptionButtons buttons_ = CaptionButtons(Minimize | Close);
    std::array<OVCaptionButton*, 4> buttonWidgets_{};

    // From the skin (built-in defaults until one is applied).
    const class COVBitmap* picture_ = nullptr;
    const class COVBitmap* captionPicture_ = nullptr;
    QMargins midBlock_;
    QMargins clientMargins_;
    QColor background_;
    bool backgroundFromPicture_ = true;
    bool transparent_ = false;
    QRgb colorKey_ = qRgb(255, 0, 255);
    ov::skin::FormZones zones_;
    OVPosition captionButtonsPos_{};
    int captionButtonsMargin_ = 0;
    OVPosition captionTextPos_{};
    QColor captionTextColor_;
    QFont captionFont_;

    QRegion shape_;
    QImage frame_;  // the frame as last drawn, for frameSize_ at frameScale_
    QSize frameSize_;
    int frameScale_ = 0;
    // Dragging by hand where the window system cannot move or resize for us.
    Qt::Edges dragEdges_;
    bool dragging_ = false;
    QPoint dragStart_;
    QRect dragGeometry_;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(OVSkinForm::CaptionButtons)
