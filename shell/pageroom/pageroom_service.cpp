#include "shell/pageroom/pageroom_service.h"

#include <QProcess>
#include <QStandardPaths>

#include "shell/core/hidden_frame.h"
#include "shell/core/private_files.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

QString Text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace

PageroomService::PageroomService(OVShellApp& app, BrowserMonitor::DisplayFactory displays)
    : app_(app),
      displays_(std::move(displays)),
      gate_(app.Desktop().clock),
      program_(FindBrowser()) {
    answerTimer_ = app_.Desktop().timers->Create([this] { OnAnswerTimer(); });
}

PageroomService::~PageroomService() {
    Run(false);
}

int PageroomService::Port() const {
    return app_.Machine().nDebuggingPort;
}

void PageroomService::Run(bool on) {
    if (!on) {
        answerTimer_->Stop();
        // The tabs leave their groups before the groups go.
        monitor_.reset();
        registry_.reset();
        return;
    }
    if (monitor_)
        return;
    registry_ = std::make_unique<GroupRegistry>(app_.Kernel());
    monitor_ = std::make_unique<BrowserMonitor>(
        *registry_, displays_, [this] { return OwnName(); }, app_.Desktop().clock,
        [this] { return TakeFirstShow(); });
    port_ = Port();
    monitor_->Start(static_cast<quint16>(port_));
}

void PageroomService::SettingsChanged() {
    if (monitor_ && Port() != port_) {
        port_ = Port();
        monitor_->Start(static_cast<quint16>(port_));
    }
}

void PageroomService::SwitchedOn() {
    if (monitor_ && !monitor_->Browser().Connected())
        answerTimer_->Start(kAnswerMs);
}

void PageroomService::OnAnswerTimer() {
    answerTimer_->Stop();
    // Pageroom goes on waiting for the browser quietly; the person now knows why nothing shows.
    if (monitor_ && !monitor_->Browser().Connected() && app_.Desktop().prompts)
        app_.Desktop().prompts->Message(
            Text("无法启动Pageroom窗口，Pageroom功能已经被取消!\n请确定你已经安装IE4以上浏览器，"
                 "或请重新启动Windows后重试，\n如果还是不行，请联系Orvane技术支持人员。"),
            Text("Orvane提示"), Prompts::Icon::Warning);
}

QString PageroomService::OwnName() const {
    const CHiddenFrame* frame = app_.Frame();
    const qint32 pin = frame ? frame->OwnPin() : 0;
    // As the group lists show the user, so that the own lines and the list agree.
    if (pin != 0)
        if (const auto info = app_.UserData().FindUser(pin))
            return MemberOf(*info).name;
    return app_.Login().userName;
}

bool PageroomService::TakeFirstShow() {
    UserSettings& settings = app_.Settings();
    if (!settings.bFirstLogin)
        return false;
    settings.bFirstLogin = 0;
    settings.Save();
    return true;
}

QString PageroomService::FindBrowser() {
    for (const char* name : {"chromium", "chromium-browser", "google-chrome",
                             "google-chrome-stable", "brave-browser", "microsoft-edge"}) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QString PageroomService::BrowserProfile() const {
    return app_.Directories().DataHome() + QStringLiteral("/pageroom-browser");
}

QStringList PageroomService::BrowserArguments(const QString& profile, int port) {
    return {QStringLiteral("--user-data-dir=") + profile,
            QStringLiteral("--remote-debugging-port=%1").arg(port),
            QStringLiteral("--no-first-run"), QStringLiteral("--no-default-browser-check")};
}

void PageroomService::StartBrowser() {
    Prompts* prompts = app_.Desktop().prompts;
    // The profile keeps the person's browsing: private, like the rest of the data home.
    if (program_.isEmpty() || !MakePrivateDirectory(BrowserProfile()) ||
        !QProcess::startDetached(program_, BrowserArguments(BrowserProfile(), Port()))) {
        if (prompts)
            prompts->Message(Text("无法启动Pageroom浏览器，请确定你已经安装Chromium浏览器。"),
                             Text("Orvane提示"), Prompts::Icon::Warning);
        return;
    }
}

}  // namespace ov::shell
