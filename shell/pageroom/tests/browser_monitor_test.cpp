// Pageroom following a real headless Chromium over the DevTools protocol: a tab opened on a
// page of the test's web server joins that site's and page's groups on the reference server,
// closing it leaves them, and stopping the monitor forgets the browser.
#include "shell/pageroom/browser_monitor.h"
#include "shell/messaging/tests/message_fixture.h"
#include "shell/pageroom/tests/devtools_calls.h"
#include "shell/pageroom/tests/display_recorder.h"
#include "shell/pageroom/tests/headless_chromium.h"

namespace ov::shell::testing {
namespace {

class BrowserMonitorTest : public MessageTest {
protected:
    WaitFor Wait() {
        return [this](const std::function<bool()>& done) { return Drive(done, 100); };
    }
};

TEST_F(BrowserMonitorTest, TabsJoinAndLeaveTheirGroups) {
    if (HeadlessChromium::Program().isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    StartServer();
    RegisterUser("alice");
    ShellClient& alice = LogIn("alice");
    TinyWebServer web;
    HeadlessChromium browser;
    const quint16 port =
        browser.Port([&](const std::function<bool()>& done) { return Drive(done, 200); });
    ASSERT_NE(port, 0) << "the browser did not start";

    GroupRegistry registry(alice.App().Kernel());
    std::map<QString, DisplayRecorder*> displays;
    BrowserMonitor monitor(
        registry,
        [&](const QString& id) {
            auto display = std::make_unique<DisplayRecorder>();
            displays[id] = display.get();
            return display;
        },
        [] { return QStringLiteral("n-alice"); }, alice.App().Desktop().clock,
        [] { return false; });
    // A tab on page one, open before Pageroom looks (the browser's first tab, blank, is older).
    const QString id = OpenTab(port, web.Url("/one.html"), Wait());
    ASSERT_FALSE(id.isEmpty());
    monitor.Start(port);
    ASSERT_TRUE(Drive([&] { return monitor.Browser().Connected(); }, 200));

    // The site and the page, entered on the server.
    ASSERT_TRUE(Drive(
        [&] {
            OVGroupInfo* page = registry.Find(OV_GT_URL, web.Host() + "/one.html");
            OVGroupInfo* site = registry.Find(OV_GT_SITE, web.Host());
            return page && site && page->Entered() && site->Entered();
        },
        300));
    ASSERT_TRUE(monitor.Tab(id));
    EXPECT_TRUE(displays[id]->logoShown);
    // Of the tabs found open, the one used last is the one its window shows.
    EXPECT_TRUE(Drive([&] { return displays[id]->active; }, 100));
    EXPECT_TRUE(
        Drive([&] { return displays[id]->Has(kPageView, "*** 获取网页在线用户列表成功"); }, 100));

    // The tab closes: both groups are left.
    OVGroupInfo* site = registry.Find(OV_GT_SITE, web.Host());
    CloseTab(port, id, Wait());
    ASSERT_TRUE(Drive([&] { return !monitor.Tab(id); }, 200));
    EXPECT_FALSE(site->Entered());

    monitor.Stop();
    EXPECT_FALSE(monitor.Browser().Connected());
    EXPECT_EQ(monitor.TabCount(), 0);
}

}  // namespace
}  // namespace ov::shell::testing
