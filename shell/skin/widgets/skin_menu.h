// Pop-up menus drawn with the skin's Menu section: a left strip behind the icons
// (clrLeftBack or the tiled sLeftBitmap), the background (clrMenuBk or the tiled sBkBitmap),
// a two-line border (outer clrBorder1 top-left / clrBorder3 bottom-right, inner clrBorder2 /
// clrBorder4), the selected entry as a gradient clrSelBk1 to clrSelBk2 outlined by clrSelBk3
// (disabled entries clrGraySelBk1 to clrGraySelBk2), texts clrMenuText / clrMenuTextSel,
// disabled texts clrGrayText1 with a clrGrayText2 shadow (clrGrayTextSel when selected),
// checked entries' icon box clrSelBk with border clrIconBorder1 (clrIconBorder2 when
// selected), separators clrSeparator1 over clrSeparator2, and check marks and sub-menu arrows
// in clrBtnShadow on clrBtnFace with clrBtnHilight.
//
//   OVSkinMenu menu(&skin);                      // or a parent widget that is skinned
//   menu.addAction(icon, QString::fromUtf8("正常上线"));
//   menu.exec(QCursor::pos());
#pragma once

#include <QMenu>
#include <QProxyStyle>

#include "shell/skin/skin_item.h"

class COVBitmap;

struct OVMenuColors {
    QColor leftBack, menuText, menuTextSel, grayText1, grayText2, grayTextSel, menuBk, selBk1,
        selBk2, selBk3, graySelBk1, graySelBk2, selBk, border1, border2, border3, border4,
        iconBorder1, iconBorder2, separator1, separator2, btnShadow, btnFace, btnHilight;
    const COVBitmap* leftBitmap = nullptr;
    const COVBitmap* backBitmap = nullptr;

    void Read(const OVSkinItem& item);  // defaults for what the skin lacks
};

class OVMenuStyle : public QProxyStyle {
    Q_OBJECT
public:
    static constexpr int kLeftStrip = 28;
    static constexpr int kItemHeight = 26;

    OVMenuStyle();
    void SetColors(const OVMenuColors& colors) { colors_ = colors; }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override;
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override;
    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override;

private:
    OVMenuColors colors_;
};

class OVSkinMenu : public QMenu, public OVSkinItem {
    Q_OBJECT
public:
    // A menu of its own skin manager (a root item), or the child of a skinned item.
    explicit OVSkinMenu(OVSkin* skin, QWidget* parent = nullptr);
    OVSkinMenu(OVSkinItem* owner, const std::string& name, QWidget* parent = nullptr);
    ~OVSkinMenu() override;

    // A sub-menu that shares this menu's look.
    OVSkinMenu* AddSkinMenu(const QString& title);

protected:
    void OnApply() override;
    void OnRelease() override;

private:
    OVMenuStyle* style_;
};
