// Skinned forms and controls on the offscreen platform. The golden checks run twice: at
// 100 %, and at 200 % with QT_SCALE_FACTOR=2 (the "skin_tests_200" entry).
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMouseEvent>
#include <QScrollBar>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QWindow>
#include <fstream>

#include "shell/skin/skin_bitmap.h"
#include "shell/skin/skin_geometry.h"
#include "shell/skin/skin_manager.h"
#include "shell/skin/widgets/caption_button.h"
#include "shell/skin/widgets/skin_controls.h"
#include "shell/skin/widgets/skin_form.h"
#include "shell/skin/widgets/skin_menu.h"

using namespace ov::skin;

namespace {

const std::string kSkins = ORVANE_PROGRAM_DIR "/Skins";

qreal ExpectedRatio() {
    return qEnvironmentVariableIsSet("QT_SCALE_FACTOR") ? 2.0 : 1.0;
}

QImage Grab(QWidget& w) {
    return w.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

QImage Block(const QImage& image, QRect r) {
    return image.copy(r);
}

// A skin of the test's own in a temporary folder.
class HandMadeSkin {
public:
    HandMadeSkin() {
        QDir(dir_.path()).mkpath("t");
        skin_.SetBaseDirectory(dir_.path().toStdString());
    }
    void Config(const std::string& text) { std::ofstream(Path("config.ini")) << text; }
    std::string Path(const std::string& file) const {
        return dir_.path().toStdString() + "/t/" + file;
    }
    OVSkin& skin() { return skin_; }

private:
    QTemporaryDir dir_;
    OVSkin skin_;
};

}  // namespace

TEST(SkinGoldenTest, TheWindowIsCutToTheColourKeyRegionAndNoKeyShows) {
    OVSkin skin;
    skin.SetBaseDirectory(kSkins);
    ASSERT_TRUE(skin.Load("orvane"));
    OVSkinForm form("Golden");
    form.SetSkin(&skin);
    form.resize(320, 210);
    form.show();
    ASSERT_EQ(form.devicePixelRatioF(), ExpectedRatio());
    ASSERT_TRUE(form.IsTransparent());

    const COVBitmap* picture = skin.GetBitmap("Form", "sFormBitmap");
    ASSERT_NE(picture, nullptr);
    const QImage frame = ComposeFrame(picture->Image(), form.MidBlock(), form.size(), 1, true, 0);
    const QRegion expected = ColorKeyRegion(frame, form.ColorKey());
    EXPECT_EQ(form.mask(), expected);
    EXPECT_EQ(expected.boundingRect(), form.rect());
    EXPECT_FALSE(expected.contains(QPoint(0, 0)));  // the rounded corners are cut
    EXPECT_FALSE(expected.contains(QPoint(319, 209)));
    EXPECT_TRUE(expected.contains(QPoint(160, 105)));

    // Wherever the window is visible, the key colour is never drawn (also from the @2x
    // picture at 200 %).
    const QImage shot = Grab(form);
    const qreal ratio = form.devicePixelRatioF();
    ASSERT_EQ(shot.size(), form.size() * ratio);
    int keyPixels = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            if (expected.contains(QPoint(int(x / ratio), int(y / ratio))) &&
                (shot.pixel(x, y) & 0xFFFFFF) == (form.ColorKey() & 0xFFFFFF))
                ++keyPixels;
    EXPECT_EQ(keyPixels, 0);
}

TEST(SkinGoldenTest, CornersArePixelIdenticalAfterAResize) {
    OVSkin skin;
    skin.SetBaseDirectory(kSkins);
    ASSERT_TRUE(skin.Load("orvane"));
    OVSkinForm form("Golden");
    form.SetCaptionButtons(OVSkinForm::Minimize | OVSkinForm::Maximize | OVSkinForm::Close);
    form.SetSkin(&skin);
    form.resize(300, 200);
    form.show();
    const qreal r = form.devicePixelRatioF();
    const QImage small = Grab(form);
    form.resize(460, 330);
    const QImage large = Grab(form);
    ASSERT_EQ(large.size(), QSize(460, 330) * r);

    const QMargins m = form.MidBlock();
    const int l = int(m.left() * r), t = int(m.top() * r), rr = int(m.right() * r),
              b = int(m.bottom() * r);
    const auto corners = [&](const QImage& img) {
        const int w = img.width(), h = img.height();
        return std::vector<QImage>{Block(img, {0, 0, l, t}), Block(img, {w - rr, 0, rr, t}),
                                   Block(img, {0, h - b, l, b}),
                                   Block(img, {w - rr, h - b, rr, b})};
    };
    const std::vector<QImage> before = corners(small), after = corners(large);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(before[i], after[i]) << "corner " << i;
    // And the edges are tiled, not stretched: every whole copy along the top and the left edge
    // is the picture's own edge, in the picture for this screen (@2x at 200 %).
    int scale = 0;
    const QImage picture = skin.GetBitmap("Form", "sFormBitmap")
                               ->ImageFor(r, &scale)
                               .convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(scale, int(r));
    const int tileW = picture.width() - l - rr, tileH = picture.height() - t - b;
    const QImage topEdge = Block(picture, {l, 0, tileW, t});
    const QImage leftEdge = Block(picture, {0, t, l, tileH});
    for (int i = 0; l + (i + 1) * tileW <= 200 * r; ++i)  // left of the caption buttons
        EXPECT_EQ(Block(large, {l + i * tileW, 0, tileW, t}), topEdge) << "top copy " << i;
    for (int i = 0; t + (i + 1) * tileH <= large.height() - b; ++i)
        EXPECT_EQ(Block(large, {0, t + i * tileH, l, tileH}), leftEdge) << "left copy " << i;
    // The shape follows the size, corners included.
    EXPECT_EQ(form.mask().boundingRect(), QRect(0, 0, 460, 330));
    EXPECT_FALSE(form.mask().contains(QPoint(459, 0)));
}

TEST(SkinFormTest, CaptionButtonsCarryTheirTipsAndStateNames) {
    OVSkin skin;
    skin.SetBaseDirectory(kSkins);
    ASSERT_TRUE(skin.Load("orvane"));
    OVSkinForm form;
    form.SetCaptionButtons(OVSkinForm::Minimize | OVSkinForm::Maximize | OVSkinForm::Close |
                           OVSkinForm::Help);
    form.SetSkin(&skin);
    form.resize(400, 300);
    form.show();
    const auto tip = [&](OVSkinForm::CaptionButton b) {
        return form.ButtonWidget(b)->toolTip().toStdString();
    };
    EXPECT_EQ(tip(OVSkinForm::Minimize), "最小化");
    EXPECT_EQ(tip(OVSkinForm::Maximize), "最大化");
    EXPECT_EQ(tip(OVSkinForm::Close), "关闭");
    EXPECT_EQ(tip(OVSkinForm::Help), "帮助");
    for (auto b : {OVSkinForm::Minimize, OVSkinForm::Maximize, OVSkinForm::Close, OVSkinForm::Help})
        EXPECT_EQ(form.ButtonWidget(b)->accessibleName().toStdString(), tip(b));
    // Laid out right to left inside posCaptionButtons, one cell of the picture each.
    const QRect close = form.ButtonWidget(OVSkinForm::Close)->geometry();
    EXPECT_EQ(close.right(), 400 - 4 - 1);
    EXPECT_EQ(close.size(), QSize(32, 26));
    EXPECT_EQ(form.ButtonWidget(OVSkinForm::Maximize)->geometry().right(), close.left() - 1);

    form.ButtonWidget(OVSkinForm::Maximize)->click();
    EXPECT_TRUE(form.isMaximized());
    EXPECT_EQ(tip(OVSkinForm::Maximize), "还原");
    EXPECT_EQ(form.ZoneAt({1, 1}), HitZone::Caption);  // no sizing while maximised
    form.ButtonWidget(OVSkinForm::Maximize)->click();
    EXPECT_EQ(tip(OVSkinForm::Maximize), "最大化");
    form.ButtonWidget(OVSkinForm::Close)->click();
    EXPECT_FALSE(form.isVisible());
}

TEST(SkinFormTest, DraggingTheCaptionMovesAndACornerResizesWithinTheLimits) {
    OVSkin skin;
    skin.SetBaseDirectory(kSkins);
    ASSERT_TRUE(skin.Load("orvane"));
    OVSkinForm form;
    form.SetSkin(&skin);
    form.setGeometry(100, 100, 300, 200);
    form.show();
    EXPECT_EQ(form.ZoneAt({2, 2}), HitZone::TopLeft);
    EXPECT_EQ(form.ZoneAt({150, 2}), HitZone::Top);
    EXPECT_EQ(form.ZoneAt({150, 20}), HitZone::Caption);
    EXPECT_EQ(form.ZoneAt({150, 100}), HitZone::Client);
    EXPECT_EQ(form.ZoneAt({297, 197}), HitZone::BottomRight);

    // The offscreen platform has no window manager to hand the drag to: the form drags by
    // itself, as it would wherever the system move is refused.
    const auto drag = [&](QPoint from, QPoint by) {
        const QPoint global = form.mapToGlobal(from);
        QMouseEvent press(QEvent::MouseButtonPress, QPointF(from), QPointF(global), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &press);
        QMouseEvent move(QEvent::MouseMove, QPointF(from + by), QPointF(global + by), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &move);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(from + by), QPointF(global + by),
                            Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&form, &release);
    };
    drag({150, 20}, {30, 40});
    EXPECT_EQ(form.geometry(), QRect(130, 140, 300, 200));
    drag({297, 197}, {50, 20});
    EXPECT_EQ(form.geometry(), QRect(130, 140, 350, 220));
    drag({2, 2}, {500, 500});  // the top-left corner stops at the smallest size
    EXPECT_EQ(form.geometry().size(), QSize(220, 140));
    EXPECT_EQ(form.geometry().bottomRight(), QRect(130, 140, 350, 220).bottomRight());
}

TEST(SkinFormTest, SwitchingSkinsRedrawsEverythingAndUnloadingFallsBack) {
    OVSkin skin;
    skin.SetBaseDirectory(kSkins);
    ASSERT_TRUE(skin.Load("orvane"));
    OVSkinForm form("PageroomWnd");
    form.SetSkin(&skin);
    auto* edit = new OVSkinEdit(&form);
    form.AddChild(edit, "MessageEdit");
    form.resize(400, 320);
    form.show();
    const QPoint middle(200, 120);
    const QRgb lightBody = Grab(form).pixel(middle * form.devicePixelRatioF());
    const QColor lightText = edit->palette().color(QPalette::Text);

    ASSERT_TRUE(skin.Load("slate"));
    const QRgb darkBody = Grab(form).pixel(middle * form.devicePixelRatioF());
    EXPECT_NE(lightBody, darkBody);
    EXPECT_LT(qGray(darkBody), 80);
    EXPECT_GT(qGray(lightBody), 200);
    EXPECT_NE(edit->palette().color(QPalette::Text), lightText);
    EXPECT_FALSE(form.mask().isEmpty());

    skin.Unload();
    EXPECT_TRUE(form.mask().isEmpty());  // nothing to cut the window from
    EXPECT_FALSE(Grab(form).isNull());
}

TEST(SkinControlTest, ControlsArePlacedByTheirPositionsAndFollowTheParent) {
    OVSkin skin;
    skin.SetBaseDirectory(kSkins);
    ASSERT_TRUE(skin.Load("orvane"));
    OVSkinForm form("PageroomWnd");
    form.SetSkin(&skin);
    auto* lock = new OVSkinBitmapButton(&form);
    auto* list = new OVSkinListBox(&form);
    auto* unplaced = new OVSkinBitmap(&form);
    form.AddChild(lock, "Lock");
    form.AddChild(list, "SiteUserList");
    form.AddChild(unplaced, "NoSuchControl");
    form.show();  // a hidden window hears of its new size only when it is shown
    form.resize(400, 320);
    EXPECT_EQ(lock->geometry(), QRect(400 - 8 - 24, 4, 24, 24));
    EXPECT_EQ(list->geometry(), QRect(8, 70, 136, 320 - 46 - 70));
    EXPECT_EQ(unplaced->geometry(), QRect(0, 0, 0, 0));
    form.resize(500, 400);
    EXPECT_EQ(lock->geometry(), QRect(500 - 8 - 24, 4, 24, 24));
    EXPECT_EQ(list->geometry().height(), 400 - 46 - 70);

    // The list's scroll bar takes its width from the skin's arrow picture.
    for (int i = 0; i < 100; ++i)
        list->addItem(QString::number(i));
    QApplication::processEvents();  // the list lays its items out later
    ASSERT_TRUE(list->verticalScrollBar()->isVisible());
    EXPECT_EQ(list->verticalScrollBar()->width(), 12);
    // Its parts are where the pictures are drawn: the arrows are squares at both ends.
    QScrollBar* bar = list->verticalScrollBar();
    QStyleOptionSlider option;
    option.initFrom(bar);
    option.orientation = Qt::Vertical;
    option.minimum = bar->minimum();
    option.maximum = bar->maximum();
    option.pageStep = bar->pageStep();
    option.sliderPosition = bar->sliderPosition();
    EXPECT_EQ(bar->style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option, {6, 6}, bar),
              QStyle::SC_ScrollBarSubLine);
    EXPECT_EQ(bar->style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option,
                                                  {6, bar->height() - 6}, bar),
              QStyle::SC_ScrollBarAddLine);
    EXPECT_EQ(bar->style()->hitTestComplexControl(QStyle::CC_ScrollBar, &option, {6, 16}, bar),
              QStyle::SC_ScrollBarSlider);
}

TEST(SkinControlTest, DigitsShowThePrecisionPaddedOrBlank) {
    HandMadeSkin t;
    t.Config("[Digit]\nnPrecision = 3\n[Digit.F.Padded]\nbZeroPadding = true\n");
    ASSERT_FALSE(t.skin().Load("missing"));
    OVSkinForm form("F");
    form.SetSkin(&t.skin());
    auto* plain = new OVSkinDigit(&form);
    auto* padded = new OVSkinDigit(&form);
    form.AddChild(plain, "Plain");
    form.AddChild(padded, "Padded");
    ASSERT_TRUE(t.skin().Load("t"));
    const auto cells = [](OVSkinDigit* d, int v) {
        d->SetValue(v);
        const QVector<int> shown = d->Cells();
        return std::vector<int>(shown.begin(), shown.end());
    };
    EXPECT_EQ(cells(plain, 7), (std::vector<int>{11, 11, 7}));
    EXPECT_EQ(cells(padded, 7), (std::vector<int>{0, 0, 7}));
    EXPECT_EQ(cells(plain, 0), (std::vector<int>{11, 11, 0}));
    EXPECT_EQ(cells(plain, 12345), (std::vector<int>{9, 9, 9}));
    EXPECT_EQ(cells(plain, -5), (std::vector<int>{11, 10, 5}));
    EXPECT_EQ(cells(padded, -5), (std::vector<int>{10, 0, 5}));
    EXPECT_EQ(cells(plain, -4321), (std::vector<int>{10, 9, 9}));
    EXPECT_EQ(plain->accessibleDescription(), "-4321");
}

TEST(SkinControlTest, ATransparentButtonShowsItsParentThroughTheKey) {
    HandMadeSkin t;
    // Four 4 x 4 cells; each with a magenta border around a 2 x 2 coloured centre.
    QImage picture(16, 4, QImage::Format_RGB32);
    picture.fill(qRgb(255, 0, 255));
    const QRgb centres[4] = {qRgb(10, 200, 10), qRgb(10, 10, 200), qRgb(200, 10, 10),
                             qRgb(90, 90, 90)};
    for (int c = 0; c < 4; ++c)
        for (int y = 1; y < 3; ++y)
            for (int x = 1; x < 3; ++x)
                picture.setPixel(c * 4 + x, y, centres[c]);
    ASSERT_TRUE(picture.save(QString::fromStdString(t.Path("b.bmp"))));
    t.Config(
        "[Form]\nclrFormBackground = RGB(1,2,3)\n"
        "[BitmapButton]\nsBitmap = b.bmp\nbBitmapTransparent = true\n"
        "clrBitmapColorKey = RGB(255,0,255)\n"
        "posWindow = POSITION(10,pstPosLT,10,pstPosLT,4,pstSize,4,pstSize)\n");
    ASSERT_TRUE(t.skin().Load("t"));
    OVSkinForm form;
    form.SetSkin(&t.skin());
    auto* button = new OVSkinBitmapButton(&form);
    form.AddChild(button, "B");
    form.resize(60, 60);
    form.show();
    const qreal r = form.devicePixelRatioF();
    const QImage shot = Grab(form);
    EXPECT_EQ(shot.pixel(QPoint(11, 11) * r), centres[0]);
    EXPECT_EQ(shot.pixel(QPoint(10, 10) * r), qRgb(1, 2, 3));  // the key lets the form through
    button->setEnabled(false);
    EXPECT_EQ(Grab(form).pixel(QPoint(12, 12) * r), centres[3]);
}

TEST(SkinMenuTest, MenusTakeTheSkinsColoursAndFollowAReload) {
    HandMadeSkin t;
    t.Config(
        "[Menu]\nclrMenuBk = RGB(1,2,3)\nclrLeftBack = RGB(4,5,6)\n"
        "clrSelBk1 = RGB(200,0,0)\nclrSelBk2 = RGB(200,0,0)\nclrSelBk3 = RGB(200,0,0)\n");
    ASSERT_TRUE(t.skin().Load("t"));
    OVSkinMenu menu(&t.skin());
    menu.addAction("first");
    QAction* second = menu.addAction("second");
    menu.addSeparator();
    QAction* disabled = menu.addAction("third");
    disabled->setEnabled(false);
    menu.setAccessibleName("menu");
    menu.adjustSize();
    menu.setActiveAction(second);
    const QImage shot = Grab(menu);
    const qreal r = menu.devicePixelRatioF();
    const QRect item = menu.actionGeometry(second);
    const int y = menu.actionGeometry(menu.actions().first()).center().y();
    EXPECT_EQ(shot.pixel(QPoint(10, y) * r), qRgb(4, 5, 6));
    EXPECT_EQ(shot.pixel(QPoint(menu.width() - 12, y) * r), qRgb(1, 2, 3));
    EXPECT_EQ(shot.pixel(QPoint(item.right() - 10, item.center().y()) * r), qRgb(200, 0, 0));

    t.Config("[Menu]\nclrMenuBk = RGB(7,8,9)\n");
    ASSERT_TRUE(t.skin().Load("t"));
    menu.setActiveAction(nullptr);
    EXPECT_EQ(Grab(menu).pixel(QPoint(menu.width() - 12, y) * r), qRgb(7, 8, 9));
}

TEST(SkinRobustnessTest, ABrokenSkinGivesDefaultsAndNeverACrash) {
    HandMadeSkin t;
    // A truncated picture, margins wider than the picture, malformed and negative values.
    std::ofstream(t.Path("cut.bmp"), std::ios::binary) << "BM\x36\x10\0\0\0\0";
    QImage tiny(6, 6, QImage::Format_RGB32);
    tiny.fill(Qt::darkCyan);
    ASSERT_TRUE(tiny.save(QString::fromStdString(t.Path("tiny.bmp"))));
    t.Config(
        "[Form]\nsFormBitmap = tiny.bmp\nmgFormMidBlock = MARGIN(40,-3,90,40)\n"
        "bFormTransparent = true\nclrFormColorKey = RGB(0,139,139)\n"
        "posCaption = POSITION(1,2,3)\nsCaptionButtonsBitmap = cut.bmp\n"
        "szFormMinSize = SIZE(-5,-5)\nfontCaptionText = FONT(\"unterminated,1,1,1,1)\n"
        "[Digit]\nsBitmap = tiny.bmp\nnPrecision = 99999\n"
        "[ListBox]\nsScrollArrow = tiny.bmp\nsScrollBar = cut.bmp\nsScrollLine = tiny.bmp\n"
        "[BitmapButton]\nsBitmap = tiny.bmp\n"
        "posWindow = POSITION(5,pstSize,0,pstPosLT,0,pstPosRB,5,pstSize)\n");
    ASSERT_TRUE(t.skin().Load("t"));
    EXPECT_EQ(t.skin().GetBitmap("cut.bmp"), nullptr);
    OVSkinForm form;
    form.SetCaptionButtons(OVSkinForm::Minimize | OVSkinForm::Close);
    form.SetSkin(&t.skin());
    auto* digit = new OVSkinDigit(&form);
    auto* list = new OVSkinListBox(&form);
    auto* button = new OVSkinBitmapButton(&form);
    form.AddChild(digit, "D");
    form.AddChild(list, "L");
    form.AddChild(button, "B");
    form.show();
    form.resize(50, 40);
    digit->SetValue(-123456789);
    for (int i = 0; i < 50; ++i)
        list->addItem("x");
    EXPECT_EQ(form.MidBlock(), QMargins(40, 0, 90, 40));
    EXPECT_GE(form.width(), 130);  // never smaller than its fixed borders
    EXPECT_EQ(digit->Precision(), 10);
    EXPECT_FALSE(Grab(form).isNull());
    EXPECT_EQ(form.ButtonWidget(OVSkinForm::Close)->CellSize(), QSize(28, 22));
    // A control the owner has not named yet carries its skin name.
    EXPECT_EQ(button->accessibleName(), "B");
}
