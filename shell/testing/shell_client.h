// One complete client of the shell's logic for tests: the application object with recorders
// for every desktop service and the virtual time of the test. Several live in one process.
//
//   VirtualTime time;
//   ShellClient alice(home + "/alice", time);
//   alice.WriteGateways({{"127.0.0.1", server.Port()}});
//   ASSERT_TRUE(alice.Start());
//   time.RunDue();                            // the first screen
//   EXPECT_EQ(alice.windows.Opened(), QStringList{"register"});
#pragma once

#include <QList>
#include <QString>
#include <memory>

#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"
#include "shell/testing/recorders.h"
#include "shell/testing/virtual_time.h"

namespace ov::shell::testing {

class ShellClient {
public:
    ShellClient(const QString& dataHome, VirtualTime& time);
    ~ShellClient();

    // orvane.dat with both gateway lists set to these (network type 2 uses the second).
    void WriteGateways(const QList<GatewayInfo>& gateways, int networkType = 2);
    // A user's setting.dat as the program would have written it.
    void WriteUserSettings(const QString& user, const QString& password, int securityLevel,
                           int status = OV_ONLINE_STATUS_ONLINE, bool notifySound = true);

    bool Start();
    // The frame's close and the teardown, waiting out the pause in virtual time.
    // afterDeinit runs once the kernel's threads are gone, before time moves.
    void Close(const std::function<void()>& afterDeinit = {});

    OVShellApp& App() { return *app_; }
    CHiddenFrame& Frame() { return *app_->Frame(); }

    PromptRecorder prompts;
    SoundRecorder sounds;
    TrayRecorder tray;
    LaunchRecorder launcher;
    WindowRecorder windows;
    NotifyRecorder notifier;
    int quitRequests = 0;  // "退出" asked the program to end

private:
    VirtualTime& time_;
    QString dataHome_;
    std::unique_ptr<OVShellApp> app_;
};

}  // namespace ov::shell::testing
