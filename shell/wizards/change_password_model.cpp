#include "shell/wizards/change_password_model.h"

#include "shell/core/bstr_text.h"
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/security_level.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_settings.h"
#include "shell/wizards/gateway_handshake.h"

namespace ov::shell {

namespace {

QString SendFailureText() {
    return QStringLiteral("网络通讯超时，无法发送信息，请检查您的网络连接！");
}

}  // namespace

ChangePasswordModel::ChangePasswordModel(OVShellApp& app, QObject* parent)
    : QObject(parent), app_(app) {
    if (CHiddenFrame* frame = app_.Frame())
        input_.userName = frame->CurrentUser();
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
}

ChangePasswordModel::~ChangePasswordModel() {
    events_.Disconnect();
}

QString ChangePasswordModel::ReplyFailureText(OVErrorCodeEnum error) {
    switch (error) {
        case OV_ERR_BAD_USRNAME:
        case OV_ERR_BAD_USR_OR_PASSWD:
        case OV_ERR_USR_NOT_EXIST:
            return QStringLiteral(
                "错误的密码或用户名，请选择“上一步”，然后重新输入您的用户名和密码！");
        case OV_ERR_TIME_OUT:
            return QStringLiteral(
                "网络通讯超时，请检查您的网络连接！注意：修改密码命令已经发出，但是无法获得服务器"
                "的返回信息，您的密码有可能已经被修改，如果您已经无法使用原来的密码，请尝试使用您"
                "修改的新密码。如果仍然无法使用，请与Orvane技术支持联系！");
        default:
            return QStringLiteral("未知错误！错误代码：%1，请与Orvane技术支持联系！")
                .arg(static_cast<int>(error));
    }
}

ChangePasswordModel::Field ChangePasswordModel::Next() {
    if (!CanNext())
        return Field::None;
    if (const Field refused = Check(); refused != Field::None)
        return refused;
    Send();
    return Field::None;
}

void ChangePasswordModel::Back() {
    if (CanBack())
        GoTo(kInput);
}

void ChangePasswordModel::Finish() {
    if (CanFinish())
        End(ID_FUNCTION_CHANGE_PASSWORD_FINISHED);
}

void ChangePasswordModel::Cancel() {
    if (CanCancel())
        End(ID_FUNCTION_CHANGE_PASSWORD_CANCELED);
}

void ChangePasswordModel::Close() {
    if (!ended_)
        End(ID_FUNCTION_CHANGE_PASSWORD_CANCELED);
}

ChangePasswordModel::Field ChangePasswordModel::Check() {
    const struct {
        bool refused;
        const char* text;
        Field field;
    } checks[] = {
        {input_.userName.isEmpty(), "请输入登录名", Field::UserName},
        {input_.oldPassword.isEmpty(), "请输入原来的登录密码", Field::OldPassword},
        {input_.newPassword.isEmpty(), "请输入新的登录密码", Field::NewPassword},
        {input_.repeatedPassword != input_.newPassword, "两次输入的新登录密码不一致！",
         Field::RepeatedPassword},
    };
    for (const auto& check : checks) {
        if (!check.refused)
            continue;
        app_.Desktop().prompts->Message(QString::fromUtf8(check.text), QString(),
                                        Prompts::Icon::Warning);
        return check.field;
    }
    return Field::None;
}

void ChangePasswordModel::Send() {
    sent_ = input_;
    outstanding_ = 0;
    if (IOVService* kernel = app_.Kernel()) {
        // From the login screen the kernel may know no server yet.
        HandshakeGatewayWhenOffline(app_, kernel, &attempts_);
        LONG seq = 0;
        // PIN 0: the server finds the account by its name.
        const HRESULT hr = kernel->ChangePassword(
            0, ToBstr(sent_.userName), ToBstr(sent_.oldPassword), ToBstr(sent_.newPassword), &seq);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "ChangePassword", __FILE__, __LINE__);
        else
            outstanding_ = seq;
    }
    // Nothing was sent: no reply will come.
    if (outstanding_ == 0)
        Fail(SendFailureText());
    else
        GoTo(kSubmitting);
}

void ChangePasswordModel::OnChangePasswordReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (outstanding_ == 0 || nCmdSeqNum != outstanding_ || ended_)
        return;
    outstanding_ = 0;
    if (eError != OV_ERR_NONE) {
        Fail(ReplyFailureText(eError));
        return;
    }
    KeepNewPassword();
    GoTo(kSucceeded);
}

void ChangePasswordModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    // Without an acknowledgement no reply will come: the wizard would wait for ever.
    if (outstanding_ == 0 || nCmdSeqNum != outstanding_ || ended_)
        return;
    outstanding_ = 0;
    Fail(SendFailureText());
}

void ChangePasswordModel::KeepNewPassword() {
    const QString& name = sent_.userName;
    const QString& password = sent_.newPassword;
    UserSettings saved;
    if (app_.ReadUserSettings(name, &saved) && KeepsPassword(saved.nSecurityLevel)) {
        saved.sPassword = password;
        saved.Save();
    }
    // The session's own copies: the frame saves its settings again at logout and copies the
    // login's password into them after every login (also the one after a lost server), so
    // an old password left there would come back into the file and fail the next login.
    UserSettings& session = app_.Settings();
    if (session.sUserName == name)
        session.sPassword = password;
    LoginCredentials& login = app_.Login();
    if (login.userName == name)
        login.password = password;
}

void ChangePasswordModel::Fail(const QString& text) {
    failure_ = text;
    GoTo(kFailed);
}

void ChangePasswordModel::GoTo(Page page) {
    page_ = page;
    Q_EMIT PageChanged(page_);
}

void ChangePasswordModel::End(int command) {
    ended_ = true;
    outstanding_ = 0;
    events_.Disconnect();
    if (CHiddenFrame* frame = app_.Frame())
        frame->PostCommand(command);
    Q_EMIT WizardEnded();
}

}  // namespace ov::shell
