// The skin manager, layered lookup and the geometry of skinned windows, without a window.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QTemporaryDir>
#include <fstream>

#include "shell/skin/skin_geometry.h"
#include "shell/skin/skin_item.h"
#include "shell/skin/skin_manager.h"

using namespace ov::skin;

namespace {

// A skin folder written by the test: config.ini and a few pictures.
class TestSkin {
public:
    explicit TestSkin(const std::string& config, const std::string& name = "test") {
        QDir(dir_.path()).mkpath(QString::fromStdString(name));
        Write(name + "/config.ini", config);
        skin_.SetBaseDirectory(dir_.path().toStdString());
        name_ = name;
    }
    void Write(const std::string& file, const std::string& text) {
        std::ofstream(dir_.path().toStdString() + "/" + file) << text;
    }
    void Picture(const std::string& file, QSize size, QColor color) {
        QImage image(size, QImage::Format_RGB32);
        image.fill(color);
        ASSERT_TRUE(image.save(dir_.filePath(QString::fromStdString(file))));
    }
    OVSkin& skin() { return skin_; }
    bool Load() { return skin_.Load(name_); }

private:
    QTemporaryDir dir_;
    OVSkin skin_;
    std::string name_;
};

// Counts what the manager tells it.
class RecordingItem : public OVSkinItem {
public:
    using OVSkinItem::OVSkinItem;
    int applied = 0, released = 0;

protected:
    void OnApply() override { ++applied; }
    void OnRelease() override { ++released; }
};

OVPosition Pos(int l, int lk, int t, int tk, int r, int rk, int b, int bk) {
    return OVPosition{{l, lk}, {t, tk}, {r, rk}, {b, bk}};
}

}  // namespace

TEST(SkinLookupTest, TheMostSpecificSectionWinsForItsOwnItemOnly) {
    TestSkin t(
        "[Form]\n"
        "clrFormBackground = RGB(1,2,3)\n"
        "nCaptionButtonsMargin = 4\n"
        "[Form.X]\n"
        "clrFormBackground = RGB(9,9,9)\n"
        "[ListBox]\n"
        "clrEnabledText = RGB(1,1,1)\n"
        "bHasBorder = true\n"
        "[ListBox.X]\n"
        "clrEnabledText = RGB(2,2,2)\n"
        "[ListBox.X.Users]\n"
        "clrEnabledText = RGB(3,3,3)\n"
        "bHasBorder = false\n"
        "[ListBox.X.Broken]\n"
        "clrEnabledText = RGB(7,7)\n");
    ASSERT_TRUE(t.Load());
    RecordingItem x("Form", "X"), y("Form", "Y"), plain("Form");
    for (RecordingItem* item : {&x, &y, &plain})
        item->SetSkin(&t.skin());

    COLORREF c = 0;
    ASSERT_TRUE(x.GetColor("clrFormBackground", &c));
    EXPECT_EQ(c, 9u + 9u * 256 + 9u * 65536);
    for (RecordingItem* other : {&y, &plain}) {
        ASSERT_TRUE(other->GetColor("clrFormBackground", &c));
        EXPECT_EQ(c, 1u + 2u * 256 + 3u * 65536);
    }
    int margin = 0;  // a key only the general section has reaches the specific form
    ASSERT_TRUE(x.GetInt("nCaptionButtonsMargin", &margin));
    EXPECT_EQ(margin, 4);

    RecordingItem users("ListBox"), broken("ListBox"), other("ListBox");
    x.AddChild(&users, "Users");
    x.AddChild(&broken, "Broken");
    y.AddChild(&other, "Users");
    EXPECT_EQ(users.Sections(),
              (std::vector<std::string>{"ListBox", "ListBox.X", "ListBox.X.Users"}));
    ASSERT_TRUE(users.GetColor("clrEnabledText", &c));
    EXPECT_EQ(c, 0x030303u);
    bool border = true;
    ASSERT_TRUE(users.GetBool("bHasBorder", &border));
    EXPECT_FALSE(border);
    // A value that does not parse leaves the more general one in force.
    ASSERT_TRUE(broken.GetColor("clrEnabledText", &c));
    EXPECT_EQ(c, 0x020202u);
    ASSERT_TRUE(other.GetColor("clrEnabledText", &c));
    EXPECT_EQ(c, 0x010101u);

    // Asking for keys of sections that do not exist changes nothing in the skin.
    const size_t lines = t.skin().Config().Lines().size();
    OVPosition pos{};
    RECT margins{};
    EXPECT_FALSE(users.GetPosition("posWindow", &pos));
    EXPECT_FALSE(y.GetMargin("mgFormMidBlock", &margins));
    EXPECT_EQ(t.skin().Config().Lines().size(), lines);
    EXPECT_EQ(pos, OVPosition{});
}

TEST(SkinLookupTest, WithoutASkinEveryGetterFailsAndKeepsTheDefault) {
    TestSkin t("");
    t.Write("test/config.ini", "");  // present, but the skin below names another folder
    RecordingItem item("Form");
    item.SetSkin(&t.skin());
    EXPECT_FALSE(t.skin().Load("missing"));
    EXPECT_EQ(item.applied, 1);  // told to apply all the same
    int value = 42;
    EXPECT_FALSE(item.GetInt("nAnything", &value));
    EXPECT_EQ(value, 42);
    EXPECT_EQ(item.GetBitmap("sFormBitmap"), nullptr);
}

TEST(SkinPositionTest, EdgesFollowTheirKinds) {
    const RECT narrow{0, 0, 200, 100}, wide{10, 20, 510, 320};
    // Left pstSize, right pstPosRB: a fixed width anchored to the right edge.
    const OVPosition button = Pos(60, pstSize, 8, pstPosLT, 10, pstPosRB, 24, pstSize);
    EXPECT_EQ(CalcRect(button, narrow), (RECT{130, 8, 190, 32}));
    EXPECT_EQ(CalcRect(button, wide), (RECT{440, 28, 500, 52}));
    // Top pstSize against a bottom offset: a fixed height on the bottom edge.
    const OVPosition status = Pos(0, pstPosLT, 20, pstSize, 0, pstPosRB, 4, pstPosRB);
    EXPECT_EQ(CalcRect(status, wide), (RECT{10, 296, 510, 316}));
    // Unset edges stay 0, whatever the parent.
    EXPECT_EQ(CalcRect(OVPosition{}, wide), (RECT{0, 0, 0, 0}));
    EXPECT_EQ(CalcRect(OVPosition{}, QRect(5, 5, 50, 50)), QRect(0, 0, 0, 0));
}

TEST(SkinPositionTest, ZonesAreTestedCornersFirstAndOnlyWhileResizable) {
    FormZones z;
    z.caption = Pos(0, pstPosLT, 0, pstPosLT, 0, pstPosRB, 30, pstSize);
    z.leftTop = Pos(0, pstPosLT, 0, pstPosLT, 8, pstSize, 8, pstSize);
    z.top = Pos(0, pstPosLT, 0, pstPosLT, 0, pstPosRB, 4, pstSize);
    z.left = Pos(0, pstPosLT, 0, pstPosLT, 4, pstSize, 0, pstPosRB);
    z.rightBottom = Pos(8, pstSize, 8, pstSize, 0, pstPosRB, 0, pstPosRB);
    const QSize window(300, 200);
    EXPECT_EQ(HitTest(z, {2, 2}, window, true), HitZone::TopLeft);  // in top, left and corner
    EXPECT_EQ(HitTest(z, {100, 2}, window, true), HitZone::Top);
    EXPECT_EQ(HitTest(z, {2, 100}, window, true), HitZone::Left);
    EXPECT_EQ(HitTest(z, {295, 195}, window, true), HitZone::BottomRight);
    EXPECT_EQ(HitTest(z, {100, 20}, window, true), HitZone::Caption);
    EXPECT_EQ(HitTest(z, {100, 100}, window, true), HitZone::Client);
    EXPECT_EQ(HitTest(z, {2, 2}, window, false), HitZone::Caption);
    EXPECT_EQ(HitTest(z, {295, 195}, window, false), HitZone::Client);
    EXPECT_EQ(HitTest(z, {300, 100}, window, true), HitZone::Client);  // right is exclusive
    EXPECT_EQ(EdgesOf(HitZone::BottomRight), Qt::BottomEdge | Qt::RightEdge);
    EXPECT_EQ(EdgesOf(HitZone::Caption), Qt::Edges());
}

TEST(SkinPositionTest, DraggingAnEdgeKeepsTheOppositeOneAndTheSizeLimits) {
    const QRect start(100, 100, 300, 200);
    const QSize min(120, 80), max(500, 400);
    EXPECT_EQ(DragGeometry(start, {}, {15, -5}, min, max), QRect(115, 95, 300, 200));
    EXPECT_EQ(DragGeometry(start, Qt::LeftEdge, {50, 0}, min, max), QRect(150, 100, 250, 200));
    // Too far: the left edge stops at the minimum width, the right edge never moves.
    EXPECT_EQ(DragGeometry(start, Qt::LeftEdge | Qt::TopEdge, {1000, 1000}, min, max),
              QRect(280, 220, 120, 80));
    EXPECT_EQ(DragGeometry(start, Qt::RightEdge | Qt::BottomEdge, {1000, 1000}, min, max),
              QRect(100, 100, 500, 400));
}

TEST(SkinBitmapTest, KeysNamingOneFileShareOneCachedPicture) {
    TestSkin t(
        "[Form]\n"
        "sFormBitmap = frame.bmp\n"
        "[Form.Other]\n"
        "sFormBitmap = \"frame.bmp\"\n"
        "[Bitmaps]\n"
        "sRegister1 = pics\\frame.bmp\n"
        "sRegister2 = missing.bmp\n");
    t.Picture("test/frame.bmp", {20, 10}, Qt::red);
    QDir(QString::fromStdString(t.skin().BaseDirectory() + "test")).mkpath("pics");
    t.Picture("test/pics/frame.bmp", {4, 4}, Qt::blue);
    EXPECT_EQ(t.skin().GetBitmap("frame.bmp"), nullptr);  // nothing before a skin is loaded
    ASSERT_TRUE(t.Load());

    RecordingItem form("Form"), other("Form", "Other");
    form.SetSkin(&t.skin());
    other.SetSkin(&t.skin());
    const COVBitmap* a = form.GetBitmap("sFormBitmap");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->Size(), QSize(20, 10));
    EXPECT_EQ(other.GetBitmap("sFormBitmap"), a);
    EXPECT_EQ(t.skin().GetBitmap("frame.bmp"), a);
    // The other platform's separator names the same file as '/' does.
    const COVBitmap* b = t.skin().GetBitmap("Bitmaps", "sRegister1");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(t.skin().GetBitmap("pics/frame.bmp"), b);
    EXPECT_EQ(t.skin().GetBitmap("Bitmaps", "sRegister2"), nullptr);
    EXPECT_EQ(t.skin().CachedBitmapCount(), 2u);  // a file that does not load is not kept

    // A picture named in the specific section that does not load gives way to the general one.
    t.Write("test/config.ini",
            "[Form]\nsFormBitmap = frame.bmp\n[Form.Other]\nsFormBitmap = gone.bmp\n");
    ASSERT_TRUE(t.Load());
    EXPECT_EQ(t.skin().CachedBitmapCount(), 0u);
    ASSERT_NE(other.GetBitmap("sFormBitmap"), nullptr);
    EXPECT_EQ(other.GetBitmap("sFormBitmap")->Size(), QSize(20, 10));
}

TEST(SkinBitmapTest, ADoublePictureIsUsedOnlyAtItsExactSize) {
    TestSkin t("[Form]\nsFormBitmap = a.bmp\nsCaptionButtonsBitmap = b.bmp\n");
    t.Picture("test/a.bmp", {10, 6}, Qt::red);
    t.Picture("test/a@2x.bmp", {20, 12}, Qt::green);
    t.Picture("test/b.bmp", {10, 6}, Qt::red);
    t.Picture("test/b@2x.bmp", {21, 12}, Qt::green);
    ASSERT_TRUE(t.Load());
    int scale = 0;
    const COVBitmap* a = t.skin().GetBitmap("a.bmp");
    EXPECT_EQ(a->ImageFor(2.0, &scale).size(), QSize(20, 12));
    EXPECT_EQ(scale, 2);
    EXPECT_EQ(a->ImageFor(1.0, &scale).size(), QSize(10, 6));
    EXPECT_EQ(scale, 1);
    EXPECT_FALSE(t.skin().GetBitmap("b.bmp")->HasDouble());
    EXPECT_EQ(COVBitmap::DoublePath("x/y.z/pic.bmp"), "x/y.z/pic@2x.bmp");
}

TEST(SkinManagerTest, ItemsFollowLoadsAndOutliveOrPrecedeTheManager) {
    TestSkin t("[Form]\nnX = 1\n");
    RecordingItem root("Form");
    RecordingItem child("Bitmap");
    root.SetSkin(&t.skin());
    EXPECT_EQ(root.applied, 0);  // nothing loaded yet
    ASSERT_TRUE(t.Load());
    EXPECT_EQ(root.applied, 1);
    root.AddChild(&child, "Logo");  // added to a loaded skin: applied at once
    EXPECT_EQ(child.applied, 1);
    EXPECT_EQ(child.Skin(), &t.skin());
    ASSERT_TRUE(t.Load());  // a reload releases, then applies, the whole tree
    EXPECT_EQ(root.released, 1);
    EXPECT_EQ(child.released, 1);
    EXPECT_EQ(child.applied, 2);
    {
        RecordingItem shortLived("Form");
        shortLived.SetSkin(&t.skin());
        EXPECT_EQ(shortLived.applied, 1);
    }  // unregisters itself
    t.skin().Unload();
    EXPECT_EQ(root.released, 2);

    auto late = std::make_unique<RecordingItem>("Form");
    {
        OVSkin transient;
        transient.SetBaseDirectory("/nonexistent");
        late->SetSkin(&transient);
    }  // the manager goes first: the item must not reach back
    EXPECT_EQ(late->Skin(), nullptr);
    late.reset();

    OVSkin noBase;
    EXPECT_FALSE(noBase.Load("orvane"));
}

TEST(SkinRegionTest, RunsOfAHandMadePictureAreTheKeptPixels) {
    const QRgb k = qRgb(255, 0, 255), o = qRgb(10, 20, 30);
    const QRgb rows[4][6] = {
        {k, k, o, o, k, k},
        {k, o, o, o, o, k},
        {o, o, k, k, o, o},
        {k, k, k, k, k, k},
    };
    QImage image(6, 4, QImage::Format_RGB32);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            image.setPixel(x, y, rows[y][x]);
    const std::vector<QRect> expected{QRect(2, 0, 2, 1), QRect(1, 1, 4, 1), QRect(0, 2, 2, 1),
                                      QRect(4, 2, 2, 1)};
    EXPECT_EQ(ColorKeyRuns(image, k), expected);
    QRegion region;
    for (const QRect& r : expected)
        region += r;
    EXPECT_EQ(ColorKeyRegion(image, k), region);

    // Tolerance widens the key upwards on every channel, never downwards.
    image.setPixel(0, 2, qRgb(255, 3, 255));
    image.setPixel(1, 2, qRgb(254, 0, 255));
    EXPECT_EQ(ColorKeyRuns(image, k, 3).front(), QRect(2, 0, 2, 1));
    EXPECT_TRUE(ColorKeyRegion(image, k, 3).contains(QPoint(1, 2)));
    EXPECT_FALSE(ColorKeyRegion(image, k, 3).contains(QPoint(0, 2)));
}

TEST(SkinRegionTest, LargePicturesGiveTheSameRegionAsRunByRun) {
    // More runs than one batch: every other pixel of a 100 x 100 picture is cut.
    QImage image(100, 100, QImage::Format_RGB32);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            image.setPixel(x, y, (x + y) % 2 ? qRgb(255, 0, 255) : qRgb(0, 0, 0));
    const std::vector<QRect> runs = ColorKeyRuns(image, qRgb(255, 0, 255));
    ASSERT_EQ(runs.size(), 5000u);
    const QRegion region = ColorKeyRegion(image, qRgb(255, 0, 255));
    EXPECT_TRUE(region.contains(QPoint(0, 0)));
    EXPECT_FALSE(region.contains(QPoint(1, 0)));
    EXPECT_TRUE(region.contains(QPoint(99, 99)));
    EXPECT_FALSE(region.contains(QPoint(99, 98)));
}

TEST(SkinFrameTest, CornersAreCopiedOnceAndEdgesTiledNeverStretched) {
    // A 7 x 7 picture: margins 2, a middle block of 3 with distinct columns.
    QImage picture(7, 7, QImage::Format_RGB32);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 7; ++x)
            picture.setPixel(x, y, qRgb(x * 30, y * 30, 100));
    const QMargins m(2, 2, 2, 2);
    const QImage frame = ComposeFrame(picture, m, {20, 11}, 1, true, qRgb(1, 1, 1));
    ASSERT_EQ(frame.size(), QSize(20, 11));
    // Corners: the picture's own pixels, at the window's corners.
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            EXPECT_EQ(frame.pixel(x, y), picture.pixel(x, y));
            EXPECT_EQ(frame.pixel(18 + x, 9 + y), picture.pixel(5 + x, 5 + y));
            EXPECT_EQ(frame.pixel(18 + x, y), picture.pixel(5 + x, y));
        }
    // The top edge repeats the picture's three middle columns, the last copy cut at x = 17.
    for (int x = 2; x < 18; ++x)
        EXPECT_EQ(frame.pixel(x, 0), picture.pixel(2 + (x - 2) % 3, 0)) << x;
    EXPECT_EQ(frame.pixel(10, 10), picture.pixel(2 + 8 % 3, 6));
    EXPECT_EQ(frame.pixel(0, 6), picture.pixel(0, 2 + 4 % 3));
    // The middle is tiled from the middle block, or filled with the background.
    EXPECT_EQ(frame.pixel(6, 6), picture.pixel(2 + 4 % 3, 2 + 4 % 3));
    const QImage plain = ComposeFrame(picture, m, {20, 11}, 1, false, qRgb(1, 1, 1));
    EXPECT_EQ(plain.pixel(6, 6), qRgb(1, 1, 1));
    EXPECT_EQ(plain.pixel(0, 0), picture.pixel(0, 0));
    // At twice the scale the picture's pixels land one for one.
    const QImage twice = ComposeFrame(picture.scaled(14, 14), m, {20, 11}, 2, true, 0);
    EXPECT_EQ(twice.size(), QSize(40, 22));
    EXPECT_EQ(twice.pixel(39, 21), picture.pixel(6, 6));
    // Without margins the picture sits at the top left once.
    const QImage once = ComposeFrame(picture, QMargins(), {9, 9}, 1, true, qRgb(1, 1, 1));
    EXPECT_EQ(once.pixel(6, 6), picture.pixel(6, 6));
    EXPECT_EQ(once.pixel(8, 8), qRgb(1, 1, 1));
}
