// Start-up as a person meets it: the first screen follows what this computer knows, a second
// start finds the first, and the session's autostart entry follows the setting.
#include <QFile>

#include "platform/win32/registry.h"
#include "shell/core/commands.h"
#include "shell/core/single_instance.h"
#include "shell/core/tests/flow_fixture.h"

namespace ov::shell::testing {
namespace {

using Startup = ShellFlowTest;

TEST_F(Startup, TheFirstScreenFollowsWhatThisComputerKnows) {
    // Nobody has used the program here: the registration wizard.
    ShellClient& fresh = NewClient("fresh");
    ASSERT_TRUE(Start(fresh));
    time_->RunDue();
    EXPECT_EQ(fresh.windows.Opened(), QStringList{"register"});
    EXPECT_EQ(fresh.tray.Tip(), "Orvane(未登录)");
    EXPECT_EQ(fresh.windows.Title(), "Orvane(未登录)");

    // A user's directory without readable settings: the login dialog.
    ShellClient& known = NewClient("known");
    known.App().Directories().Create("bob");
    ASSERT_TRUE(Start(known));
    time_->RunDue();
    EXPECT_EQ(known.windows.Opened(), QStringList{"login"});

    // Level 3 keeps the password but asks: the login dialog too.
    ShellClient& careful = NewClient("careful");
    careful.WriteUserSettings("carol", "pw", 3);
    ASSERT_TRUE(Start(careful));
    time_->RunDue();
    EXPECT_EQ(careful.windows.Opened(), QStringList{"login"});

    // Level 4 logs in without any dialog; the saved password works locally meanwhile.
    DeadGateway nowhere;
    ShellClient& trusting = NewClient("trusting");
    trusting.WriteGateways({nowhere.Info()});
    trusting.WriteUserSettings("dave", "pw", 4);
    ASSERT_TRUE(Start(trusting));
    time_->RunDue();
    EXPECT_TRUE(trusting.windows.Opened().isEmpty());
    EXPECT_TRUE(trusting.Frame().LoggingIn());
    EXPECT_TRUE(trusting.Frame().LoggedInLocally());
    EXPECT_EQ(trusting.tray.Animation(), "Login");
    EXPECT_EQ(trusting.windows.Title(), "dave(正在登录服务器)");
    EXPECT_EQ(trusting.windows.Placed(), 1);
    EXPECT_EQ(nowhere.Heard().size(), 1u);  // the handshake went out at once
}

TEST_F(Startup, ASecondStartBringsTheFirstForwardAndEnds) {
    ShellClient& first = NewClient("same");
    ASSERT_TRUE(Start(first));
    time_->RunDue();
    first.windows.ClearOpened();

    // The same user and data home.
    ShellClient second(home_ + "/same", *time_);
    EXPECT_FALSE(second.Start());
    EXPECT_EQ(second.prompts.Texts(), QStringList{AlreadyRunningText()});
    ASSERT_TRUE(time_->RunUntil([&] { return !first.windows.Opened().isEmpty(); }));
    EXPECT_EQ(first.windows.Opened(), QStringList{"activate"});

    // Several instances allowed: a further one starts.
    RegistryStore::Default().SetDword(HKEY_CURRENT_USER, "Software\\Tallowby\\Orvane\\Setting",
                                      "AllowMutilInstance", 1);
    ShellClient& third = NewClient("same");
    EXPECT_TRUE(Start(third));
}

TEST_F(Startup, TheSessionsAutostartEntryFollowsTheSetting) {
    const QString entry = home_ + "/autostart/orvane.desktop";
    for (int autoRun : {1, 0}) {
        ShellClient& c = NewClient(QStringLiteral("auto%1").arg(autoRun));
        MachineSettings machine(c.App().Directories().MachineSettingsPath());
        machine.fAutoRun = autoRun;
        machine.Save();
        // The desktop is fixed at construction; a client of its own for each setting.
        ShellDesktop desktop = c.App().Desktop();
        desktop.autostartFile = entry;
        desktop.executable = "/opt/orvane/orvane";
        OVShellApp app(c.App().ProgramDirectory(), c.App().Directories().DataHome(), desktop);
        ASSERT_TRUE(app.Start());
        kernels_ += 1;
        time_->SetWaiters(3 * kernels_);
        time_->RunDue();
        EXPECT_EQ(QFile::exists(entry), autoRun == 1);
        if (autoRun == 1) {
            QFile f(entry);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly));
            EXPECT_TRUE(f.readAll().contains("Exec=\"/opt/orvane/orvane\""));
        }
        app.Close();  // no pause asked for: nothing waits on the clock afterwards
        kernels_ -= 1;
        time_->SetWaiters(3 * kernels_);
    }
}

}  // namespace
}  // namespace ov::shell::testing
