// Pageroom from login to logout with real parts: two clients of the reference server in this
// process, each following its own headless Chromium, meet on the pages of a web server on
// 127.0.0.2; the frame starts and stops the following with the login and the online status.
#include "shell/pageroom/pageroom_service.h"
#include <sys/stat.h>

#include <QFile>
#include <QTemporaryDir>

#include "shell/core/commands.h"
#include "shell/core/login_dialog_model.h"
#include "shell/messaging/tests/message_fixture.h"
#include "shell/pageroom/tests/devtools_calls.h"
#include "shell/pageroom/tests/display_recorder.h"
#include "shell/pageroom/tests/headless_chromium.h"

namespace ov::shell::testing {
namespace {

class PageroomServiceTest : public MessageTest {
protected:
    // A logged-in client whose Pageroom follows a headless browser of its own (or, without
    // one, the port given).
    struct Client {
        ShellClient* shell = nullptr;
        std::unique_ptr<HeadlessChromium> browser;
        quint16 port = 0;
        std::map<QString, DisplayRecorder*> displays;  // by tab
        std::unique_ptr<PageroomService> pageroom;

        DisplayRecorder& Display(const QString& tab) { return *displays.at(tab); }
        OVGroupInfo* Group(OVGroupTypeEnum type, const QString& name) const {
            GroupRegistry* groups = pageroom->Groups();
            return groups ? groups->Find(type, name) : nullptr;
        }
    };

    void TearDown() override {
        // Pageroom goes before the client it serves.
        for (auto& c : clients_) {
            c->shell->App().SetPageroom(nullptr);
            c->pageroom.reset();
        }
        MessageTest::TearDown();
        clients_.clear();
    }

    WaitFor Wait(int rounds = 200) {
        return [this, rounds](const std::function<bool()>& done) { return Drive(done, rounds); };
    }

    Client& Join(const QString& name, bool withBrowser = true, quint16 port = 0) {
        auto client = std::make_unique<Client>();
        Client& c = *client;
        clients_.push_back(std::move(client));
        if (withBrowser) {
            c.browser = std::make_unique<HeadlessChromium>();
            port = c.browser->Port(Wait());
            EXPECT_NE(port, 0) << "the browser did not start";
        }
        c.port = port;
        c.shell = &LogIn(name, [&](ShellClient& shell) {
            c.pageroom = std::make_unique<PageroomService>(shell.App(), [&c](const QString& tab) {
                auto display = std::make_unique<DisplayRecorder>();
                c.displays[tab] = display.get();
                return display;
            });
            shell.App().SetPageroom(c.pageroom.get());
            shell.App().Machine().nDebuggingPort = c.port;
        });
        return c;
    }

    std::vector<std::unique_ptr<Client>> clients_;
};

TEST_F(PageroomServiceTest, TwoClientsMeetOnASiteAndItsPages) {
    if (HeadlessChromium::Program().isEmpty())
        GTEST_SKIP() << "chromium is not installed";
    StartServer();
    RegisterUser("alice");
    RegisterUser("bob");
    TinyWebServer web;
    Client& a = Join("alice");
    Client& b = Join("bob");
    ASSERT_TRUE(a.pageroom->Monitor() && b.pageroom->Monitor()) << "started at login";
    ASSERT_TRUE(Drive([&] {
        return a.pageroom->Monitor()->Browser().Connected() &&
               b.pageroom->Monitor()->Browser().Connected();
    }));

    // Both open page one: each meets the other on the site and on the page.
    const QString site = web.Host();
    const QString one = site + "/one.html";
    const QString ta = OpenTab(a.port, web.Url("/one.html"), Wait());
    const QString tb = OpenTab(b.port, web.Url("/one.html"), Wait());
    ASSERT_FALSE(ta.isEmpty());
    ASSERT_FALSE(tb.isEmpty());
    auto sees = [](Client& c, const QString& tab, int view, const QString& who) {
        return c.displays.count(tab) && c.Display(tab).Names(view).contains(who);
    };
    ASSERT_TRUE(Drive([&] {
        return sees(a, ta, kSiteView, "n-bob") && sees(a, ta, kPageView, "n-bob") &&
               sees(b, tb, kSiteView, "n-alice") && sees(b, tb, kPageView, "n-alice");
    }));
    // The tab is the one its window shows, and the window's place is known.
    EXPECT_TRUE(Drive([&] { return a.Display(ta).active && !a.Display(ta).bounds.isEmpty(); }));
    EXPECT_TRUE(a.Display(ta).logoShown);

    // A says something on the page: it reaches B's page chat.
    ASSERT_TRUE(a.Group(OV_GT_URL, one)->Send(19760112, 0, "hello page one"));
    EXPECT_TRUE(Drive([&] { return b.Display(tb).Has(kPageView, "<n-alice> hello page one"); }));

    // B moves on to page two: B leaves A's page, both stay on the site.
    ASSERT_TRUE(Navigate(b.port, tb, web.Url("/two.html"), Wait()));
    ASSERT_TRUE(Drive([&] { return !sees(a, ta, kPageView, "n-bob"); }));
    EXPECT_TRUE(sees(a, ta, kSiteView, "n-bob"));
    EXPECT_TRUE(Drive([&] {
        OVGroupInfo* two = b.Group(OV_GT_URL, site + "/two.html");
        return two && two->Entered();
    }));
    EXPECT_FALSE(b.Group(OV_GT_URL, one)->Entered());
    EXPECT_TRUE(b.Group(OV_GT_SITE, site)->Entered());

    // B closes the tab: B leaves the site as well.
    CloseTab(b.port, tb, Wait());
    ASSERT_TRUE(Drive([&] { return !sees(a, ta, kSiteView, "n-bob"); }));
    EXPECT_FALSE(b.Group(OV_GT_SITE, site)->Entered());

    // Invisible, A stops following the browser and leaves; visible again, A's open tab brings
    // it back to the page.
    a.shell->Frame().Command(ID_STATUS_INVISIBLE);
    EXPECT_FALSE(a.pageroom->Monitor());
    a.shell->Frame().Command(ID_STATUS_ONLINE);
    ASSERT_TRUE(a.pageroom->Monitor());
    EXPECT_TRUE(Drive([&] {
        OVGroupInfo* page = a.Group(OV_GT_URL, one);
        return page && page->Entered();
    }));

    // Logging out stops it.
    a.shell->Frame().Command(ID_FUNCTION_LOGOUT);
    EXPECT_FALSE(a.pageroom->Monitor());
}

TEST_F(PageroomServiceTest, SwitchingPageroomOnWithNoBrowserTellsTheUserAfterTenSeconds) {
    StartServer();
    RegisterUser("carol");
    // A port where nothing listens.
    quint16 nothing = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        nothing = probe.serverPort();
    }
    Client& c = Join("carol", false, nothing);
    ShellClient& shell = *c.shell;
    const QString message = QString::fromUtf8("无法启动Pageroom窗口，Pageroom功能已经被取消!\n");

    // Logged in with Pageroom on as before: no word, however long the browser is missing.
    time_->Advance(PageroomService::kAnswerMs + 1000);
    EXPECT_TRUE(shell.prompts.Texts().filter(message).isEmpty());

    // Off at the last login, on at this one: the person hears of it once ten seconds passed.
    shell.Frame().Command(ID_FUNCTION_LOGOUT);
    shell.App().LoadUserSettings("carol");
    shell.App().Settings().bEnablePageroom = false;
    shell.App().Settings().Save();
    LoginDialogModel login(shell.App());
    ASSERT_EQ(login.Accept("carol", "pw", 0, 2, true), LoginDialogModel::Outcome::Accepted);
    ASSERT_TRUE(time_->RunUntil([&] { return shell.Frame().LoggedInToServer(); }));
    time_->Advance(PageroomService::kAnswerMs - 1000);
    EXPECT_TRUE(shell.prompts.Texts().filter(message).isEmpty());
    time_->Advance(2000);
    EXPECT_EQ(shell.prompts.Texts().filter(message).size(), 1);
    EXPECT_TRUE(c.pageroom->Monitor()) << "it goes on waiting for the browser";
}

TEST_F(PageroomServiceTest, TheBrowserStartsOnAProfileOfItsOwnWithTheFollowedPort) {
    ShellClient& c = StartClient("dave");
    PageroomService pageroom(c.App(), [](const QString&) { return nullptr; });
    // A stand-in browser that writes down how it was started.
    QTemporaryDir dir;
    const QString program = dir.filePath("browser");
    const QString written = dir.filePath("arguments");
    {
        QFile f(program);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(("#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + written + "'\n").toUtf8());
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    pageroom.SetBrowserProgram(program);
    c.App().Machine().nDebuggingPort = 9444;
    pageroom.StartBrowser();
    QFile arguments(written);
    ASSERT_TRUE(Drive([&] { return arguments.exists() && arguments.size() > 0; }, 100));
    ASSERT_TRUE(arguments.open(QIODevice::ReadOnly));
    const QString profile = pageroom.BrowserProfile();
    EXPECT_EQ(QString::fromUtf8(arguments.readAll()).trimmed().split('\n'),
              PageroomService::BrowserArguments(profile, 9444));
    EXPECT_TRUE(profile.startsWith(c.App().Directories().DataHome()));
    // The browser keeps the person's browsing: as private as the rest of the data home.
    struct stat st {};
    ASSERT_EQ(::stat(profile.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_TRUE(c.prompts.Texts().isEmpty());

    // No browser to start: the person is told.
    pageroom.SetBrowserProgram(QString());
    pageroom.StartBrowser();
    EXPECT_EQ(c.prompts.Texts(),
              QStringList{"无法启动Pageroom浏览器，请确定你已经安装Chromium浏览器。"});
}

}  // namespace
}  // namespace ov::shell::testing
