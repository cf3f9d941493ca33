// A caption button of a skinned form. Its pictures come from the form's
// sCaptionButtonsBitmap: five columns (minimise, maximise, restore, close, help) by three rows
// (normal, under the mouse, pressed), all cells the same size.
#pragma once

#include <QAbstractButton>

class COVBitmap;

class OVCaptionButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Glyph {
        GlyphMinimize = 0,
        GlyphMaximize,
        GlyphRestore,
        GlyphClose,
        GlyphHelp,
        GlyphCount
    };
    static constexpr int kStates = 3;

    OVCaptionButton(Glyph glyph, QWidget* parent);

    void SetGlyph(Glyph glyph);
    Glyph CurrentGlyph() const { return glyph_; }
    void SetPicture(const COVBitmap* picture);
    // The size of one cell of the picture (a default without one).
    QSize CellSize() const;
    QSize sizeHint() const override { return CellSize(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    Glyph glyph_;
    const COVBitmap* picture_ = nullptr;
    bool hovered_ = false;
};
