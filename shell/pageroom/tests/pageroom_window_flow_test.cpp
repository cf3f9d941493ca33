// The Pageroom window of a real tab between two clients of the reference server: the
// watcher fills it, and what is typed in it reaches the other client.
#include <QKeyEvent>
#include <QLineEdit>

#include "shell/messaging/tests/message_fixture.h"
#include "shell/messaging/widgets/chat_view.h"
#include "shell/pageroom/group_registry.h"
#include "shell/pageroom/tab_watcher.h"
#include "shell/pageroom/tests/display_recorder.h"
#include "shell/pageroom/widgets/pageroom_display_qt.h"
#include "shell/pageroom/widgets/pageroom_logo.h"
#include "shell/pageroom/widgets/pageroom_window.h"
#include "shell/skin/widgets/skin_controls.h"

namespace ov::shell::testing {
namespace {

class PageroomWindowFlow : public MessageTest {};

TEST_F(PageroomWindowFlow, TypedLinesReachTheOtherClientAndTurnSent) {
    StartServer();
    RegisterUser("alice");
    RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    auto named = [](const char* n) { return [n] { return QString::fromUtf8(n); }; };
    std::function<bool()> never = [] { return false; };

    PageroomSendGate gate(alice.App().Desktop().clock);
    GroupRegistry aliceGroups(alice.App().Kernel());
    GroupRegistry bobGroups(bob.App().Kernel());
    QtPageroomDisplay display(alice.App(), gate);
    DisplayRecorder bobSees;
    TabWatcher aliceTab(aliceGroups, display, named("n-alice"), alice.App().Desktop().clock, never);
    TabWatcher bobTab(bobGroups, bobSees, named("n-bob"), bob.App().Desktop().clock, never);
    display.SetBrowserBounds(QRect(0, 0, 1000, 700));
    display.SetActive(true);

    aliceTab.Navigated("http://127.0.0.2/one.html");
    bobTab.Navigated("http://127.0.0.2/one.html");
    PageroomWindow& window = display.Window();
    ASSERT_TRUE(Drive([&] {
        return window.List(kSiteView).count() == 2 && bobSees.Names(kSiteView).size() == 2;
    }));
    EXPECT_TRUE(display.Logo().isVisible());
    EXPECT_EQ(display.Logo().Count(kSiteView), 2);
    EXPECT_EQ(window.windowTitle(), "网站模式 - http://127.0.0.2");
    Drive([] { return false; }, 5);  // the page list may still be on its way
    window.SetMode(kPageView);
    EXPECT_EQ(window.windowTitle(), "网页模式 - http://127.0.0.2/one.html");

    // Typed into the page's chat: Bob reads it, Alice's own line turns sent.
    auto* edit = In<QLineEdit>(&window, "聊天信息");
    edit->setText("大家好");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QCoreApplication::sendEvent(edit, &enter);
    EXPECT_EQ(edit->text(), "");
    ASSERT_TRUE(Drive([&] { return bobSees.Has(kPageView, "<n-alice> 大家好"); }));
    ChatView& page = window.View(kPageView);
    ASSERT_TRUE(Drive([&] { return page.LineAt(page.Count() - 1).kind == ChatLineKind::OwnSent; }));
    EXPECT_EQ(page.LineAt(page.Count() - 1).text.mid(8), "<n-alice> 大家好");
    EXPECT_FALSE(bobSees.Has(kSiteView, "<n-alice> 大家好"));

    // Leaving for an address that does not qualify hides the logo.
    aliceTab.Navigated("http://localhost/");
    EXPECT_FALSE(display.Logo().isVisible());
    EXPECT_FALSE(window.isVisible());
}

}  // namespace
}  // namespace ov::shell::testing
