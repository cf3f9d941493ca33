#include "shell/core/login_dialog_model.h"

#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/security_level.h"
#include "shell/core/shell_app.h"

namespace ov::shell {

namespace {

constexpr int kStatuses[] = {OV_ONLINE_STATUS_ONLINE, OV_ONLINE_STATUS_AWAY, OV_ONLINE_STATUS_DND,
                             OV_ONLINE_STATUS_INVISIBLE};

QString ChangedPasswordQuestion() {
    return QStringLiteral(
        "　　您输入的密码与上次成功登录的密码不一致，是否通过服务器验证？\n"
        "　　如果您是输入错误，请选择“否”，系统将会让您重新输入\n");
}

}  // namespace

int LoginDialogModel::StatusOfIndex(int index) {
    return index >= 0 && index < 4 ? kStatuses[index] : OV_ONLINE_STATUS_ONLINE;
}

int LoginDialogModel::IndexOfStatus(int status) {
    for (int i = 0; i < 4; ++i)
        if (kStatuses[i] == status)
            return i;
    return 0;
}

QStringList LoginDialogModel::KnownUsers() const {
    QStringList users = app_.Directories().KnownUsers();
    const QString last = app_.Machine().sLastLoginUserName;
    if (users.removeAll(last) > 0)
        users.prepend(last);
    return users;
}

LoginDialogModel::UserChoice LoginDialogModel::ChooseUser(const QString& userName) {
    UserChoice choice;
    // A user looked at in the dialog is not the session's user (who may be working locally).
    UserSettings s;
    if (!app_.ReadUserSettings(userName, &s))
        return choice;
    choice.savedPassword = KeepsPassword(s.nSecurityLevel) && !s.sPassword.isEmpty();
    choice.securityLevel = s.nSecurityLevel;
    choice.pageroom = s.bEnablePageroom;
    choice.statusIndex = IndexOfStatus(s.nOnlineStatus);
    return choice;
}

LoginDialogModel::Outcome LoginDialogModel::Accept(const QString& userName,
                                                   const QString& typedPassword, int statusIndex,
                                                   int securityLevel, bool pageroom) {
    Prompts& prompts = *app_.Desktop().prompts;
    if (userName.isEmpty()) {
        prompts.Message(QStringLiteral("请输入登录名"), QString(), Prompts::Icon::Warning);
        return Outcome::EmptyName;
    }
    if (!IsValidLoginName(userName)) {
        prompts.Message(QStringLiteral("错误的登录名格式"), QString(), Prompts::Icon::Warning);
        return Outcome::BadName;
    }
    if (typedPassword.isEmpty()) {
        prompts.Message(QStringLiteral("请输入登录密码"), QString(), Prompts::Icon::Warning);
        return Outcome::EmptyPassword;
    }
    UserSettings s;
    const bool loaded = app_.ReadUserSettings(userName, &s);
    QString password = typedPassword;
    if (loaded && password == SavedPasswordPlaceholder())
        password = s.sPassword;
    if (loaded && AllowsLocalLogin(s.nSecurityLevel) && password != s.sPassword &&
        !s.bLoginFailed && !prompts.YesNo(ChangedPasswordQuestion(), QString()))
        return Outcome::BackToPassword;

    LoginCredentials& login = app_.Login();
    login.userName = userName;
    login.password = password;
    login.securityLevel = securityLevel;
    login.pageroom = pageroom;
    login.onlineStatus = StatusOfIndex(statusIndex);
    login.lastLoginFailed = loaded && s.bLoginFailed;
    app_.Frame()->ForgetOwnPin();
    app_.Frame()->PostCommand(ID_FUNCTION_DO_LOGIN);
    return Outcome::Accepted;
}

}  // namespace ov::shell
