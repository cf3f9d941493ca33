#include "shell/wizards/user_info_model.h"

#include "shell/core/bstr_text.h"
#include "shell/core/desktop/shell_windows.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_data_store.h"

namespace ov::shell {

namespace {

// What a user who hides the details still shows.
constexpr quint32 kIdentityFields =
    OV_UFLD_PIN | OV_UFLD_USERNAME | OV_UFLD_NICKNAME | OV_UFLD_ICON;

UserProfile IdentityOnly(const UserProfile& p) {
    UserProfile only;
    only.mask = p.mask & kIdentityFields;
    only.pin = p.pin;
    only.userName = p.userName;
    only.nickName = p.nickName;
    only.icon = p.icon;
    return only;
}

}  // namespace

UserInfoModel::UserInfoModel(OVShellApp& app, qint32 pin, const QString& userName, QObject* parent)
    : QObject(parent), app_(app), pin_(pin), userName_(userName) {
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
}

UserInfoModel::~UserInfoModel() {
    events_.Disconnect();
}

bool UserInfoModel::MayOpen(qint32 pin, const QString& userName) {
    if (pin == 0)
        return !userName.isEmpty();
    // PINs are unsigned on the wire: a negative one is a large number.
    return static_cast<quint32>(pin) >= static_cast<quint32>(kFirstUserPin);
}

bool UserInfoModel::SameUser(qint32 pin, const QString& userName, qint32 otherPin,
                             const QString& otherName) {
    return (!userName.isEmpty() && userName == otherName) || (pin != 0 && pin == otherPin);
}

bool UserInfoModel::IsFor(qint32 pin, const QString& userName) const {
    return SameUser(pin_, userName_, pin, userName);
}

void UserInfoModel::Fetch() {
    if (ended_)
        return;
    pendingFetch_ = 0;
    if (IOVService* kernel = app_.Kernel()) {
        LONG seq = 0;
        const HRESULT hr = kernel->RequestUserInfo(pin_, ToBstr(userName_), &seq);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "RequestUserInfo", __FILE__, __LINE__);
        else
            pendingFetch_ = seq;
    }
    // Not sent (not logged in): no reply will come.
    SetStatus(pendingFetch_ == 0 ? QStringLiteral("无法获取用户数据!(发送超时)") : QString());
}

void UserInfoModel::AddBuddy() {
    if (!CanAddBuddy())
        return;
    if (ShellWindows* windows = app_.Desktop().windows)
        windows->OpenAddBuddy(pin_, userName_, static_cast<qint32>(shown_.icon));
    Close();
}

void UserInfoModel::Close() {
    if (ended_)
        return;
    ended_ = true;
    pendingFetch_ = 0;
    events_.Disconnect();
    Q_EMIT DialogEnded();
}

void UserInfoModel::OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                           std::string_view varUserInfo) {
    if (pendingFetch_ == 0 || nCmdSeqNum != pendingFetch_ || ended_)
        return;
    pendingFetch_ = 0;
    // Any other refusal carries an empty record: keep what the pages show.
    if (eError != OV_ERR_NONE && eError != OV_ERR_USR_HIDE_USR_INFO)
        return;
    const UserProfile received = UserProfile::FromRecord(varUserInfo);
    detailsHidden_ = eError == OV_ERR_USR_HIDE_USR_INFO;
    shown_ = detailsHidden_ ? IdentityOnly(received) : received;
    hasInfo_ = true;
    // A user opened by name learns the number, and the other way round.
    if (received.pin != 0)
        pin_ = static_cast<qint32>(received.pin);
    if (received.Has(OV_UFLD_USERNAME) && !received.userName.isEmpty())
        userName_ = received.userName;
    Q_EMIT Filled();
}

void UserInfoModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (pendingFetch_ == 0 || nCmdSeqNum != pendingFetch_ || ended_)
        return;
    pendingFetch_ = 0;
    SetStatus(QStringLiteral("无法获取用户数据!(发送超时)"));
}

void UserInfoModel::SetStatus(const QString& text) {
    status_ = text;
    Q_EMIT StatusChanged(status_);
}

}  // namespace ov::shell
