#include "shell/core/shell_app.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>

#include "common/interfaces/ovcache.h"
#include "common/interfaces/ovsock.h"
#include "shell/core/commands.h"
#include "shell/core/component_error.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/private_files.h"
#include "shell/core/security_level.h"
#include "shell/core/single_instance.h"

namespace ov::shell {

namespace {

OVShellApp* g_instance = nullptr;  // main's application object; set and read on the GUI thread

constexpr int kLastDatagramsMs = 1600;

QString AutostartEntry(const QString& executable) {
    return QStringLiteral(
               "[Desktop Entry]\nType=Application\nName=Orvane\nExec=\"%1\"\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(executable);
}

}  // namespace

OVShellApp::OVShellApp(QString programDirectory, QString dataHome, ShellDesktop desktop)
    : programDirectory_(std::move(programDirectory)),
      desktop_(std::move(desktop)),
      directories_(dataHome),
      machine_(directories_.MachineSettingsPath(), desktop_.clock),
      pending_(desktop_.clock) {
    if (!programDirectory_.endsWith('/'))
        programDirectory_ += '/';
    settings_.Reset(desktop_.screen());
}

OVShellApp::~OVShellApp() {
    frame_.reset();
    if (kernel_) {
        kernel_->Deinit();
        kernel_.Reset();
    }
    if (started_)
        CoUninitialize();
    if (g_instance == this)
        g_instance = nullptr;
}

OVShellApp* OVShellApp::Instance() {
    return g_instance;
}

void OVShellApp::SetInstance(OVShellApp* app) {
    g_instance = app;
}

void OVShellApp::Log(const QString& text) const {
    if (desktop_.log)
        desktop_.log(text);
    else
        std::fprintf(stderr, "%s\n", text.toUtf8().constData());
}

void OVShellApp::ReportComponentError(HRESULT hr, const char* source, const char* file, int line) {
    Log(FormatComponentError(hr, QString::fromUtf8(source), QString(),
                             QFileInfo(QString::fromUtf8(file)).fileName(), line));
}

bool OVShellApp::LoadUserSettings(const QString& userName) {
    const QString path =
        directories_.UserFile(userName, QString::fromLatin1(kUserSettingsFileName));
    if (path.isEmpty())
        return false;
    return settings_.Load(userName, path, Screen());
}

bool OVShellApp::ReadUserSettings(const QString& userName, UserSettings* settings) const {
    const QString path =
        directories_.UserFile(userName, QString::fromLatin1(kUserSettingsFileName));
    return !path.isEmpty() && settings->Load(userName, path, Screen());
}

bool OVShellApp::Start() {
    Prompts& prompts = *desktop_.prompts;
    // Components and their events need this thread in a single-threaded apartment; whoever
    // runs the event loop pumps it (QtApartmentPump).
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        prompts.Message(QStringLiteral("Ole Init Error!"), QString(), Prompts::Icon::None);
        return false;
    }
    started_ = true;

    instance_ = std::make_unique<SingleInstance>(directories_.DataHome(), [this] {
        if (frame_)
            frame_->Command(ID_FUNCTION_ACTIVE_ORVANE);
    });
    if (!instance_->Claim()) {
        prompts.Message(AlreadyRunningText(), QString(), Prompts::Icon::Stop);
        instance_->ActivateRunning();
        return false;
    }

    references_.Load(programDirectory_ + QStringLiteral("commdata/"));
    faces_.Load(programDirectory_);
    if (desktop_.loadSkin && !desktop_.loadSkin()) {
        prompts.Message(QStringLiteral("Can't Load System Skin,abort!\n"), QString(),
                        Prompts::Icon::None);
        return false;
    }
    if (!CreateKernel()) {
        prompts.Message(QStringLiteral("无法创建 OVService 实例，请重新安装客户端程序!"), QString(),
                        Prompts::Icon::Stop);
        return false;
    }
    LONG ok = 0;
    HRESULT hr = kernel_->Init(Bstr::Empty(), 0, &ok);
    if (FAILED(hr))
        ReportComponentError(hr, "Init", __FILE__, __LINE__);

    frame_ = std::make_unique<CHiddenFrame>(*this);

    machine_.Load();
    if (!machine_.sLastLoginUserName.isEmpty())
        LoadUserSettings(machine_.sLastLoginUserName);
    ChooseFirstScreen();
    ApplyAutostart();
    return true;
}

bool OVShellApp::CreateKernel() {
    // The components beside this program: a registration left by another build tree or
    // installation is replaced by ours first.
    EnsureRegisteredFrom(CLSID_OVSocket, (programDirectory_ + "OVSock.so").toStdString());
    EnsureRegisteredFrom(CLSID_OVCache, (programDirectory_ + "OVCache.so").toStdString());
    EnsureRegisteredFrom(CLSID_OVService, (programDirectory_ + "OVKernel.so").toStdString());
    return SUCCEEDED(CoCreateInstance(CLSID_OVService, &kernel_)) && kernel_;
}

void OVShellApp::ChooseFirstScreen() {
    if (settings_.Loaded()) {
        if (LogsInAutomatically(settings_.nSecurityLevel) && !settings_.bLoginFailed) {
            login_.userName = settings_.sUserName;
            login_.password = settings_.sPassword;
            login_.onlineStatus = settings_.nOnlineStatus;
            login_.securityLevel = settings_.nSecurityLevel;
            login_.pageroom = settings_.bEnablePageroom;
            login_.lastLoginFailed = false;
            frame_->PostCommand(ID_FUNCTION_DO_LOGIN);
        } else {
            frame_->PostCommand(ID_FUNCTION_RELOGIN);
        }
        return;
    }
    frame_->PostCommand(directories_.KnownUsers().isEmpty() ? ID_FUNCTION_REGISTER
                                                            : ID_FUNCTION_RELOGIN);
}

void OVShellApp::ApplyAutostart() {
    if (desktop_.autostartFile.isEmpty())
        return;
    // As the file says now; when it cannot be read the session's entry is left alone.
    MachineSettings current(directories_.MachineSettingsPath(), desktop_.clock);
    if (!current.Load())
        return;
    if (current.fAutoRun) {
        QDir().mkpath(QFileInfo(desktop_.autostartFile).absolutePath());
        WritePrivateFile(desktop_.autostartFile, AutostartEntry(desktop_.executable).toUtf8());
    } else {
        QFile::remove(desktop_.autostartFile);
    }
}

void OVShellApp::Close(std::function<void()> done) {
    if (!frame_) {
        if (done)
            done();
        return;
    }
    frame_->Close();
    if (kernel_) {
        LONG r = 0;
        kernel_->CancelAllCommands(&r);
        if (frame_->LoggedInToServer())
            kernel_->Logout(&r);
        kernel_->Deinit();
    }
    if (!done)
        return;
    // The kernel's last datagrams leave meanwhile; the event loop runs on.
    closeDone_ = std::move(done);
    closeTimer_ = desktop_.timers->Create([this] {
        closeTimer_->Stop();
        std::function<void()> finish = std::move(closeDone_);
        closeDone_ = nullptr;
        finish();
    });
    closeTimer_->Start(kLastDatagramsMs);
}

}  // namespace ov::shell
