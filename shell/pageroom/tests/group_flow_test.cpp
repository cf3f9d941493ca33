// Pageroom groups between two clients of the reference server in this process: entering a
// site and a page, the user lists, joins and leaves as lines, group chat with actions and the
// own lines' results, a list in parts, a second window catching up, leaving and entering again.
#include <cstring>

#include "shell/messaging/tests/message_fixture.h"
#include "shell/pageroom/group_registry.h"
#include "shell/pageroom/pageroom_watcher.h"
#include "shell/pageroom/tab_watcher.h"
#include "shell/pageroom/tests/display_recorder.h"

namespace ov::shell::testing {
namespace {

// One client's tab: its registry, its watcher and what it drew.
struct Tab {
    Tab(ShellClient& c, const QString& ownName)
        : registry(c.App().Kernel()),
          watcher(
              display, [ownName] { return ownName; }, c.App().Desktop().clock) {}

    void Open(const QString& site, const QString& page) {
        watcher.SetGroups(&registry.Acquire(OV_GT_SITE, site, &watcher),
                          &registry.Acquire(OV_GT_URL, page, &watcher));
        watcher.Site()->Enter(&watcher, nullptr, QString());
        watcher.Page()->Enter(&watcher, nullptr, QString());
    }
    // Leaves the page (another page of the site, or the tab closed).
    void LeavePage() {
        OVGroupInfo* page = watcher.Page();
        registry.Release(page->Type(), page->Name(), &watcher);
        page->LeaveIfIdle(0);
    }

    DisplayRecorder display;
    GroupRegistry registry;
    PageroomWatcher watcher;
};

class GroupFlow : public MessageTest {};

TEST_F(GroupFlow, TwoClientsMeetOnASiteAndAPageAndChat) {
    StartServer();
    RegisterUser("alice");
    const qint32 bobPin = RegisterUser("bob");
    ShellClient& alice = LogIn("alice");
    ShellClient& bob = LogIn("bob");
    Tab a(alice, "n-alice");
    Tab b(bob, "n-bob");

    a.Open("127.0.0.2", "127.0.0.2/one.html");
    EXPECT_TRUE(a.display.animating);
    EXPECT_EQ(a.display.Texts(kSiteView).value(0), "*** 正在登录到网站 http://127.0.0.2 ...");
    EXPECT_EQ(a.display.Texts(kPageView).value(0),
              "*** 正在登录到网页 http://127.0.0.2/one.html ...");
    ASSERT_TRUE(Drive([&] {
        return a.display.Has(kSiteView, "*** 获取网站在线用户列表成功") &&
               a.display.Has(kPageView, "*** 获取网页在线用户列表成功");
    }));
    EXPECT_EQ(a.display.Texts(kPageView),
              (QStringList{"*** 正在登录到网页 http://127.0.0.2/one.html ...",
                           "*** 登录网页 http://127.0.0.2/one.html 成功。",
                           "*** 正在获取网页在线用户列表...", "*** 获取网页在线用户列表成功"}));
    EXPECT_EQ(a.display.caption, "网页模式 - http://127.0.0.2/one.html");
    EXPECT_FALSE(a.display.animating);
    EXPECT_EQ(a.display.counts[kSiteView], 1);
    EXPECT_EQ(a.display.Names(kPageView), QStringList{"n-alice"});

    // Bob comes to the same page: each sees the other.
    b.Open("127.0.0.2", "127.0.0.2/one.html");
    ASSERT_TRUE(Drive([&] {
        return b.display.Names(kPageView).size() == 2 && a.display.Names(kPageView).size() == 2 &&
               a.display.Names(kSiteView).size() == 2;
    }));
    EXPECT_TRUE(a.display.Has(kPageView, "*** <n-bob> 进入"));
    EXPECT_EQ(a.display.lines[kPageView].back().kind, ChatLineKind::Join);
    EXPECT_EQ(a.display.lines[kPageView].back().pin, bobPin);
    EXPECT_EQ(a.display.counts[kPageView], 2);
    EXPECT_GT(a.display.flashes, 0);

    // Chat on the page: an action in capitals, a line that names the reader.
    ASSERT_TRUE(a.watcher.Page()->Send(OV_COMPONENT_MESSAGER, 0, "/ME waves"));
    ASSERT_TRUE(a.watcher.Page()->Send(OV_COMPONENT_MESSAGER, 0, "hello N-BOB"));
    EXPECT_EQ(a.display.lines[kPageView].back().kind, ChatLineKind::OwnSending);
    ASSERT_TRUE(Drive([&] { return b.display.Has(kPageView, "<n-alice> hello N-BOB"); }));
    const QList<ChatLine>& got = b.display.lines[kPageView];
    EXPECT_EQ(got[got.size() - 2].text.mid(8), "* n-alice waves");
    EXPECT_EQ(got[got.size() - 2].kind, ChatLineKind::Action);
    EXPECT_EQ(got.back().kind, ChatLineKind::Highlight);
    ASSERT_TRUE(
        Drive([&] { return a.display.lines[kPageView].back().kind == ChatLineKind::OwnSent; }));
    const QList<ChatLine>& own = a.display.lines[kPageView];
    EXPECT_EQ(own[own.size() - 2].text.mid(8), "* n-alice waves");
    EXPECT_EQ(own[own.size() - 2].kind, ChatLineKind::OwnActionSent);

    // Bob goes to another page of the site: he leaves alice's page group, both stay on the
    // site; the old group object stays in his registry with no ID until entered again.
    OVGroupInfo* old = b.watcher.Page();
    b.LeavePage();
    EXPECT_EQ(old->Id(), 0);
    EXPECT_FALSE(old->Entered());
    ASSERT_TRUE(Drive([&] { return a.display.Names(kPageView).size() == 1; }));
    EXPECT_TRUE(a.display.Has(kPageView, "*** <n-bob> 离开"));
    EXPECT_EQ(a.display.Names(kSiteView).size(), 2);
    // (The watcher released it before leaving: it hears no OnGroupLeft, as it moves on.)
    b.Open("127.0.0.2", "127.0.0.2/one.html");  // back again: the same object, entering anew
    EXPECT_EQ(b.watcher.Page(), old);
    EXPECT_TRUE(old->Entering());
    EXPECT_EQ(old->Id(), 0);
    ASSERT_TRUE(Drive([&] { return old->Entered() && a.display.Names(kPageView).size() == 2; }));
    EXPECT_EQ(b.registry.Size(), 2);
}

TEST_F(GroupFlow, ListsInPartsASecondWindowAndStrangers) {
    StartServer();
    RegisterUser("alice");
    ShellClient& alice = LogIn("alice");
    Tab a(alice, "n-alice");
    a.Open("127.0.0.2", "127.0.0.2/one.html");
    OVGroupInfo& page = *a.watcher.Page();
    ASSERT_TRUE(Drive([&] { return !page.Listing() && page.Entered(); }));

    // A second window on the same page catches up with the entered group, alone.
    DisplayRecorder second;
    PageroomWatcher other(
        second, [] { return QStringLiteral("n-alice"); }, alice.App().Desktop().clock);
    other.SetGroups(&a.registry.Acquire(OV_GT_SITE, "127.0.0.2", &other),
                    &a.registry.Acquire(OV_GT_URL, "127.0.0.2/one.html", &other));
    EXPECT_EQ(other.Page(), &page);
    const qsizetype before = a.display.lines[kPageView].size();
    page.Enter(&other, nullptr, QString());
    EXPECT_EQ(second.Texts(kPageView).value(0), "*** 正在登录到网页 http://127.0.0.2/one.html ...");
    EXPECT_EQ(second.Texts(kPageView).value(1), "*** 登录网页 http://127.0.0.2/one.html 成功。");
    // The first window hears no second enter, only the list the new window asks for.
    EXPECT_EQ(a.display.Texts(kPageView).count("*** 登录网页 http://127.0.0.2/one.html 成功。"), 1);
    EXPECT_EQ(a.display.Texts(kPageView).mid(before),
              QStringList{"*** 正在获取网页在线用户列表..."});

    // A list in three parts: one list, told once, pending until the last part.
    page.RequestUsers();
    ASSERT_TRUE(page.Listing());
    auto user = [](qint32 pin, const char* nick) {
        OV_USER_INFO u{};
        u.nPin = static_cast<uint32_t>(pin);
        std::strncpy(u.sNickName, nick, sizeof u.sNickName - 1);
        u.nOnlineStatus = OV_ONLINE_STATUS_ONLINE;
        return std::string(reinterpret_cast<const char*>(&u), sizeof u);
    };
    const LONG pending = page.PendingList();
    const int told = static_cast<int>(a.display.lines[kPageView].size());
    page.OnRequestGroupOnlineUserListReply2(pending, OV_ERR_NONE, OV_GT_URL, page.Id(), 3,
                                            OV_LISTFLAG_HEAD, 1, user(20001, "h"));
    page.OnRequestGroupOnlineUserListReply2(pending, OV_ERR_NONE, OV_GT_URL, page.Id(), 3,
                                            OV_LISTFLAG_BODY, 1, user(20002, "b"));
    EXPECT_TRUE(page.Listing());
    EXPECT_EQ(a.display.lines[kPageView].size(), told);
    page.OnRequestGroupOnlineUserListReply2(pending, OV_ERR_NONE, OV_GT_URL, page.Id(), 3,
                                            OV_LISTFLAG_TAIL, 1, user(20003, "t"));
    EXPECT_FALSE(page.Listing());
    EXPECT_EQ(a.display.Names(kPageView), (QStringList{"h", "b", "t"}));
    EXPECT_EQ(a.display.Texts(kPageView).back(), "*** 获取网页在线用户列表成功");
    EXPECT_EQ(page.OnlineCount(), 3);

    // A message from someone not in the list names him by his number; a status change of a
    // member changes his icon's overlay.
    page.OnGroupMessageReceived(20099, OV_GT_URL, page.Id(), OV_COMPONENT_MESSAGER, 0, "hi", 0);
    EXPECT_EQ(a.display.Texts(kPageView).back(), "<[20099]> hi");
    page.OnUserStatusChanged(20002, OV_ONLINE_STATUS_AWAY);
    EXPECT_EQ(a.display.users[kPageView][1].overlay, 4);
    // Other components' messages are not lines.
    page.OnGroupMessageReceived(20001, OV_GT_URL, page.Id(), OV_COMPONENT_CHAT, 0, "x", 0);
    EXPECT_EQ(a.display.Texts(kPageView).back(), "<[20099]> hi");

    // Watched by two windows, the group stays when one asks to leave if idle; forced, it goes.
    page.LeaveIfIdle(1);
    EXPECT_TRUE(page.Entered());
    EXPECT_TRUE(page.Listening());
    page.LeaveIfIdle(-1);
    EXPECT_FALSE(page.Entered());
    EXPECT_FALSE(page.Listening()) << "an idle group costs the kernel's events nothing";
    EXPECT_EQ(page.Id(), 0);
    EXPECT_TRUE(page.Users().isEmpty());
    EXPECT_EQ(a.display.counts[kPageView], 0);
    EXPECT_EQ(a.display.caption, "未登录到网站...");
    EXPECT_FALSE(page.Send(OV_COMPONENT_MESSAGER, 0, "nobody hears"));
}

TEST_F(GroupFlow, TabsShareGroupsAndLeaveThemOnlyWhenNoneWatches) {
    StartServer();
    RegisterUser("alice");
    ShellClient& alice = LogIn("alice");
    GroupRegistry registry(alice.App().Kernel());
    bool firstShow = true;
    auto takeFirstShow = [&] { return std::exchange(firstShow, false); };
    auto name = [] { return QStringLiteral("n-alice"); };
    DisplayRecorder one, two;
    TabWatcher tab1(registry, one, name, alice.App().Desktop().clock, takeFirstShow);
    TabWatcher tab2(registry, two, name, alice.App().Desktop().clock, takeFirstShow);

    tab1.Navigated("http://127.0.0.2/one.html");
    tab2.Navigated("HTTPS://127.0.0.2/two.html");
    EXPECT_TRUE(one.logoShown);
    EXPECT_EQ(one.windowShows + two.windowShows, 1);  // once per installation
    ASSERT_TRUE(tab1.Site());
    EXPECT_EQ(tab1.Site(), tab2.Site());
    EXPECT_NE(tab1.Page(), tab2.Page());
    EXPECT_EQ(one.groups[kSiteView], tab1.Site());
    OVGroupInfo* site = tab1.Site();
    ASSERT_TRUE(
        Drive([&] { return site->Entered() && tab1.Page()->Entered() && tab2.Page()->Entered(); }));
    EXPECT_EQ(site->ObserverCount(), 2);

    // Within the site only the page changes; the old page group, watched by nobody, is left.
    // On the way the browser reports the tab with no address: nothing is left for it.
    OVGroupInfo* oldPage = tab2.Page();
    tab2.Navigated("");
    EXPECT_TRUE(oldPage->Entered());
    EXPECT_TRUE(two.logoShown);
    EXPECT_EQ(two.groups[kSiteView], site);
    tab2.Navigated("http://127.0.0.2/one.html");
    EXPECT_EQ(tab2.Site(), site);
    EXPECT_TRUE(site->Entered());
    EXPECT_EQ(tab2.Page(), tab1.Page());
    EXPECT_FALSE(oldPage->Entered());
    EXPECT_EQ(oldPage->Id(), 0);

    // The first tab closes: the other keeps both groups.
    tab1.Detach();
    tab1.Navigated("http://127.0.0.2/two.html");  // a closed tab follows nothing
    EXPECT_TRUE(site->Entered());
    EXPECT_TRUE(tab2.Page()->Entered());
    EXPECT_EQ(site->ObserverCount(), 1);
    EXPECT_FALSE(tab1.Site());

    // An address that does not qualify: both left, the logo and the window hidden.
    OVGroupInfo* page = tab2.Page();
    tab2.Navigated("http://localhost/");
    EXPECT_FALSE(site->Entered());
    EXPECT_FALSE(page->Entered());
    EXPECT_FALSE(two.logoShown);
    EXPECT_FALSE(two.windowShown);
    EXPECT_EQ(two.groups[kSiteView], nullptr);
    EXPECT_EQ(two.counts[kSiteView], 0);
    EXPECT_EQ(registry.Size(), 3);  // group objects stay for the session
}

}  // namespace
}  // namespace ov::shell::testing
