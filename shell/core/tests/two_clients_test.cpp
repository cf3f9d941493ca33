// Two complete clients (logic only) against the reference server in this process: they
// register, log in through the login dialog's logic, change status, go offline and back, lose
// the server and log in again by themselves when it returns, log out and close.
#include "shell/core/commands.h"
#include "shell/core/login_dialog_model.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using TwoClients = ShellFlowTest;

TEST_F(TwoClients, RegisterLogInChangeStatusLoseTheServerComeBackLogOutAndClose) {
    StartServer();
    // One account with a name of its own; for the other the server chooses one.
    const QString named = Register("kai", "pw-kai");
    const QString chosen = Register("", "pw-anon");
    ASSERT_EQ(named, "kai");
    ASSERT_FALSE(chosen.isEmpty());

    ShellClient& kai = NewClient("kai");
    ShellClient& anon = NewClient("anon");
    struct Account {
        ShellClient* client;
        QString name;
        QString password;
    };
    const Account accounts[] = {{&kai, named, "pw-kai"}, {&anon, chosen, "pw-anon"}};
    for (const Account& a : accounts) {
        a.client->WriteGateways({Server()});
        ASSERT_TRUE(Start(*a.client));
        time_->RunDue();
        EXPECT_EQ(a.client->windows.Opened(), QStringList{"register"});
        // The login dialog, level 2, online.
        LoginDialogModel dialog(a.client->App());
        ASSERT_EQ(dialog.Accept(a.name, a.password, 0, 2, true),
                  LoginDialogModel::Outcome::Accepted);
    }
    ASSERT_TRUE(time_->RunUntil(
        [&] { return kai.Frame().LoggedInToServer() && anon.Frame().LoggedInToServer(); }));
    EXPECT_EQ(kai.tray.Tip(), "kai(在线)");
    EXPECT_EQ(anon.windows.Title(), chosen + "(在线)");
    EXPECT_EQ(kai.windows.Placed(), 1);  // the Starshelf window, where the settings say
    // The login saved what the next start needs.
    ASSERT_TRUE(kai.App().LoadUserSettings("kai"));
    EXPECT_EQ(kai.App().Settings().nPin, kai.Frame().OwnPin());
    EXPECT_EQ(kai.App().Settings().sPassword, "pw-kai");
    EXPECT_EQ(kai.App().Machine().sLastLoginUserName, "kai");

    // A status change goes to the server, which acknowledges it.
    {
        KernelWatch kaiKernel(kai.App().Kernel());
        kai.Frame().Command(ID_STATUS_DND);
        EXPECT_EQ(kai.tray.Tip(), "kai(请勿打扰)");
        EXPECT_EQ(kai.tray.Icon(), "sStatusDND");
        ASSERT_TRUE(time_->RunUntil(
            [&] { return !kaiKernel.Named(OV_DISPID_ON_USER_STATUS_CHANGED).empty(); }));
        EXPECT_EQ(kaiKernel.Named(OV_DISPID_ON_USER_STATUS_CHANGED)[0].args[1].value,
                  OV_ONLINE_STATUS_DND);
    }

    // Offline and back: the user stays on this computer meanwhile.
    kai.Frame().Command(ID_STATUS_OFFLINE);
    EXPECT_EQ(kai.tray.Tip(), "Orvane(离线)");
    EXPECT_FALSE(kai.Frame().LoggedInToServer());
    EXPECT_TRUE(kai.Frame().LoggedInLocally());
    kai.Frame().Command(ID_STATUS_ONLINE);
    ASSERT_TRUE(time_->RunUntil([&] { return kai.Frame().LoggedInToServer(); }));
    EXPECT_EQ(kai.tray.Tip(), "kai(在线)");

    // The server goes away and comes back on its port: both log in again by themselves.
    const int port = serverPort_;
    StopServer();
    for (int s = 0; s < 400 && (kai.Frame().LoggedInToServer() || anon.Frame().LoggedInToServer());
         ++s)
        time_->Advance(1000);
    ASSERT_FALSE(kai.Frame().LoggedInToServer());
    ASSERT_FALSE(anon.Frame().LoggedInToServer());
    EXPECT_EQ(anon.windows.Title(), chosen + "(正在登录服务器)");
    StartServer(port);
    for (int s = 0; s < 120 && !(kai.Frame().LoggedInToServer() && anon.Frame().LoggedInToServer());
         ++s) {
        time_->Advance(1000);
        time_->RunUntil(
            [&] { return kai.Frame().LoggedInToServer() && anon.Frame().LoggedInToServer(); },
            std::chrono::milliseconds(20));
    }
    EXPECT_TRUE(kai.Frame().LoggedInToServer());
    EXPECT_TRUE(anon.Frame().LoggedInToServer());

    // Logging out, then closing in order: the user's state saved, the tray gone.
    kai.Frame().Command(ID_FUNCTION_LOGOUT);
    EXPECT_FALSE(kai.Frame().LoggedInToServer());
    EXPECT_FALSE(kai.Frame().LoggedInLocally());
    EXPECT_EQ(kai.tray.Tip(), "Orvane(未登录)");
    EXPECT_FALSE(kai.App().UserData().Loaded());
    Close(kai);
    EXPECT_TRUE(kai.tray.Removed());
    Close(anon);
    EXPECT_TRUE(anon.tray.Removed());
    EXPECT_FALSE(anon.Frame().LoggedInToServer());
}

}  // namespace
}  // namespace ov::shell::testing
