// CHiddenFrame: the tray icon's status, tip and animations, the main window's title, and what
// clicks on the icon do.
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/message_archive.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

constexpr int kClickDelayMs = 350;

const QString& NotLoggedInTip() {
    static const QString tip = QStringLiteral("Orvane(未登录)");
    return tip;
}

}  // namespace

void CHiddenFrame::ShowTitleAndTip(const QString& text, const QString& icon) {
    statusTip_ = text;
    statusIcon_ = icon;
    app_.Desktop().windows->SetMainTitle(text);
    Tray& tray = *app_.Desktop().tray;
    if (!notifying_) {
        tray.SetTip(text);
        tray.SetIcon(icon);
    }
}

void CHiddenFrame::ShowNotLoggedIn() {
    ShowTitleAndTip(NotLoggedInTip(), QString());
}

void CHiddenFrame::ShowLocal() {
    ShowTitleAndTip(currentUser_ + QStringLiteral("(登录到本地)"),
                    QStringLiteral("sStatusOffline"));
}

void CHiddenFrame::ShowOffline() {
    ShowTitleAndTip(QStringLiteral("Orvane(离线)"), QStringLiteral("sStatusOffline"));
}

void CHiddenFrame::ShowLoggingIn() {
    const QString text = app_.Login().userName + QStringLiteral("(正在登录服务器)");
    statusTip_ = text;
    app_.Desktop().windows->SetMainTitle(text);
    Tray& tray = *app_.Desktop().tray;
    tray.SetTip(text);
    tray.Animate(QStringLiteral("Login"));
}

void CHiddenFrame::ShowStatus(int status) {
    QString suffix = QStringLiteral("(在线)");
    QString icon = QStringLiteral("sStatusOnline");
    switch (status) {
        case OV_ONLINE_STATUS_DND:
            suffix = QStringLiteral("(请勿打扰)");
            icon = QStringLiteral("sStatusDND");
            break;
        case OV_ONLINE_STATUS_AWAY:
            suffix = QStringLiteral("(离开)");
            icon = QStringLiteral("sStatusAway");
            break;
        case OV_ONLINE_STATUS_INVISIBLE:
            suffix = QStringLiteral("(假装离开)");
            icon = QStringLiteral("sStatusInvis");
            break;
        default:
            break;
    }
    ShowTitleAndTip(currentUser_ + suffix, icon);
}

void CHiddenFrame::ResetNotification() {
    if (!notifying_)
        return;
    notifying_ = false;
    Tray& tray = *app_.Desktop().tray;
    tray.SetIcon(statusIcon_);
    tray.SetTip(statusTip_);
}

void CHiddenFrame::OnPendingChanged() {
    Tray& tray = *app_.Desktop().tray;
    std::optional<PendingItem> next = app_.Pending().Take(0, 0, false);
    if (!next) {
        if (notifying_) {
            tray.StopAnimation();
            ResetNotification();
        }
        return;
    }
    notifying_ = true;  // the status tip stays in statusTip_ until nothing is pending
    const Announcement a = Announce(*next);
    tray.Animate(a.animation);
    tray.SetTip(a.tip);
}

CHiddenFrame::Announcement CHiddenFrame::Announce(const PendingItem& item) const {
    const QString name = app_.UserData().DisplayName(item.nNumber);
    auto about = [&](const QString& withName, const QString& withNumber) {
        return name.isEmpty() ? withNumber.arg(item.nNumber) : withName.arg(name);
    };
    QString kind;
    QString tip;
    switch (item.nKind) {
        case kPendingMessage:
            if (item.nNumber == kSystemMessagePeer) {
                kind = QStringLiteral("SysMessage");
                tip = QStringLiteral("系统消息");
            } else {
                kind = QStringLiteral("UserMessage");
                tip = about(QStringLiteral("来自 %1 的消息"), QStringLiteral("来自[%1]的消息"));
            }
            break;
        case kPendingFileOffer:
            kind = QStringLiteral("FileTrans");
            tip = about(QStringLiteral(" %1 发送文件"), QStringLiteral("[%1]发送文件"));
            break;
        case kPendingBuddyRequest:
            kind = QStringLiteral("BuddyValidat");
            tip = about(QStringLiteral(" %1 请求验证"), QStringLiteral("[%1]请求验证"));
            break;
        case kPendingChatRequest:
            kind = QStringLiteral("ChatRequest");
            tip = about(QStringLiteral(" %1 请求私聊"), QStringLiteral("[%1]请求私聊"));
            break;
        default:
            kind = QStringLiteral("UserMessage");
            tip = about(QStringLiteral("来自 %1 "), QStringLiteral("来自[%1]"));
            break;
    }
    return {kind, tip};
}

void CHiddenFrame::OnTrayLeftRelease() {
    trayClickTimer_->Start(kClickDelayMs);
}

void CHiddenFrame::OnTrayClickTimer() {
    trayClickTimer_->Stop();
    app_.Desktop().tray->ShowMenu(TrayMenu::OnlineStatus);
}

void CHiddenFrame::OnTrayDoubleClick() {
    trayClickTimer_->Stop();
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (std::optional<PendingItem> item = app_.Pending().Take(0, 0, true))
                app_.Desktop().windows->OpenPendingItem(*item);
        },
        Qt::QueuedConnection);
}

void CHiddenFrame::OnTrayRightRelease() {
    TrayMenu menu = TrayMenu::NotLoggedIn;
    if (loggedInServer_)
        menu = TrayMenu::LoggedInToServer;
    else if (loggedInLocal_)
        menu = TrayMenu::LoggedInLocally;
    QMetaObject::invokeMethod(
        this, [this, menu] { app_.Desktop().tray->ShowMenu(menu); }, Qt::QueuedConnection);
}

}  // namespace ov::shell
