// The logo and the Pageroom window on the offscreen platform, drawn with the program's skins:
// counts, showing and hiding with the tab and the logo, typing and sending, dragging the
// logo, the animation, saving a chat; and pictures of both.
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>

#include "shell/core/cp936_text.h"
#include "shell/messaging/widgets/chat_view.h"
#include "shell/pageroom/group_info.h"
#include "shell/pageroom/widgets/pageroom_display_qt.h"
#include "shell/pageroom/widgets/pageroom_logo.h"
#include "shell/pageroom/widgets/pageroom_window.h"
#include "shell/skin/widgets/skin_controls.h"
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

class PageroomWidgets : public WizardWindowTest<PageroomWindow> {
protected:
    void SetUp() override {
        WizardWindowTest<PageroomWindow>::SetUp();
        OVShellApp& app = StartSkinnedApp();
        app.Settings().bClickedPageroom = 0;
        gate_ = std::make_unique<PageroomSendGate>(app.Desktop().clock);
        display_ = std::make_unique<QtPageroomDisplay>(app, *gate_,
                                                       [this](OVGroupInfo& g, const QString& text) {
                                                           sent_ << g.Name() + ": " + text;
                                                           return true;
                                                       });
        wizard_ = &display_->Window();
    }
    void TearDown() override {
        display_.reset();
        WizardWindowTest<PageroomWindow>::TearDown();
    }

    PageroomLogo& Logo() { return display_->Logo(); }
    PageroomWindow& Window() { return display_->Window(); }
    void Mouse(QWidget* w, QEvent::Type type, QPoint at) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, at, w->mapToGlobal(at), button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(w, &event);
    }
    // A mouse event on the logo at a point of the screen.
    void MouseAt(QEvent::Type type, QPoint global) {
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, Logo().mapFromGlobal(global), global, button,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(&Logo(), &event);
    }
    void ClickLogo() {
        Mouse(&Logo(), QEvent::MouseButtonPress, QPoint(10, 10));
        Mouse(&Logo(), QEvent::MouseButtonRelease, QPoint(10, 10));
    }
    void Enter() {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QCoreApplication::sendEvent(Named<QLineEdit>("聊天信息"), &press);
    }
    ChatLine Line(qint64 key, ChatLineKind kind, const char* text, qint32 pin = 0) {
        return ChatLine{key, kind, QString::fromUtf8(text), pin};
    }
    // A site with a few people talking, as the watcher would draw it.
    void Populate() {
        display_->SetViewGroup(kSiteView, &site_);
        display_->SetViewGroup(kPageView, &page_);
        display_->SetCaption("网站模式 - http://example.com");
        display_->SetUsers(
            kSiteView,
            {{20001, "n-alice", 3, 3}, {20002, "n-bob", 12, 4}, {20003, "[carol]", 25, 3}});
        display_->SetUsers(kPageView, {{20001, "n-alice", 3, 3}});
        display_->AddLine(kSiteView, Line(1, ChatLineKind::Info,
                                          "[09:12] *** 登录网站 http://example.com 成功。"));
        display_->AddLine(kSiteView,
                          Line(2, ChatLineKind::Join, "[09:12] *** <n-bob> 进入", 20002));
        display_->AddLine(kSiteView,
                          Line(3, ChatLineKind::Text,
                               "[09:13] <n-bob> 大家好，这个网站的新版本看过了吗？", 20002));
        display_->AddLine(kSiteView,
                          Line(4, ChatLineKind::OwnSent,
                               "[09:13] <n-alice> 看过了，www.example.com 很不错", 20001));
        display_->AddLine(kSiteView, Line(5, ChatLineKind::Action, "[09:14] * n-bob waves", 20002));
        display_->LogoCount(kSiteView, 3);
        display_->LogoCount(kPageView, 1);
    }

    std::unique_ptr<PageroomSendGate> gate_;
    std::unique_ptr<QtPageroomDisplay> display_;
    QStringList sent_;
    OVGroupInfo site_{nullptr, OV_GT_SITE, "example.com"};
    OVGroupInfo page_{nullptr, OV_GT_URL, "example.com/a.html"};
};

TEST_F(PageroomWidgets, ShownWithTheTabAndTheLogoAndSendsWhatIsTyped) {
    display_->ShowLogo(true);
    display_->SetActive(true);
    EXPECT_FALSE(Logo().isVisible());  // nowhere to stand yet
    display_->SetBrowserBounds(QRect(100, 50, 1000, 700));
    ASSERT_TRUE(Logo().isVisible());
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(Logo().pos(), QPoint(1100 - 40 - Logo().width(), 50));

    // The counts, as a screen reader reads them.
    Populate();
    auto count = [&](const char* name) {
        for (OVSkinDigit* d : Logo().findChildren<OVSkinDigit*>())
            if (d->accessibleName() == QString::fromUtf8(name))
                return d->accessibleDescription();
        return QStringLiteral("none");
    };
    EXPECT_EQ(count("当前网站在线用户数"), "3");
    EXPECT_EQ(count("当前网页在线用户数"), "1");

    // The first click shows the window over the left half, below the toolbars, and is kept.
    ClickLogo();
    ASSERT_TRUE(Window().isVisible());
    EXPECT_EQ(skinnedApp_->Settings().bClickedPageroom, 1);
    EXPECT_EQ(Window().geometry(), QRect(100, 150, 500, 580));
    EXPECT_EQ(Window().windowTitle(), "网站模式 - http://example.com");
    EXPECT_TRUE(Named<ChatView>("Site Chat Viewer")->isVisible());
    EXPECT_FALSE(Named<ChatView>("URL Chat Viewer")->isVisible());
    Shot("pageroom-window");
    SaveShot(&Logo(), "pageroom-logo");

    // Enter sends; a double-clicked name becomes the target and stays after the send.
    QLineEdit* edit = Named<QLineEdit>("聊天信息");
    edit->setText("hello");
    Enter();
    EXPECT_EQ(sent_, QStringList{"example.com: hello"});
    EXPECT_EQ(edit->text(), "");
    Window().Target(kSiteView, 1);
    edit->insert("再见");
    Enter();  // too soon after the first
    EXPECT_EQ(Window().View(kSiteView).LineAt(5).text.mid(8),
              "*** 发送信息过快，请等待1秒再发送，谢谢！");
    time_->Advance(1000);
    Enter();
    EXPECT_EQ(sent_.last(), "example.com: 对 <n-bob> 说：再见");
    EXPECT_EQ(edit->text(), "对 <n-bob> 说：");

    // The page view: its list and chat, its caption.
    Named<QAbstractButton>("切换到网页模式")->click();
    EXPECT_TRUE(Named<ChatView>("URL Chat Viewer")->isVisible());
    EXPECT_FALSE(Named<QListWidget>("当前网站用户列表")->isVisible());
    EXPECT_EQ(Window().windowTitle(), "网页模式 - http://example.com/a.html");

    // Another tab in front hides both unless the window is pinned; back in front, both return.
    display_->SetActive(false);
    EXPECT_FALSE(Logo().isVisible());
    EXPECT_FALSE(Window().isVisible());
    display_->SetActive(true);
    EXPECT_TRUE(Window().isVisible());
    Named<QAbstractButton>("是否固定窗口(不自动隐藏)")->click();
    display_->SetActive(false);
    EXPECT_TRUE(Window().isVisible());
    EXPECT_FALSE(Logo().isVisible());
    display_->SetActive(true);

    // The second click hides it; the bounds moving moves both.
    ClickLogo();
    EXPECT_FALSE(Window().isVisible());
    display_->SetBrowserBounds(QRect(0, 0, 1200, 900));
    EXPECT_EQ(Logo().pos(), QPoint(1200 - 40 - Logo().width(), 0));
    EXPECT_EQ(Window().geometry(), QRect(0, 100, 600, 780));
}

TEST_F(PageroomWidgets, ADraggedLogoKeepsItsNewAnchorAndTheAnimationEndsItsCycle) {
    display_->ShowLogo(true);
    display_->SetActive(true);
    display_->SetBrowserBounds(QRect(0, 0, 1000, 700));
    // Dragged to 30 from the left and 20 from the bottom: no click, and kept.
    const QPoint to(30, 700 - 20 - Logo().height());
    const QPoint grab = Logo().mapToGlobal(QPoint(5, 5));
    const QPoint drop = grab + (to - Logo().pos());
    MouseAt(QEvent::MouseButtonPress, grab);
    MouseAt(QEvent::MouseMove, (grab + drop) / 2);
    MouseAt(QEvent::MouseMove, drop);
    MouseAt(QEvent::MouseButtonRelease, drop);
    EXPECT_EQ(Logo().pos(), to);
    EXPECT_FALSE(Window().isVisible());
    EXPECT_EQ(Logo().Anchor(), MakeLogoAnchor(kLogoLeft, 30, kLogoBottom, 20));
    EXPECT_EQ(skinnedApp_->Settings().nPageroomBarDockTypeY, kLogoBottom);
    EXPECT_EQ(skinnedApp_->Settings().nPageroomBarDockOffsetY, 20);
    display_->SetBrowserBounds(QRect(0, 0, 800, 500));
    EXPECT_EQ(Logo().pos(), QPoint(30, 500 - 20 - Logo().height()));

    // The hover tip until the first click.
    Logo().CheckHover(true);
    ASSERT_NE(Logo().Tip(), nullptr);
    EXPECT_EQ(qobject_cast<QLabel*>(Logo().Tip())->text(), "请单击此窗口显示或隐藏聊天窗口!");
    Logo().CheckHover(false);
    EXPECT_EQ(Logo().Tip(), nullptr);

    // Entering animates until told to stop, then the cycle ends on the first frame.
    display_->LogoAnimate(true);
    time_->Advance(120 * 11);
    EXPECT_TRUE(Logo().Animating());
    display_->LogoAnimate(false);
    time_->Advance(120 * 8);
    EXPECT_FALSE(Logo().Animating());
    EXPECT_EQ(Logo().Frame(), 1);
    display_->LogoFlash();
    time_->Advance(120 * 3);
    EXPECT_TRUE(Logo().Animating());
    time_->Advance(120 * 5);
    EXPECT_FALSE(Logo().Animating());
}

TEST_F(PageroomWidgets, SavesTheShownChatAsTextAndDrawsInBothSkins) {
    display_->ShowLogo(true);
    display_->SetActive(true);
    display_->SetBrowserBounds(QRect(0, 0, 1000, 700));
    display_->ShowWindow(true);
    Populate();
    const QString file = home_ + "/chat.txt";
    ASSERT_TRUE(Window().SaveChatTo(file));
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QStringList lines = FromCp936Bytes(saved.readAll()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[2], "[09:13] <n-bob> 大家好，这个网站的新版本看过了吗？");

    ASSERT_TRUE(skin_.Load("slate"));
    QCoreApplication::processEvents();
    Shot("pageroom-window-slate");
    SaveShot(&Logo(), "pageroom-logo-slate");
    EXPECT_EQ(Logo().size(), QSize(164, 40));
}

}  // namespace
}  // namespace ov::shell::testing
