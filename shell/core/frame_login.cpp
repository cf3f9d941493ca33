// CHiddenFrame: the login flow - local login, the gateway walk, handshake and login, the
// replies, status changes, going offline, logging out and reconnecting after a loss.
#include <QProcessEnvironment>

#include "shell/core/bstr_text.h"
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/security_level.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

constexpr int kNextGatewayMs = 1000;

int KnownStatus(int status) {
    switch (status) {
        case OV_ONLINE_STATUS_ONLINE:
        case OV_ONLINE_STATUS_AWAY:
        case OV_ONLINE_STATUS_DND:
        case OV_ONLINE_STATUS_INVISIBLE:
            return status;
        default:
            return OV_ONLINE_STATUS_ONLINE;
    }
}

}  // namespace

void CHiddenFrame::DoLogin() {
    // Logging out leaves nothing pending, nobody logged in and "Orvane(未登录)" shown.
    Logout();
    pendingOwnInfo_ = 0;

    LoginCredentials& login = app_.Login();
    TryLocalLogin();

    if (login.securityLevel == 0 && app_.Directories().Exists(login.userName) &&
        app_.Desktop().prompts->YesNo(LevelZeroDeleteQuestion(), QString()))
        app_.Directories().Remove(login.userName);

    loginInProgress_ = true;
    ShowLoggingIn();

    if (login.securityLevel != 0) {
        app_.Machine().sLastLoginUserName = login.userName;
        app_.Machine().Save();
    }
    ApplyProxy();
    gatewayTimer_->Start(0);
}

bool CHiddenFrame::TryLocalLogin() {
    const LoginCredentials& login = app_.Login();
    UserSettings& settings = app_.Settings();
    if (!app_.LoadUserSettings(login.userName) || !AllowsLocalLogin(settings.nSecurityLevel) ||
        settings.sPassword != login.password)
        return false;
    currentUser_ = login.userName;
    loggedInLocal_ = true;
    app_.Directories().Create(login.userName);
    app_.UserData().Load(login.userName, app_.Directories().UserDirectory(login.userName),
                         login.securityLevel);
    PlaceStarshelf();
    ShowLocal();
    return true;
}

void CHiddenFrame::ApplyProxy() {
    IOVService* kernel = app_.Kernel();
    if (!kernel)
        return;
    const MachineSettings& m = app_.Machine();
    if (m.fViaFirewall) {
        const bool auth = m.fNeedAuthentication != 0;
        Ok(kernel->SetProxy(OV_ACCESS_SOCKS5, ToBstr(m.sProxy), m.nProxyPort,
                            auth ? OV_PROXY_AUTH_USERNAME_PASSWORD : OV_PROXY_AUTH_NONE,
                            ToBstr(auth ? m.sProxyUserName : QString()),
                            ToBstr(auth ? m.sProxyPassword : QString())),
           "SetProxy", __LINE__);
    } else {
        Ok(kernel->SetProxy(OV_ACCESS_DIRECT, Bstr::Empty(), 0, OV_PROXY_AUTH_NONE, Bstr::Empty(),
                            Bstr::Empty()),
           "SetProxy", __LINE__);
    }
}

void CHiddenFrame::OnGatewayTimer() {
    gatewayTimer_->Stop();
    const int type = app_.Machine().nNetworkType;
    if (type != lastNetworkType_) {
        lastNetworkType_ = type;
        gatewayCounters_[0] = gatewayCounters_[1] = 0;
    }
    if (type != 1 && type != 2)
        return;
    const QList<GatewayInfo> list = app_.Machine().Gateways(static_cast<GatewayList>(type));
    IOVService* kernel = app_.Kernel();
    if (list.isEmpty() || !kernel)
        return;
    int& counter = gatewayCounters_[type - 1];
    counter %= list.size();
    const GatewayInfo& gateway = list[counter];
    LONG seq = 0;
    if (!Ok(kernel->HandshakeServer(ToBstr(gateway.host), gateway.port, &seq), "HandshakeServer",
            __LINE__))
        return;
    pendingHandshake_ = seq;
}

void CHiddenFrame::RetryNextGateway(int networkType) {
    if (networkType == 1 || networkType == 2)
        ++gatewayCounters_[networkType - 1];
    gatewayTimer_->Start(kNextGatewayMs);
}

void CHiddenFrame::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (nCmdSeqNum != 0 && nCmdSeqNum == pendingBuddyTree_)
        TreeDownloaded();  // the stored tree stays
    if (nCmdSeqNum == 0 || (nCmdSeqNum != pendingLogin_ && nCmdSeqNum != pendingHandshake_))
        return;
    pendingLogin_ = 0;
    pendingHandshake_ = 0;
    loginInProgress_ = false;
    loggedInServer_ = false;
    if (loggedInLocal_)
        ShowLocal();
    else
        ShowNotLoggedIn();
    RetryNextGateway(app_.Machine().nNetworkType);
}

void CHiddenFrame::OnHandshakeServerReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG,
                                          std::string_view) {
    if (nCmdSeqNum == 0 || nCmdSeqNum != pendingHandshake_)
        return;
    pendingHandshake_ = 0;
    if (eError != OV_ERR_NONE) {
        // Handled as a failed login.
        pendingLogin_ = nCmdSeqNum;
        HandleLoginReply(nCmdSeqNum, eError, 0, 0);
        return;
    }
    IOVService* kernel = app_.Kernel();
    const LoginCredentials& login = app_.Login();
    LONG seq = 0;
    if (!kernel ||
        !Ok(kernel->Login(0, ToBstr(login.userName), ToBstr(login.password),
                          static_cast<OVOnlineStatusEnum>(KnownStatus(login.onlineStatus)),
                          app_.Machine().nTerminalID, &seq),
            "Login", __LINE__))
        return;
    pendingLogin_ = seq;
}

void CHiddenFrame::OnLoginReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTerminalID,
                                LONG nPin, LONG) {
    HandleLoginReply(nCmdSeqNum, eError, nTerminalID, nPin);
}

void CHiddenFrame::HandleLoginReply(LONG seq, OVErrorCodeEnum error, LONG terminal, LONG pin) {
    if (seq == 0 || seq != pendingLogin_)
        return;
    pendingLogin_ = 0;
    loginInProgress_ = false;
    app_.Desktop().tray->StopAnimation();
    if (error == OV_ERR_NONE) {
        LoginSucceeded(terminal, pin);
        return;
    }
    Prompts& prompts = *app_.Desktop().prompts;
    // A developer's box: during the endless gateway walk it would stack one every second.
    if (QProcessEnvironment::systemEnvironment().contains(QStringLiteral("ORVANE_DEBUG")))
        prompts.Message(QStringLiteral("login error"), QStringLiteral("debug"),
                        Prompts::Icon::None);
    loggedInServer_ = false;
    if (loggedInLocal_)
        ShowLocal();
    else
        ShowNotLoggedIn();
    LoginCredentials& login = app_.Login();
    switch (error) {
        case OV_ERR_UNKNOWN:
            prompts.Message(QStringLiteral("无法登录Orvane，未知错误。\n请与Orvane技术人员联系！"),
                            QString(), Prompts::Icon::Stop);
            break;
        case OV_ERR_BAD_USR_OR_PASSWD: {
            if (login.securityLevel != 0) {
                ownPin_ = 0;
                login.lastLoginFailed = true;
                // Remembered, so that the next start asks instead of failing again.
                if (app_.LoadUserSettings(login.userName)) {
                    app_.Settings().nPin = 0;
                    app_.Settings().bLoginFailed = true;
                    app_.Settings().Save();
                }
            }
            if (prompts.YesNo(QStringLiteral("无法登录Orvane，错误的密码或用户名!\n重新登录吗？"),
                              QString()))
                PostCommand(ID_FUNCTION_RELOGIN);
            break;
        }
        default:
            RetryNextGateway(lastNetworkType_);
            break;
    }
}

void CHiddenFrame::LoginSucceeded(LONG terminal, LONG pin) {
    LoginCredentials& login = app_.Login();
    const bool wasLocal = loggedInLocal_;
    PlaySound(kSoundLogin);
    ownPin_ = pin;
    loggedInServer_ = true;
    currentUser_ = login.userName;
    login.lastLoginFailed = false;
    status_ = KnownStatus(login.onlineStatus);
    ShowStatus(status_);

    UserDirectories& dirs = app_.Directories();
    app_.Pending().SetDirectory(dirs.UserDirectory(login.userName), login.userName);
    if (!wasLocal) {
        dirs.Create(login.userName);
        app_.UserData().Load(login.userName, dirs.UserDirectory(login.userName),
                             login.securityLevel);
    }
    // Pageroom switched on at this login, where the user had it off before.
    bool pageroomSwitchedOn = false;
    if (login.securityLevel != 0) {
        dirs.Create(login.userName);
        UserSettings& settings = app_.Settings();
        app_.LoadUserSettings(login.userName);
        pageroomSwitchedOn = settings.Loaded() && !settings.bEnablePageroom && login.pageroom;
        settings.sUserName = login.userName;
        settings.nPin = pin;
        settings.bLoginFailed = false;
        settings.nSecurityLevel = login.securityLevel;
        settings.sPassword = login.password;
        settings.nOnlineStatus = login.onlineStatus;
        settings.bEnablePageroom = login.pageroom;
        settings.Save();
    }
    if (!wasLocal)
        PlaceStarshelf();

    IOVService* kernel = app_.Kernel();
    if (kernel && !app_.UserData().HasUserRecord(pin)) {
        LONG seq = 0;
        if (Ok(kernel->RequestUserInfo(pin, ToBstr(login.userName), &seq), "RequestUserInfo",
               __LINE__))
            pendingOwnInfo_ = seq;
    }
    if (kernel && !(terminal == app_.Machine().nTerminalID && app_.UserData().SnapshotCurrent())) {
        LONG seq = 0;
        if (Ok(kernel->RequestBuddyTree2(&seq), "RequestBuddyTree2", __LINE__)) {
            pendingBuddyTree_ = seq;
            app_.Desktop().windows->ShowTreeProgress(true);
        }
        Ok(kernel->RequestBlackList2(&seq), "RequestBlackList2", __LINE__);
    }
    if (login.pageroom && status_ != OV_ONLINE_STATUS_INVISIBLE) {
        BrowserMonitor(true);
        if (PageroomControl* pageroom = app_.Desktop().pageroom; pageroom && pageroomSwitchedOn)
            pageroom->SwitchedOn();
    }
    UserSettings& settings = app_.Settings();
    if (settings.Loaded() && settings.bFirstLogin) {
        app_.Desktop().windows->ShowHomePage(QString::fromLatin1(kHomePage));
        settings.bFirstLogin = 0;
        settings.Save();
    }
}

void CHiddenFrame::PlaceStarshelf() {
    const UserSettings& s = app_.Settings();
    app_.Desktop().windows->PlaceStarshelf(StarshelfPlacement{
        s.rectStarshelf, s.bStarshelfBarShowing, s.rectStarshelfWnd, s.bStarshelfWndShowing});
}

void CHiddenFrame::SaveStarshelfState() {
    const StarshelfPlacement now = app_.Desktop().windows->StarshelfNow();
    UserSettings& s = app_.Settings();
    s.bStarshelfBarShowing = now.barShowing;
    s.bStarshelfWndShowing = now.windowShowing;
    if (now.bar.isValid())
        s.rectStarshelf = now.bar;
    if (now.window.isValid())
        s.rectStarshelfWnd = now.window;
}

void CHiddenFrame::ChangeStatus(int status) {
    status = KnownStatus(status);
    LoginCredentials& login = app_.Login();
    if (loggedInServer_) {
        if (status == status_)
            return;
        status_ = status;
        login.onlineStatus = status;
        ShowStatus(status);
        if (IOVService* kernel = app_.Kernel()) {
            LONG seq = 0;
            Ok(kernel->ChangeOnlineStatus(static_cast<OVOnlineStatusEnum>(status), &seq),
               "ChangeOnlineStatus", __LINE__);
        }
        BrowserMonitor(status != OV_ONLINE_STATUS_INVISIBLE && login.pageroom);
        return;
    }
    if (loggedInLocal_) {
        login.onlineStatus = status;
        PostCommand(login.lastLoginFailed ? ID_FUNCTION_RELOGIN : ID_FUNCTION_DO_LOGIN);
        return;
    }
    ChooseScreenAsAtStart(status);
}

void CHiddenFrame::ChooseScreenAsAtStart(int status) {
    LoginCredentials& login = app_.Login();
    const QString last = app_.Machine().sLastLoginUserName;
    UserSettings& settings = app_.Settings();
    if (!last.isEmpty() && app_.LoadUserSettings(last)) {
        if (LogsInAutomatically(settings.nSecurityLevel) && !settings.bLoginFailed) {
            login.userName = last;
            login.password = settings.sPassword;
            login.onlineStatus = status;
            login.securityLevel = settings.nSecurityLevel;
            login.pageroom = settings.bEnablePageroom;
            login.lastLoginFailed = false;
            PostCommand(ID_FUNCTION_DO_LOGIN);
        } else {
            login.onlineStatus = status;
            PostCommand(ID_FUNCTION_RELOGIN);
        }
        return;
    }
    login.onlineStatus = status;
    PostCommand(app_.Directories().KnownUsers().isEmpty() ? ID_FUNCTION_REGISTER
                                                          : ID_FUNCTION_RELOGIN);
}

void CHiddenFrame::GoOffline() {
    if (pendingBuddyTree_)
        TreeDownloaded();
    pendingLogin_ = 0;
    pendingHandshake_ = 0;
    loginInProgress_ = false;
    gatewayTimer_->Stop();
    app_.Desktop().tray->StopAnimation();
    if (IOVService* kernel = app_.Kernel()) {
        LONG r = 0;
        Ok(kernel->CancelAllCommands(&r), "CancelAllCommands", __LINE__);
        Ok(kernel->Logout(&r), "Logout", __LINE__);
    }
    BrowserMonitor(false);
    ResetNotification();
    // The user stays on this computer, working from the data stored here.
    if (loggedInServer_ && app_.UserData().Loaded())
        loggedInLocal_ = true;
    loggedInServer_ = false;
    ShowOffline();
    PlaySound(kSoundLogout);
}

void CHiddenFrame::Logout() {
    if (pendingBuddyTree_)
        TreeDownloaded();
    BrowserMonitor(false);
    PlaySound(kSoundLogout);
    gatewayTimer_->Stop();
    IOVService* kernel = app_.Kernel();
    if (kernel) {
        LONG r = 0;
        Ok(kernel->CancelAllCommands(&r), "CancelAllCommands", __LINE__);
    }
    UserDataStore& data = app_.UserData();
    if ((loggedInLocal_ || loggedInServer_) && data.Loaded()) {
        app_.Directories().Create(data.UserName());
        app_.LoadUserSettings(data.UserName());
        SaveStarshelfState();
        if (app_.Settings().Loaded())
            app_.Settings().Save();
        app_.Desktop().windows->HideStarshelf();
    }
    if (pendingLogin_ || pendingHandshake_ || loggedInLocal_ || loggedInServer_ ||
        loginInProgress_) {
        if (kernel) {
            LONG r = 0;
            Ok(kernel->Logout(&r), "Logout", __LINE__);
        }
        loggedInLocal_ = false;
        loggedInServer_ = false;
        currentUser_.clear();
    }
    pendingLogin_ = 0;
    pendingHandshake_ = 0;
    loginInProgress_ = false;
    data.Unload();
    ShowNotLoggedIn();
    app_.Desktop().tray->StopAnimation();
    ResetNotification();
}

void CHiddenFrame::OnConnectionLost() {
    if (pendingBuddyTree_)
        TreeDownloaded();
    if (IOVService* kernel = app_.Kernel()) {
        LONG r = 0;
        Ok(kernel->CancelAllCommands(&r), "CancelAllCommands", __LINE__);
    }
    BrowserMonitor(false);
    // The user works from the data on this computer until the server is back.
    if (loggedInServer_ && app_.UserData().Loaded())
        loggedInLocal_ = true;
    loggedInServer_ = false;
    ShowLocal();
    PlaySound(kSoundLogout);
    ChangeStatus(app_.Login().onlineStatus);
}

}  // namespace ov::shell
