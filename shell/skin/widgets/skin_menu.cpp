#include "shell/skin/widgets/skin_menu.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QStyleFactory>
#include <QStyleOptionMenuItem>

#include "shell/skin/skin_bitmap.h"
#include "shell/skin/skin_paint.h"

namespace {

void TileInto(QPainter* p, const COVBitmap* bitmap, const QRect& target) {
    int scale = 1;
    QImage image = bitmap->ImageFor(p->device()->devicePixelRatioF(), &scale);
    image.setDevicePixelRatio(scale);
    p->drawTiledPixmap(target, QPixmap::fromImage(image), QPoint(0, 0));
}

}  // namespace

void OVMenuColors::Read(const OVSkinItem& item) {
    const auto color = [&](const char* key, QColor fallback) {
        COLORREF c = 0;
        return item.GetColor(key, &c) ? ov::skin::ToQColor(c) : fallback;
    };
    const QColor accent(0x2F, 0x80, 0xED);
    leftBack = color("clrLeftBack", QColor(0xEE, 0xF2, 0xF7));
    menuText = color("clrMenuText", QColor(0x1F, 0x29, 0x33));
    menuTextSel = color("clrMenuTextSel", Qt::white);
    grayText1 = color("clrGrayText1", QColor(0x9A, 0xA5, 0xB1));
    grayText2 = color("clrGrayText2", Qt::white);
    grayTextSel = color("clrGrayTextSel", QColor(0xC8, 0xD0, 0xDA));
    menuBk = color("clrMenuBk", Qt::white);
    selBk1 = color("clrSelBk1", accent.lighter(110));
    selBk2 = color("clrSelBk2", accent);
    selBk3 = color("clrSelBk3", accent.darker(120));
    graySelBk1 = color("clrGraySelBk1", QColor(0xE4, 0xE8, 0xED));
    graySelBk2 = color("clrGraySelBk2", QColor(0xD9, 0xDE, 0xE5));
    selBk = color("clrSelBk", QColor(0xDC, 0xEA, 0xFC));
    border1 = color("clrBorder1", QColor(0xB8, 0xC2, 0xCE));
    border2 = color("clrBorder2", Qt::white);
    border3 = color("clrBorder3", QColor(0xB8, 0xC2, 0xCE));
    border4 = color("clrBorder4", QColor(0xEE, 0xF2, 0xF7));
    iconBorder1 = color("clrIconBorder1", accent);
    iconBorder2 = color("clrIconBorder2", Qt::white);
    separator1 = color("clrSeparator1", QColor(0xD9, 0xDE, 0xE5));
    separator2 = color("clrSeparator2", Qt::white);
    btnShadow = color("clrBtnShadow", QColor(0x52, 0x60, 0x6D));
    btnFace = color("clrBtnFace", QColor(0xEE, 0xF2, 0xF7));
    btnHilight = color("clrBtnHilight", Qt::white);
    leftBitmap = item.GetBitmap("sLeftBitmap");
    backBitmap = item.GetBitmap("sBkBitmap");
}

OVMenuStyle::OVMenuStyle() : QProxyStyle(QStyleFactory::create("Fusion")) {}

int OVMenuStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
    switch (metric) {
        case PM_MenuPanelWidth:
            return 2;
        case PM_MenuHMargin:
            return 0;
        case PM_MenuVMargin:
            return 3;
        case PM_SmallIconSize:
            return 16;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
    }
}

QSize OVMenuStyle::sizeFromContents(ContentsType type, const QStyleOption* option,
                                    const QSize& size, const QWidget* widget) const {
    if (type != CT_MenuItem)
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (mi && mi->menuItemType == QStyleOptionMenuItem::Separator)
        return QSize(size.width(), 7);
    const int textWidth = mi ? mi->fontMetrics.horizontalAdvance(QString(mi->text).remove('&')) : 0;
    return QSize(kLeftStrip + 10 + std::max(size.width(), textWidth) + 36, kItemHeight);
}

void OVMenuStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* p,
                                const QWidget* widget) const {
    const QRect r = option->rect;
    if (element == PE_PanelMenu) {
        if (colors_.backBitmap)
            TileInto(p, colors_.backBitmap, r);
        else
            p->fillRect(r, colors_.menuBk);
        const QRect strip(r.x(), r.y(), kLeftStrip + 2, r.height());
        if (colors_.leftBitmap)
            TileInto(p, colors_.leftBitmap, strip);
        else
            p->fillRect(strip, colors_.leftBack);
        return;
    }
    if (element == PE_FrameMenu) {
        const int right = r.x() + r.width() - 1, bottom = r.y() + r.height() - 1;
        const auto lines = [&](int inset, const QColor& topLeft, const QColor& bottomRight) {
            p->setPen(topLeft);
            p->drawLine(r.x() + inset, r.y() + inset, right - inset, r.y() + inset);
            p->drawLine(r.x() + inset, r.y() + inset, r.x() + inset, bottom - inset);
            p->setPen(bottomRight);
            p->drawLine(r.x() + inset, bottom - inset, right - inset, bottom - inset);
            p->drawLine(right - inset, r.y() + inset, right - inset, bottom - inset);
        };
        lines(0, colors_.border1, colors_.border3);
        lines(1, colors_.border2, colors_.border4);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, p, widget);
}

void OVMenuStyle::drawControl(ControlElement element, const QStyleOption* option, QPainter* p,
                              const QWidget* widget) const {
    const auto* mi = qstyleoption_cast<const QStyleOptionMenuItem*>(option);
    if (element == CE_MenuEmptyArea)
        return;
    if (element != CE_MenuItem || !mi)
        return QProxyStyle::drawControl(element, option, p, widget);
    const QRect r = mi->rect;
    p->save();
    p->setRenderHint(QPainter::Antialiasing);
    if (mi->menuItemType == QStyleOptionMenuItem::Separator) {
        const int y = r.y() + r.height() / 2 - 1;
        p->setRenderHint(QPainter::Antialiasing, false);
        p->setPen(colors_.separator1);
        p->drawLine(r.x() + kLeftStrip + 6, y, r.x() + r.width() - 6, y);
        p->setPen(colors_.separator2);
        p->drawLine(r.x() + kLeftStrip + 6, y + 1, r.x() + r.width() - 6, y + 1);
        p->restore();
        return;
    }
    const bool selected = mi->state & State_Selected;
    const bool enabled = mi->state & State_Enabled;
    if (selected) {
        const QRectF box = QRectF(r).adjusted(3.5, 1.5, -3.5, -1.5);
        QLinearGradient g(box.topLeft(), box.bottomLeft());
        g.setColorAt(0, enabled ? colors_.selBk1 : colors_.graySelBk1);
        g.setColorAt(1, enabled ? colors_.selBk2 : colors_.graySelBk2);
        p->setPen(enabled ? colors_.selBk3 : colors_.graySelBk2);
        p->setBrush(g);
        p->drawRoundedRect(box, 4, 4);
    }
    const QRect iconBox(r.x() + 5, r.y() + (r.height() - 20) / 2, 20, 20);
    const bool checked = mi->checkType != QStyleOptionMenuItem::NotCheckable && mi->checked;
    if (checked) {
        p->setPen(selected ? colors_.iconBorder2 : colors_.iconBorder1);
        p->setBrush(selected ? colors_.selBk2 : colors_.selBk);
        p->drawRoundedRect(QRectF(iconBox).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    }
    if (!mi->icon.isNull()) {
        const QPixmap pm = mi->icon.pixmap(QSize(16, 16), p->device()->devicePixelRatioF(),
                                           enabled ? QIcon::Normal : QIcon::Disabled);
        p->drawPixmap(QRect(iconBox.x() + 2, iconBox.y() + 2, 16, 16), pm);
    } else if (checked) {
        QPainterPath mark;
        mark.moveTo(iconBox.x() + 5, iconBox.y() + 10);
        mark.lineTo(iconBox.x() + 9, iconBox.y() + 14);
        mark.lineTo(iconBox.x() + 15, iconBox.y() + 6);
        p->setBrush(Qt::NoBrush);
        p->setPen(QPen(selected ? colors_.btnHilight : colors_.btnShadow, 2));
        p->drawPath(mark);
    }
    QString text = mi->text;
    QString shortcut;
    if (const int tab = text.indexOf('\t'); tab >= 0) {
        shortcut = text.mid(tab + 1);
        text = text.left(tab);
    }
    const QRect textRect(r.x() + kLeftStrip + 10, r.y(), r.width() - kLeftStrip - 40, r.height());
    const int flags = Qt::AlignVCenter | Qt::TextShowMnemonic | Qt::TextSingleLine;
    p->setFont(mi->font);
    if (!enabled && !selected) {
        p->setPen(colors_.grayText2);
        p->drawText(textRect.translated(1, 1), flags | Qt::AlignLeft, text);
        p->drawText(textRect.translated(1, 1), flags | Qt::AlignRight, shortcut);
    }
    p->setPen(enabled ? (selected ? colors_.menuTextSel : colors_.menuText)
                      : (selected ? colors_.grayTextSel : colors_.grayText1));
    p->drawText(textRect, flags | Qt::AlignLeft, text);
    p->drawText(textRect, flags | Qt::AlignRight, shortcut);
    if (mi->menuItemType == QStyleOptionMenuItem::SubMenu) {
        const int x = r.x() + r.width() - 16, y = r.y() + r.height() / 2;
        QPainterPath arrow;
        arrow.moveTo(x, y - 4);
        arrow.lineTo(x + 4, y);
        arrow.lineTo(x, y + 4);
        p->setPen(QPen(selected ? colors_.menuTextSel : colors_.btnShadow, 1.5));
        p->setBrush(Qt::NoBrush);
        p->drawPath(arrow);
    }
    p->restore();
}

OVSkinMenu::OVSkinMenu(OVSkin* skin, QWidget* parent)
    : QMenu(parent), OVSkinItem("Menu"), style_(new OVMenuStyle) {
    style_->setParent(this);
    setStyle(style_);
    OVMenuColors colors;
    colors.Read(*this);
    style_->SetColors(colors);
    SetSkin(skin);
}

OVSkinMenu::OVSkinMenu(OVSkinItem* owner, const std::string& name, QWidget* parent)
    : QMenu(parent), OVSkinItem("Menu"), style_(new OVMenuStyle) {
    style_->setParent(this);
    setStyle(style_);
    OVMenuColors colors;
    colors.Read(*this);
    style_->SetColors(colors);
    if (owner)
        owner->AddChild(this, name);
}

OVSkinMenu::~OVSkinMenu() {
    setStyle(nullptr);
}

OVSkinMenu* OVSkinMenu::AddSkinMenu(const QString& title) {
    auto* menu = new OVSkinMenu(this, SecondName(), this);
    menu->setTitle(title);
    addMenu(menu);
    return menu;
}

void OVSkinMenu::OnApply() {
    OVMenuColors colors;
    colors.Read(*this);
    style_->SetColors(colors);
    update();
}

void OVSkinMenu::OnRelease() {
    OVMenuColors colors;
    colors.Read(*this);  // no skin: the built-in colours
    colors.leftBitmap = colors.backBitmap = nullptr;
    style_->SetColors(colors);
}
