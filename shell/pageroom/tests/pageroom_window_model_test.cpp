// The Pageroom window's decisions without widgets: where the logo goes and where a drop puts
// its anchor, the caption as the view changes, and sending with its local refusals.
#include <gtest/gtest.h>

#include "shell/pageroom/group_info.h"
#include "shell/pageroom/logo_anchor.h"
#include "shell/pageroom/pageroom_window_model.h"

namespace ov::shell {
namespace {

TEST(LogoAnchor, PlacesAgainstEitherSideAndStaysInside) {
    const QRect bounds(100, 50, 800, 600);  // edges at x 100..900, y 50..650
    const QSize logo(164, 40);
    // The default: 40 from the right edge, at the top.
    EXPECT_EQ(PlaceLogo(LogoAnchor{}, logo, bounds), QPoint(900 - 40 - 164, 50));
    EXPECT_EQ(PlaceLogo(MakeLogoAnchor(kLogoLeft, 10, kLogoBottom, 5), logo, bounds),
              QPoint(110, 650 - 5 - 40));
    // Too far out comes back inside; a logo larger than the bounds keeps its corner in.
    EXPECT_EQ(PlaceLogo(MakeLogoAnchor(kLogoRight, 5000, kLogoBottom, 5000), logo, bounds),
              QPoint(100, 50));
    EXPECT_EQ(PlaceLogo(LogoAnchor{}, QSize(1000, 40), bounds), QPoint(100, 50));
    // Stored nonsense falls back to the usual sides with no negative distances.
    EXPECT_EQ(MakeLogoAnchor(7, -3, 0, -1), MakeLogoAnchor(kLogoRight, 0, kLogoTop, 0));
}

TEST(LogoAnchor, ADropNearerTheRightKeepsItsDistanceFromTheRightWhenTheBoundsChange) {
    const QSize logo(164, 40);
    const QRect bounds(0, 0, 1000, 700);
    // Dropped 30 from the right edge and 20 from the bottom.
    const LogoAnchor a = AnchorForDrop(QPoint(1000 - 30 - 164, 700 - 20 - 40), logo, bounds);
    EXPECT_EQ(a, MakeLogoAnchor(kLogoRight, 30, kLogoBottom, 20));
    const QRect wider(200, 100, 1400, 900);
    EXPECT_EQ(PlaceLogo(a, logo, wider), QPoint(1600 - 30 - 164, 1000 - 20 - 40));

    // Ties go to the left and the top; a drop half outside counts as touching the edge.
    const QRect square(0, 0, 364, 140);
    EXPECT_EQ(AnchorForDrop(QPoint(100, 50), logo, square),
              MakeLogoAnchor(kLogoLeft, 100, kLogoTop, 50));
    EXPECT_EQ(AnchorForDrop(QPoint(-20, 120), logo, square),
              MakeLogoAnchor(kLogoLeft, 0, kLogoBottom, 0));
}

class PageroomWindowModelTest : public ::testing::Test {
protected:
    PageroomWindowModel Model(PageroomSendGate& gate) {
        return PageroomWindowModel(gate, clock_, [this](OVGroupInfo& g, const QString& text) {
            sent_ << g.Name() + ": " + text;
            return accept_;
        });
    }
    static QString Text(const PageroomSendResult& r) {
        return r.line ? r.line->text.mid(QStringLiteral("[00:00] ").size()) : QString();
    }

    qint64 now_ = 1'700'000'000;
    SecondsClock clock_ = [this] { return now_; };
    PageroomSendGate gate_{clock_};
    QStringList sent_;
    bool accept_ = true;
    OVGroupInfo site_{nullptr, OV_GT_SITE, "example.com"};
    OVGroupInfo page_{nullptr, OV_GT_URL, "example.com/a.html"};
};

TEST_F(PageroomWindowModelTest, CaptionFollowsTheShownViewOnlyWhenItHasAGroup) {
    PageroomWindowModel m = Model(gate_);
    EXPECT_EQ(m.Mode(), kSiteView);
    EXPECT_EQ(m.Caption(), "未登录到网站...");
    EXPECT_EQ(m.SaveName(), "网站聊天记录.txt");
    m.SetViewGroup(kSiteView, &site_);
    EXPECT_TRUE(m.SetMode(kPageView));  // no page group: the caption stays
    EXPECT_EQ(m.Caption(), "未登录到网站...");
    EXPECT_EQ(m.SaveName(), "网页聊天记录.txt");
    EXPECT_TRUE(m.SetMode(kSiteView));
    EXPECT_EQ(m.Caption(), "网站模式 - http://example.com");
    m.SetViewGroup(kPageView, &page_);
    EXPECT_FALSE(m.SetMode(kSiteView));
    EXPECT_FALSE(m.SetMode(5));
    EXPECT_TRUE(m.SetMode(kPageView));
    EXPECT_EQ(m.Caption(), "网页模式 - http://example.com/a.html");
}

TEST_F(PageroomWindowModelTest, SendsToTheShownGroupAndRefusesInOrder) {
    PageroomWindowModel m = Model(gate_);
    // Nothing held yet: nothing to send to.
    PageroomSendResult r = m.Send("hi");
    EXPECT_FALSE(r.sent);
    EXPECT_EQ(Text(r), "*** 不能发送空消息！");
    EXPECT_EQ(r.line->kind, ChatLineKind::Error);
    EXPECT_EQ(r.edit, "hi");  // a refusal keeps what was typed
    m.SetViewGroup(kSiteView, &site_);
    EXPECT_EQ(Text(m.Send("")), "*** 不能发送空消息！");
    // The page view with no page group cannot send either.
    m.SetMode(kPageView);
    EXPECT_EQ(Text(m.Send("hi")), "*** 无法发送信息，请确定您已经登录Orvane服务器！");
    m.SetViewGroup(kPageView, &page_);

    r = m.Send("hi");
    EXPECT_TRUE(r.sent);
    EXPECT_FALSE(r.line);
    EXPECT_EQ(r.edit, "");
    EXPECT_EQ(sent_, QStringList{"example.com/a.html: hi"});
    // Within the second: too soon, even a repeat; then a repeat; a different text goes.
    EXPECT_EQ(Text(m.Send("hi")), "*** 发送信息过快，请等待1秒再发送，谢谢！");
    EXPECT_EQ(Text(m.Send("other")), "*** 发送信息过快，请等待1秒再发送，谢谢！");
    ++now_;
    EXPECT_EQ(Text(m.Send("hi")), "*** 请不要发送重复的信息，谢谢！");
    m.SetMode(kSiteView);
    EXPECT_TRUE(m.Send("other").sent);
    EXPECT_EQ(sent_.last(), "example.com: other");

    // A kernel that refuses: a line, the text kept, and the gate stays open.
    ++now_;
    accept_ = false;
    r = m.Send("third");
    EXPECT_EQ(Text(r), "*** 无法发送信息，请确定您已经登录Orvane服务器！");
    EXPECT_EQ(r.edit, "third");
    accept_ = true;
    EXPECT_TRUE(m.Send("third").sent);
    // Local lines never take a key the watcher's lines use.
    EXPECT_LT(Text(r).size(), r.line->text.size());
    EXPECT_LT(r.line->key, 0);
}

TEST_F(PageroomWindowModelTest, TwoWindowsSharingTheGateWaitForEachOther) {
    PageroomWindowModel one = Model(gate_);
    PageroomWindowModel two = Model(gate_);
    one.SetViewGroup(kSiteView, &site_);
    two.SetViewGroup(kSiteView, &site_);
    EXPECT_TRUE(one.Send("a").sent);
    EXPECT_EQ(Text(two.Send("b")), "*** 发送信息过快，请等待1秒再发送，谢谢！");
    ++now_;
    EXPECT_TRUE(two.Send("a").sent);  // the repeat is per window
    // Another session's gate does not hold this one back.
    PageroomSendGate other(clock_);
    PageroomWindowModel three = Model(other);
    three.SetViewGroup(kSiteView, &site_);
    EXPECT_TRUE(three.Send("c").sent);
}

TEST_F(PageroomWindowModelTest, AChatTargetStaysInTheEditBox) {
    EXPECT_EQ(PageroomWindowModel::ChatTarget("bob", ""), "对 <bob> 说：");
    EXPECT_EQ(PageroomWindowModel::ChatTarget("bob", "hello"), "对 <bob> 说：hello");
    // Another target replaces the first and keeps the text after its colon.
    EXPECT_EQ(PageroomWindowModel::ChatTarget("carol", "对 <bob> 说：hi：there"),
              "对 <carol> 说：hi：there");
    PageroomWindowModel m = Model(gate_);
    m.SetViewGroup(kSiteView, &site_);
    const PageroomSendResult r = m.Send("对 <bob> 说：hi：there");
    ASSERT_TRUE(r.sent);
    EXPECT_EQ(sent_.last(), "example.com: 对 <bob> 说：hi：there");
    EXPECT_EQ(r.edit, "对 <bob> 说：");
    // A colon without a target is not kept.
    ++now_;
    EXPECT_EQ(m.Send("note：x").edit, "");
}

}  // namespace
}  // namespace ov::shell
