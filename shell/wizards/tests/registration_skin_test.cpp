// The wizard with the program's skin: every page shows its picture and the registering page
// its animation. With ORVANE_WIZARD_SHOTS set to a folder, each page is also saved there as a
// PNG, to look at.
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

using SkinnedWizard = WizardTest;

TEST_F(SkinnedWizard, EveryPageShowsItsPictureAndTheRegisteringPageItsAnimation) {
    OVShellApp& app = StartSkinnedApp();
    DeadGateway nowhere;
    {
        KernelWatch watch(app.Kernel());
        LONG seq = 0;
        app.Kernel()->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), nowhere.Port(), &seq);
    }
    wizard_ = new RegistrationWizard(app);
    wizard_->show();

    EXPECT_TRUE(PictureShown());
    Shot("0-welcome");
    Click("下一步");
    EXPECT_TRUE(PictureShown());
    Shot("1-terms");
    Click("我接受以上的所有条款，并希望注册成为Orvane用户");
    Click("下一步");
    Type("登录名", "alice");
    Type("昵称", "小明");
    Type("电子邮件", "alice@example.org");
    Type("密码", "secret");
    Type("重复密码", "secret");
    EXPECT_TRUE(PictureShown());
    Shot("2-basic");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kPersonal);
    ChoosePersonal();
    EXPECT_TRUE(PictureShown());
    Shot("3-personal");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kRegistering);
    EXPECT_TRUE(PictureShown());
    QMovie* movie = Animation();
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isValid());
    EXPECT_EQ(movie->state(), QMovie::Running);
    Shot("5-registering");

    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_USR_EXIST, 0, "");
    ASSERT_EQ(Page(), Model::kNameTaken);
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
    EXPECT_TRUE(PictureShown());
    Shot("4-name-taken");
    Click("下一步");
    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_TIME_OUT, 0, "");
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_TRUE(PictureShown());
    Shot("6-failed");
    Click("上一步");
    Click("下一步");
    M().OnRegisterUserReply(M().Outstanding(), OV_ERR_NONE, 10001, "alice");
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_TRUE(PictureShown());
    Shot("7-succeeded");
}

}  // namespace
}  // namespace ov::shell::testing
