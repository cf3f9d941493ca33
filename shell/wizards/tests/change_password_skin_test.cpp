// The change-password wizard with the program's skin: each page shows its picture and the
// submitting page the animation. With ORVANE_WIZARD_SHOTS set to a folder, each page is also
// saved there as a PNG.
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

using SkinnedPasswordWizard = WizardWindowTest<ChangePasswordWizard>;

TEST_F(SkinnedPasswordWizard, EveryPageShowsItsPictureAndTheSubmittingPageItsAnimation) {
    OVShellApp& app = StartSkinnedApp();
    DeadGateway nowhere;
    app.Machine().SetGateways(GatewayList::Cernet, {nowhere.Info()});
    app.Machine().SetGateways(GatewayList::Chinanet, {nowhere.Info()});
    wizard_ = new ChangePasswordWizard(app);
    wizard_->show();
    using Model = ChangePasswordModel;

    EXPECT_TRUE(PictureShown());
    Type("用户名", "carol");
    Type("原密码", "old-pw");
    Type("新密码", "new-pw");
    Type("重复新密码", "new-pw");
    Shot("password-0-input");
    Click("下一步");
    ASSERT_EQ(Page(), Model::kSubmitting);
    EXPECT_TRUE(PictureShown());
    QMovie* movie = Animation();
    ASSERT_NE(movie, nullptr);
    EXPECT_TRUE(movie->isValid());
    EXPECT_EQ(movie->state(), QMovie::Running);
    Shot("password-1-submitting");

    M().OnChangePasswordReply(M().Outstanding(), OV_ERR_TIME_OUT);
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(movie->state(), QMovie::NotRunning);
    EXPECT_TRUE(PictureShown());
    Shot("password-2-failed");

    Click("上一步");
    Click("下一步");
    M().OnChangePasswordReply(M().Outstanding(), OV_ERR_NONE);
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_TRUE(PictureShown());
    Shot("password-3-succeeded");
}

}  // namespace
}  // namespace ov::shell::testing
