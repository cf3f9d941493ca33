// The change-password wizard without a server: its checks in their order, the pages each
// reply leads to, and what a success keeps on this computer.
#include <QLabel>

#include "shell/wizards/tests/wizard_fixture.h"

namespace ov::shell::testing {
namespace {

class ChangePasswordPages : public WizardWindowTest<ChangePasswordWizard> {
protected:
    using Model = ChangePasswordModel;

    // A client whose gateway hears but never answers.
    ShellClient& StartOffline(const QString& name) {
        ShellClient& c = NewClient(name);
        c.WriteGateways({gateway_.Info()});
        EXPECT_TRUE(Start(c));
        time_->RunDue();
        client_ = &c;
        return c;
    }
    void Fill(const QString& user, const QString& old, const QString& fresh,
              const QString& repeated) {
        Type("用户名", user);
        Type("原密码", old);
        Type("新密码", fresh);
        Type("重复新密码", repeated);
    }
    // Fills the input page and sends it; the wizard waits for its reply.
    void Submit(const QString& user, const QString& fresh = "new-pw") {
        Fill(user, "old-pw", fresh, fresh);
        Click("下一步");
        ASSERT_EQ(Page(), Model::kSubmitting) << Boxes().join('|').toStdString();
        ASSERT_NE(M().Outstanding(), 0);
    }
    QString SavedPassword(const QString& user) {
        UserSettings saved;
        if (!client_->App().ReadUserSettings(user, &saved))
            return "(none)";
        return saved.sPassword;
    }

    DeadGateway gateway_;
};

TEST_F(ChangePasswordPages, TheChecksComeOneAtATimeAndARefusedInputSendsNothing) {
    StartOffline("checks");
    OpenWizard();
    EXPECT_EQ(wizard_->windowTitle(), "修改登录密码");
    EXPECT_EQ(wizard_->accessibleName(), "修改登录密码");
    EXPECT_EQ(Page(), Model::kInput);
    EXPECT_EQ(Named<QLineEdit>("用户名")->text(), "");  // nobody is logged in
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_TRUE(Enabled("下一步"));
    EXPECT_TRUE(Enabled("取消"));
    EXPECT_FALSE(Enabled("完成"));
    gateway_.Heard();

    const struct {
        const char* user;
        const char* old;
        const char* fresh;
        const char* repeated;
        const char* box;
        const char* focus;
    } refused[] = {
        {"", "", "", "", "请输入登录名", "用户名"},
        {"", "old", "new", "new", "请输入登录名", "用户名"},
        {"carol", "", "new", "new", "请输入原来的登录密码", "原密码"},
        {"carol", "old", "", "", "请输入新的登录密码", "新密码"},
        {"carol", "old", "", "new", "请输入新的登录密码", "新密码"},
        {"carol", "old", "new", "", "两次输入的新登录密码不一致！", "重复新密码"},
        {"carol", "old", "new", "New", "两次输入的新登录密码不一致！", "重复新密码"},
        {"carol", "old", "new", "new ", "两次输入的新登录密码不一致！", "重复新密码"},
    };
    for (const auto& r : refused) {
        Fill(r.user, r.old, r.fresh, r.repeated);
        Click("下一步");
        EXPECT_EQ(Page(), Model::kInput) << r.box;
        EXPECT_EQ(Boxes(), QStringList{r.box});
        EXPECT_EQ(Focused(), r.focus) << r.box;
        EXPECT_EQ(M().Outstanding(), 0) << r.box;
    }
    time_->Advance(1000);
    EXPECT_TRUE(gateway_.Heard().empty());

    // The same input with a matching repetition goes out.
    Fill("carol", "old", "new", "new");
    Click("下一步");
    EXPECT_EQ(Page(), Model::kSubmitting);
    EXPECT_TRUE(Boxes().isEmpty());
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_TRUE(Enabled("取消"));
    time_->Advance(1000);
    EXPECT_FALSE(gateway_.Heard().empty());
}

TEST_F(ChangePasswordPages, EachReplyErrorShowsItsTextAndBackLeadsToTheInputAgain) {
    StartOffline("replies");
    OpenWizard();
    const QString wrong = "错误的密码或用户名，请选择“上一步”，然后重新输入您的用户名和密码！";
    const struct {
        OVErrorCodeEnum error;
        QString text;
    } replies[] = {
        {OV_ERR_BAD_USRNAME, wrong},
        {OV_ERR_BAD_USR_OR_PASSWD, wrong},
        {OV_ERR_USR_NOT_EXIST, wrong},
        {OV_ERR_TIME_OUT,
         "网络通讯超时，请检查您的网络连接！注意：修改密码命令已经发出，但是无法获得服务器的返回"
         "信息，您的密码有可能已经被修改，如果您已经无法使用原来的密码，请尝试使用您修改的新密码"
         "。如果仍然无法使用，请与Orvane技术支持联系！"},
        {OV_ERR_USR_EXIST, "未知错误！错误代码：20，请与Orvane技术支持联系！"},
        {OV_ERR_USER_CANCELED, "未知错误！错误代码：4096，请与Orvane技术支持联系！"},
    };
    for (const auto& r : replies) {
        Submit("carol");
        M().OnChangePasswordReply(M().Outstanding(), r.error);
        ASSERT_EQ(Page(), Model::kFailed) << r.error;
        EXPECT_EQ(Named<QLabel>(r.text)->text(), r.text);
        EXPECT_TRUE(Named<QLabel>(r.text)->isVisible());
        EXPECT_TRUE(Enabled("上一步"));
        EXPECT_FALSE(Enabled("下一步"));
        EXPECT_TRUE(Enabled("取消"));
        EXPECT_FALSE(Enabled("完成"));
        EXPECT_EQ(M().Outstanding(), 0);
        Click("上一步");
        ASSERT_EQ(Page(), Model::kInput);
        // What was typed is still there to correct.
        EXPECT_EQ(Named<QLineEdit>("新密码")->text(), "new-pw");
    }
    EXPECT_TRUE(Boxes().isEmpty());

    // A command the server never acknowledged.
    Submit("carol");
    M().OnCommandSendError(M().Outstanding() + 1, OV_ERR_TIME_OUT);
    EXPECT_EQ(Page(), Model::kSubmitting);
    M().OnCommandSendError(M().Outstanding(), OV_ERR_TIME_OUT);
    ASSERT_EQ(Page(), Model::kFailed);
    EXPECT_EQ(M().FailureText(), "网络通讯超时，无法发送信息，请检查您的网络连接！");
    EXPECT_FALSE(Enabled("下一步"));
}

TEST_F(ChangePasswordPages, OnlyTheOutstandingReplyCountsAndASuccessKeepsThePassword) {
    ShellClient& c = StartOffline("keeper");
    c.WriteUserSettings("frank", "old-pw", 3);
    OpenWizard();
    Submit("frank");
    const LONG seq = M().Outstanding();
    // Another command's reply, of any outcome, changes nothing.
    M().OnChangePasswordReply(seq + 1, OV_ERR_NONE);
    M().OnChangePasswordReply(seq - 1, OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(Page(), Model::kSubmitting);
    EXPECT_EQ(M().Outstanding(), seq);
    EXPECT_EQ(SavedPassword("frank"), "old-pw");

    M().OnChangePasswordReply(seq, OV_ERR_NONE);
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_FALSE(Enabled("上一步"));
    EXPECT_FALSE(Enabled("下一步"));
    EXPECT_FALSE(Enabled("取消"));
    EXPECT_TRUE(Enabled("完成"));
    EXPECT_EQ(SavedPassword("frank"), "new-pw");
    // A repeated reply after the first changes nothing either.
    M().OnChangePasswordReply(seq, OV_ERR_BAD_USR_OR_PASSWD);
    EXPECT_EQ(Page(), Model::kSucceeded);
    Click("完成");
    EXPECT_TRUE(Closed());

    // A user without settings here gets none from a change.
    OpenWizard();
    Submit("stranger");
    M().OnChangePasswordReply(M().Outstanding(), OV_ERR_NONE);
    ASSERT_EQ(Page(), Model::kSucceeded);
    EXPECT_EQ(SavedPassword("stranger"), "(none)");
    EXPECT_FALSE(QDir(c.App().Directories().UserDirectory("stranger")).exists());
}

TEST_F(ChangePasswordPages, CancelEscapeAndTheCloseBoxEndTheWizardOnePerApplication) {
    StartOffline("ends");
    OpenWizard();
    Submit("carol");
    Click("取消");
    EXPECT_TRUE(Closed());

    OpenWizard();
    wizard_->reject();  // Escape
    EXPECT_TRUE(Closed());

    // Escape does nothing once the password has changed; the close box still closes.
    OpenWizard();
    Submit("carol");
    M().OnChangePasswordReply(M().Outstanding(), OV_ERR_NONE);
    wizard_->reject();
    EXPECT_FALSE(Closed());
    wizard_->close();
    EXPECT_TRUE(Closed());

    ChangePasswordWizard* first = ChangePasswordWizard::Open(client_->App());
    EXPECT_EQ(ChangePasswordWizard::Open(client_->App()), first);
    wizard_ = first;
    wizard_->close();
    EXPECT_TRUE(Closed());
}

}  // namespace
}  // namespace ov::shell::testing
