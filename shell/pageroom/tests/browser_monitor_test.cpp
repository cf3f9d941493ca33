// Pageroom following a real headless Chromium over the DevTools protocol: a tab opened on a
// page of the test's web server joins that site's and page's groups on the reference server,
// closing it leaves them, and stopping the monitor forgets the browser.
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include "shell/messaging/tests/message_fixture.h"
#include "shell/pageroom/browser_monitor.h"
#include "shell/pageroom/tests/display_recorder.h"
#include "shell/pageroom/tests/headless_chromium.h"

namespace ov::shell::testing {
namespace {

class BrowserMonitorTest : public MessageTest {
protected:
    // A DevTools HTTP call to the browser, its JSON answer.
    QJsonObject Call(quint16 port, const QByteArray& verb, const QString& path) {
        QNetworkAccessManager network;
        QNetworkReply* reply = network.sendCustomRequest(
            QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path))),
            verb);
        Drive([&] { return reply->isFinished(); }, 100);
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        delete reply;
        return answer;
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
    monitor.Start(port);
    ASSERT_TRUE(Drive([&] { return monitor.Browser().Connected(); }, 200));

    // A tab on page one: the site and the page, entered on the server.
    const QJsonObject tab = Call(port, "PUT", "/json/new?" + web.Url("/one.html"));
    const QString id = tab.value("id").toString();
    ASSERT_FALSE(id.isEmpty());
    ASSERT_TRUE(Drive(
        [&] {
            OVGroupInfo* page = registry.Find(OV_GT_URL, web.Host() + "/one.html");
            OVGroupInfo* site = registry.Find(OV_GT_SITE, web.Host());
            return page && site && page->Entered() && site->Entered();
        },
        300));
    ASSERT_TRUE(monitor.Tab(id));
    EXPECT_TRUE(displays[id]->logoShown);
    EXPECT_TRUE(
        Drive([&] { return displays[id]->Has(kPageView, "*** 获取网页在线用户列表成功"); }, 100));

    // The tab closes: both groups are left.
    OVGroupInfo* site = registry.Find(OV_GT_SITE, web.Host());
    Call(port, "GET", "/json/close/" + id);
    ASSERT_TRUE(Drive([&] { return !monitor.Tab(id); }, 200));
    EXPECT_FALSE(site->Entered());

    monitor.Stop();
    EXPECT_FALSE(monitor.Browser().Connected());
    EXPECT_EQ(monitor.TabCount(), 0);
}

}  // namespace
}  // namespace ov::shell::testing
