// The skinned controls. Each reads its class section (Bitmap, BitmapButton, Digit, Edit,
// ListBox, Label), then the sections of its form and of its own name (see OVSkinItem), and is
// placed at CalcRect(posWindow, parent rectangle) whenever the skin is applied or the parent
// changes size; a control whose posWindow is set nowhere sits at (0, 0, 0, 0).
//
//   auto* send = new OVSkinBitmapButton(form);
//   form->AddChild(send, "SendMessage");   // reads BitmapButton.PageroomWnd.SendMessage
//
// Picture layouts (one row, cells of equal width): BitmapButton normal, under the mouse,
// pressed (also checked), disabled; Digit "0123456789", '-', blank; a scroll bar's
// sScrollArrow up and down arrows each normal, under the mouse, pressed; sScrollBar the thumb
// in three equal parts from the top (cap, middle tiled, cap); sScrollLine the track, tiled.
#pragma once

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QWidget>

#include "shell/skin/skin_item.h"

class COVBitmap;
class OVScrollBarStyle;

// What every skinned control shares: its place.
class OVSkinControl : public OVSkinItem {
public:
    OVSkinControl(std::string classSection, QWidget* widget);

    const OVPosition& WindowPosition() const { return posWindow_; }
    // Moves the control to its position against the parent's rectangle.
    void PlaceIn(const QRect& parent);

protected:
    void OnApply() final;
    void OnRelease() final;
    // Reads the keys of the control's own class (posWindow is read already).
    virtual void ApplyControl() = 0;
    virtual void ReleaseControl() = 0;

private:
    QWidget* widget_;
    OVPosition posWindow_{};
};

// Colours, font and border shared by Edit and ListBox.
struct OVSkinTextStyle {
    QFont font;
    bool hasFont = false;
    QColor text, background, highlightText, highlightBackground, disabledText, disabledBackground;
    bool hasBorder = true;
    QColor borderHighlight, borderDark, disabledBorderHighlight, disabledBorderDark;

    void Read(const OVSkinItem& item);
    void ApplyTo(QWidget* widget) const;
    // A one-pixel border: the dark colour, the highlight colour while the widget has focus.
    void PaintBorder(QWidget* widget, bool focused) const;
};

class OVSkinBitmap : public QWidget, public OVSkinControl {
    Q_OBJECT
public:
    explicit OVSkinBitmap(QWidget* parent);
    // A picture named by the caller (an animation frame) in place of sBitmap.
    void SetPicture(const COVBitmap* picture);
    const COVBitmap* Picture() const { return picture_; }

protected:
    void ApplyControl() override;
    void ReleaseControl() override;
    void paintEvent(QPaintEvent* event) override;

private:
    const COVBitmap* picture_ = nullptr;
};

class OVSkinBitmapButton : public QAbstractButton, public OVSkinControl {
    Q_OBJECT
public:
    static constexpr int kStates = 4;
    explicit OVSkinBitmapButton(QWidget* parent);

protected:
    void ApplyControl() override;
    void ReleaseControl() override;
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const COVBitmap* picture_ = nullptr;
    bool transparent_ = false;
    QRgb colorKey_ = qRgb(255, 0, 255);
    QImage cells_[2];  // the picture with its key cut away, at 1x and 2x
    bool hovered_ = false;
};

class OVSkinDigit : public QWidget, public OVSkinControl {
    Q_OBJECT
public:
    static constexpr int kGlyphs = 12;
    explicit OVSkinDigit(QWidget* parent);

    void SetValue(int value);
    int Value() const { return value_; }
    int Precision() const { return precision_; }
    // The cells shown, most significant first: digits 0-9, 10 for '-', 11 for blank. A number
    // wider than the precision shows the largest one that fits.
    QVector<int> Cells() const;

protected:
    void ApplyControl() override;
    void ReleaseControl() override;
    void paintEvent(QPaintEvent* event) override;

private:
    const COVBitmap* glyphs_ = nullptr;
    int precision_ = 3;
    bool zeroPadding_ = false;
    int value_ = 0;
};

class OVSkinEdit : public QLineEdit, public OVSkinControl {
    Q_OBJECT
public:
    explicit OVSkinEdit(QWidget* parent);

protected:
    void ApplyControl() override;
    void ReleaseControl() override;
    void paintEvent(QPaintEvent* event) override;

private:
    OVSkinTextStyle style_;
};

class OVSkinListBox : public QListWidget, public OVSkinControl {
    Q_OBJECT
public:
    explicit OVSkinListBox(QWidget* parent);
    ~OVSkinListBox() override;

protected:
    void ApplyControl() override;
    void ReleaseControl() override;
    bool event(QEvent* event) override;

private:
    OVSkinTextStyle style_;
    OVScrollBarStyle* scrollStyle_;
};

class OVSkinLabel : public QLabel, public OVSkinControl {
    Q_OBJECT
public:
    explicit OVSkinLabel(QWidget* parent);

protected:
    void ApplyControl() override;
    void ReleaseControl() override;
};
