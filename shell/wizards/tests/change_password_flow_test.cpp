// Password changes through the wizard's window against the reference server: the logged-in
// user's own, and one from the login screen for a name typed in.
#include <QLabel>

#include "shell/core/commands.h"
#include "shell/core/login_dialog_model.h"
#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

class ChangePasswordFlow : public WizardWindowTest<ChangePasswordWizard> {
protected:
    using Model = ChangePasswordModel;

    void Change(const QString& old, const QString& fresh) {
        Type("原密码", old);
        Type("新密码", fresh);
        Type("重复新密码", fresh);
        Click("下一步");
        // The reply may be in already: the server runs in this process.
        ASSERT_NE(Page(), Model::kInput) << Boxes().join('|').toStdString();
        ASSERT_TRUE(time_->RunUntil([&] { return Page() != Model::kSubmitting; }));
    }
    QString SavedPassword(ShellClient& c, const QString& user) {
        UserSettings saved;
        return c.App().ReadUserSettings(user, &saved) ? saved.sPassword : "(none)";
    }
};

TEST_F(ChangePasswordFlow, TheLoggedInUsersNewPasswordIsKeptAndLogsInNextTime) {
    StartServer();
    ASSERT_EQ(Register("carol", "old-pw"), "carol");
    {
        ShellClient c(home_ + "/carol", *time_);
        c.WriteGateways({Server()});
        c.WriteUserSettings("carol", "old-pw", 4);
        ASSERT_TRUE(Start(c));
        ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
        client_ = &c;
        OpenWizard();
        EXPECT_EQ(Named<QLineEdit>("用户名")->text(), "carol");
        Change("old-pw", "new-pw");
        ASSERT_EQ(Page(), Model::kSucceeded);
        EXPECT_TRUE(Named<QLabel>("修改密码成功！")->isVisible());
        EXPECT_TRUE(Enabled("完成"));
        EXPECT_EQ(SavedPassword(c, "carol"), "new-pw");
        Click("完成");
        EXPECT_TRUE(Closed());
        EXPECT_TRUE(c.prompts.Boxes().empty());

        // Offline and online again: the login that follows uses the new password and writes
        // it into the settings once more, as does the logout at the close.
        c.Frame().Command(ID_STATUS_OFFLINE);
        c.Frame().Command(ID_STATUS_ONLINE);
        ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
        EXPECT_TRUE(c.prompts.Boxes().empty());
        Close(c);
        client_ = nullptr;
    }
    // The next start logs in by itself with what was saved.
    ShellClient again(home_ + "/carol", *time_);
    EXPECT_EQ(SavedPassword(again, "carol"), "new-pw");
    ASSERT_TRUE(Start(again));
    ASSERT_TRUE(time_->RunUntil([&] { return again.Frame().LoggedInToServer(); }));
    EXPECT_TRUE(again.prompts.Boxes().empty());
    Close(again);
}

TEST_F(ChangePasswordFlow, AWrongPasswordOrAnUnknownNameFromTheLoginScreenIsRefused) {
    StartServer();
    ASSERT_EQ(Register("dave", "right"), "dave");
    ShellClient& c = StartClient("dave");
    c.WriteUserSettings("dave", "right", 2);
    OpenWizard();
    EXPECT_EQ(Named<QLineEdit>("用户名")->text(), "");
    const QString refused = "错误的密码或用户名，请选择“上一步”，然后重新输入您的用户名和密码！";

    Type("用户名", "dave");
    Change("wrong", "other");
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(M().FailureText(), refused);
    EXPECT_EQ(SavedPassword(c, "dave"), "right");

    Click("上一步");
    Type("用户名", "nobody");
    Change("right", "other");
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(M().FailureText(), refused);

    // Corrected, the change goes through without a login.
    Click("上一步");
    Type("用户名", "dave");
    Change("right", "other");
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_EQ(SavedPassword(c, "dave"), "other");
    Click("完成");
    LoginDialogModel login(c.App());
    ASSERT_EQ(login.Accept("dave", "other", 0, 2, true), LoginDialogModel::Outcome::Accepted);
    ASSERT_TRUE(time_->RunUntil([&] { return c.Frame().LoggedInToServer(); }));
}

}  // namespace
}  // namespace ov::shell::testing
