#include "shell/testing/shell_client.h"

#include <gtest/gtest.h>

#include <QDir>

#include "platform/com/registration.h"

namespace ov::shell::testing {

ShellClient::ShellClient(const QString& dataHome, VirtualTime& time)
    : time_(time), dataHome_(dataHome) {
    QDir().mkpath(dataHome);
    ShellDesktop desktop;
    desktop.prompts = &prompts;
    desktop.sounds = &sounds;
    desktop.tray = &tray;
    desktop.launcher = &launcher;
    desktop.timers = &time;
    desktop.windows = &windows;
    desktop.notifier = &notifier;
    desktop.clock = time.Seconds();
    desktop.log = [](const QString&) {};
    desktop.quit = [this] { ++quitRequests; };
    app_ = std::make_unique<OVShellApp>(QString::fromStdString(GetProgramDirectory()), dataHome,
                                        std::move(desktop));
}

ShellClient::~ShellClient() = default;

void ShellClient::WriteGateways(const QList<GatewayInfo>& gateways, int networkType) {
    MachineSettings machine(app_->Directories().MachineSettingsPath(), time_.Seconds());
    machine.Load();
    machine.SetGateways(GatewayList::Cernet, gateways);
    machine.SetGateways(GatewayList::Chinanet, gateways);
    machine.nNetworkType = networkType;
    machine.fAutoRun = 0;
    machine.Save();
}

void ShellClient::WriteUserSettings(const QString& user, const QString& password, int securityLevel,
                                    int status, bool notifySound) {
    UserDirectories& dirs = app_->Directories();
    dirs.Create(user);
    UserSettings settings;
    settings.Load(user, dirs.UserFile(user, QString::fromLatin1(kUserSettingsFileName)),
                  QRect(0, 0, 1280, 800));
    settings.sUserName = user;
    settings.sPassword = password;
    settings.nSecurityLevel = securityLevel;
    settings.nOnlineStatus = status;
    settings.bNotifySound = notifySound ? 1 : 0;
    settings.bFirstLogin = 0;
    settings.Save();
    MachineSettings machine(dirs.MachineSettingsPath(), time_.Seconds());
    machine.Load();
    machine.sLastLoginUserName = user;
    machine.Save();
}

bool ShellClient::Start() {
    return app_->Start();
}

void ShellClient::Close(const std::function<void()>& afterDeinit) {
    bool done = false;
    app_->Close([&] { done = true; });
    if (afterDeinit)
        afterDeinit();
    time_.Advance(2000);
    EXPECT_TRUE(done);
}

}  // namespace ov::shell::testing
