// The hidden frame without a server: the tray's animation and tip follow the next pending
// item, clicks on the icon, the login dialog's checks, and the component-error text.
#include "shell/core/commands.h"
#include "shell/core/component_error.h"
#include "shell/core/login_dialog_model.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using Frame = ShellFlowTest;

TEST_F(Frame, TheTrayAnnouncesTheNextPendingItemAndDoubleClickOpensIt) {
    ShellClient& c = NewClient("tray");
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    PendingItemQueue& pending = c.App().Pending();

    MessageRecord system;
    system.sText = QStringLiteral("维护通知");
    pending.Add(PendingItem::Message(2000, system));
    time_->RunDue();
    EXPECT_EQ(c.tray.Animation(), "SysMessage");
    EXPECT_EQ(c.tray.Tip(), "系统消息");

    // A request outranks a message: it is announced, and taken, first.
    pending.Add(PendingItem::BuddyRequest(10007, QStringLiteral("加我"), "kim", 3));
    time_->RunDue();
    EXPECT_EQ(c.tray.Animation(), "BuddyValidat");
    EXPECT_EQ(c.tray.Tip(), "[10007]请求验证");

    c.tray.DoubleClick();
    time_->RunDue();
    ASSERT_EQ(c.windows.OpenedItems().size(), 1u);
    EXPECT_EQ(c.windows.OpenedItems()[0].nKind, kPendingBuddyRequest);
    EXPECT_EQ(c.tray.Animation(), "SysMessage");

    c.tray.DoubleClick();
    time_->RunDue();
    EXPECT_EQ(c.windows.OpenedItems().size(), 2u);
    EXPECT_EQ(c.tray.Animation(), "");
    EXPECT_EQ(c.tray.Tip(), "Orvane(未登录)");  // the status tip is back

    pending.Add(PendingItem::FileOffer(10008, "a.txt", 0x0100007F, 4000));
    pending.Add(PendingItem::ChatRequest(10009, "", 0));
    time_->RunDue();
    EXPECT_EQ(c.tray.Animation(), "FileTrans");  // equal priorities: the first in the queue
    EXPECT_EQ(c.tray.Tip(), "[10008]发送文件");
}

TEST_F(Frame, AFinishedRegistrationOffersTheLoginAndExitEndsTheProgram) {
    ShellClient& c = NewClient("ends");
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    c.windows.ClearOpened();
    c.Frame().PostCommand(ID_FUNCTION_REGISTER_FINISHED);
    c.Frame().PostCommand(ID_FUNCTION_REGISTER_CANCELED);
    time_->RunDue();
    EXPECT_EQ(c.windows.Opened(), QStringList{"login"});
    c.Frame().Command(ID_APP_EXIT);
    EXPECT_EQ(c.quitRequests, 1);
}

TEST_F(Frame, LookingAtAnotherUserInTheLoginDialogLeavesTheSessionsSettingsAlone) {
    ShellClient& c = NewClient("look");
    c.WriteUserSettings("alice", "pw-a", 2);
    c.WriteUserSettings("bob", "pw-b", 3);
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    ASSERT_TRUE(c.App().LoadUserSettings("alice"));
    LoginDialogModel model(c.App());
    EXPECT_EQ(model.ChooseUser("bob").securityLevel, 3);
    EXPECT_EQ(model.Accept("bob", "", 0, 3, true), LoginDialogModel::Outcome::EmptyPassword);
    EXPECT_EQ(c.App().Settings().sUserName, "alice");
    EXPECT_EQ(c.App().Settings().nSecurityLevel, 2);
}

TEST_F(Frame, AClickIsTakenAsSingleOnlyWhenNoSecondFollows) {
    ShellClient& c = NewClient("clicks");
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    c.tray.LeftRelease();
    time_->Advance(200);
    c.tray.DoubleClick();
    time_->Advance(500);
    EXPECT_TRUE(c.tray.Menus().empty());

    c.tray.LeftRelease();
    time_->Advance(349);
    EXPECT_TRUE(c.tray.Menus().empty());
    time_->Advance(1);
    EXPECT_EQ(c.tray.Menus(), (std::vector<TrayMenu>{TrayMenu::OnlineStatus}));

    c.tray.RightRelease();
    time_->RunDue();
    EXPECT_EQ(c.tray.Menus().back(), TrayMenu::NotLoggedIn);
}

TEST_F(Frame, TheLoginDialogChecksInItsOrderAndKnowsTheSavedPassword) {
    ShellClient& c = NewClient("dialog");
    c.WriteUserSettings("lee", "secret", 2);
    ASSERT_TRUE(Start(c));
    time_->RunDue();
    LoginDialogModel dialog(c.App());
    using Outcome = LoginDialogModel::Outcome;

    EXPECT_EQ(dialog.KnownUsers(), QStringList{"lee"});
    LoginDialogModel::UserChoice lee = dialog.ChooseUser("lee");
    EXPECT_TRUE(lee.savedPassword);
    EXPECT_EQ(lee.securityLevel, 2);

    EXPECT_EQ(dialog.Accept("", "", 0, 2, true), Outcome::EmptyName);
    EXPECT_EQ(dialog.Accept("Lee", "", 0, 2, true), Outcome::BadName);  // upper case
    EXPECT_EQ(dialog.Accept("..", "x", 0, 2, true), Outcome::BadName);  // would leave userdata/
    EXPECT_EQ(dialog.Accept("lee", "", 0, 2, true), Outcome::EmptyPassword);
    EXPECT_EQ(c.prompts.Texts(), (QStringList{"请输入登录名", "错误的登录名格式",
                                              "错误的登录名格式", "请输入登录密码"}));

    // Another password than the saved one: asked; No goes back to the password.
    c.prompts.Clear();
    EXPECT_EQ(dialog.Accept("lee", "other", 0, 2, true), Outcome::BackToPassword);
    ASSERT_EQ(c.prompts.Boxes().size(), 1u);
    EXPECT_TRUE(c.prompts.Texts()[0].startsWith("　　您输入的密码与上次成功登录的密码不一致"));

    // The placeholder stands for the saved password: no question, and the login goes on.
    c.prompts.Clear();
    EXPECT_EQ(dialog.Accept("lee", LoginDialogModel::SavedPasswordPlaceholder(), 1, 2, true),
              Outcome::Accepted);
    EXPECT_TRUE(c.prompts.Boxes().empty());
    EXPECT_EQ(c.App().Login().password, "secret");
    EXPECT_EQ(c.App().Login().onlineStatus, OV_ONLINE_STATUS_AWAY);
    time_->RunDue();
    EXPECT_TRUE(c.Frame().LoggingIn());
}

TEST(ComponentError, TheLogTextNamesStatusMeaningSourceFileAndLine) {
    EXPECT_EQ(
        FormatComponentError(HRESULT(0x80040201), "Login", "", "frame_login.cpp", 42),
        "捕获到COM组件异常错误:\r\n    错误代码：80040201\r\n    代码含义：IDispatch error #1\r\n"
        "    错误来源：Login\r\n    错误描述：\r\n    源文件名：frame_login.cpp\r\n"
        "    代码行号：42\r\n");
    EXPECT_EQ(StatusMeaning(HRESULT(0x80040200)), "Unknown error 0x80040200");
    EXPECT_EQ(StatusMeaning(E_POINTER), "Unknown error 0x80004003");
}

}  // namespace
}  // namespace ov::shell::testing
