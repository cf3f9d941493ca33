// The add-buddy wizard and the request window with the program's skin: every page shows its
// picture, the adding page its animation. With ORVANE_WIZARD_SHOTS set to a folder, each page
// and the request window are also saved there as PNGs.
#include <QPlainTextEdit>

#include "shell/core/hidden_frame.h"
#include "shell/testing/window_shot.h"

#include "shell/wizards/tests/add_buddy_fixture.h"

namespace ov::shell::testing {
namespace {

class SkinnedAddBuddy : public AddBuddyTest {
protected:
    // A skinned application logged in to a server that then goes away: commands leave, the
    // replies are the test's.
    OVShellApp& StartApp() {
        StartServer();
        EXPECT_NE(RegisterUser("alice"), 0);
        OVShellApp& app = StartSkinnedApp();
        app.Machine().SetGateways(GatewayList::Cernet, {Server()});
        app.Machine().SetGateways(GatewayList::Chinanet, {Server()});
        LoginDialogModel login(app);
        EXPECT_EQ(login.Accept("alice", "pw", 0, 2, true), LoginDialogModel::Outcome::Accepted);
        EXPECT_TRUE(time_->RunUntil([&] { return app.Frame()->LoggedInToServer(); }));
        StopServer();
        return app;
    }
    void Reply(OVErrorCodeEnum error) {
        M().OnAddUserToBuddyTreeReply(M().Outstanding(), error, 10999);
        QCoreApplication::processEvents();
    }
    void Expect(int page, const char* shot) {
        ASSERT_EQ(Page(), page);
        EXPECT_TRUE(PictureShown()) << shot;
        Shot(shot);
    }
};

TEST_F(SkinnedAddBuddy, EveryPageShowsItsPictureAndTheAddingPageItsAnimation) {
    OVShellApp& app = StartApp();
    wizard_ = new AddBuddyWizard(app);
    wizard_->show();
    Type("用户名", "olga");
    Expect(Model::kWelcome, "addbuddy-0-welcome");

    Click("通过Orvane号码");
    Type("Orvane号码", "10999");
    Click("下一步");
    Expect(Model::kChooseGroup, "addbuddy-1-group");

    Click("下一步");
    Expect(Model::kAdding, "addbuddy-2-adding");
    QMovie* movie = Animation();
    ASSERT_NE(movie, nullptr);
    EXPECT_EQ(movie->state(), QMovie::Running);

    Reply(OV_ERR_ADD_BUDDY_NOMSG);
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
    Named<QPlainTextEdit>("验证信息")->setPlainText("你好，我是在网上认识你的朋友。");
    Expect(Model::kVerification, "addbuddy-3-verification");

    Click("下一步");
    Reply(OV_ERR_BUDDY_AUTH);
    Expect(Model::kVerificationSent, "addbuddy-4-sent");
    app.UserData().BuddyAnswered(10999, false);
    Expect(Model::kRefused, "addbuddy-5-refused");
    Click("完成");

    wizard_ = AddBuddyWizard::Open(app, 10999, "olga", 0x0103);
    Click("下一步");
    Reply(OV_ERR_TIME_OUT);
    Expect(Model::kFailed, "addbuddy-6-failed");
    Click("上一步");
    Click("下一步");
    Reply(OV_ERR_NONE);
    Expect(Model::kSucceeded, "addbuddy-7-succeeded");
}

TEST_F(SkinnedAddBuddy, TheRequestWindow) {
    OVShellApp& app = StartApp();
    QPointer<BuddyRequestWindow> w = BuddyRequestWindow::Open(
        app, RequestFrom(10999, "olga", "你好，我是在网上认识你的朋友，加个好友吧！"));
    SaveShot(w, "addbuddy-request");
    delete w.data();
}

}  // namespace
}  // namespace ov::shell::testing
