#include "shell/wizards/own_info_model.h"

#include "common/byte_array_variant.h"
#include "shell/core/bstr_text.h"
#include "shell/core/commands.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_data_store.h"

namespace ov::shell {

namespace {

QString UpdateSendErrorText() {
    return QStringLiteral("修改用户信息错误，网络超时!");
}
QString FetchSendErrorText() {
    return QStringLiteral("获取用户信息错误，网络超时!");
}

}  // namespace

OwnInfoModel::OwnInfoModel(OVShellApp& app, QObject* parent) : QObject(parent), app_(app) {
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
    ShowCached();
}

void OwnInfoModel::ShowCached() {
    CHiddenFrame* frame = app_.Frame();
    if (frame == nullptr || frame->OwnPin() == 0)
        return;
    const std::optional<OV_USER_INFO> cached = app_.UserData().FindUser(frame->OwnPin());
    if (!cached)
        return;
    entered_ = UserProfile::FromRecord(
        std::string_view(reinterpret_cast<const char*>(&*cached), sizeof *cached));
    enteredPrivacy_ = Privacy::OfMode(entered_.mode);
}

OwnInfoModel::~OwnInfoModel() {
    events_.Disconnect();
}

OV_USER_INFO OwnInfoModel::BuildUpdate(const UserProfile& reference, const UserProfile& page,
                                       const Privacy& privacy) {
    UserProfile sent = page;
    sent.pin = reference.pin;
    sent.mask = UserProfile::ChangedFields(reference, page);
    bool modeChanged = false;
    sent.mode = RewriteMode(reference.mode, privacy, &modeChanged);
    if (modeChanged)
        sent.mask |= OV_UFLD_MODE;
    return sent.ToRecord();
}

void OwnInfoModel::Fetch() {
    if (ended_)
        return;
    pendingFetch_ = 0;
    qint32 pin = 0;
    QString name;
    if (CHiddenFrame* frame = app_.Frame()) {
        pin = frame->OwnPin();
        name = frame->CurrentUser();
    }
    if (IOVService* kernel = app_.Kernel()) {
        LONG seq = 0;
        const HRESULT hr = kernel->RequestUserInfo(pin, ToBstr(name), &seq);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "RequestUserInfo", __FILE__, __LINE__);
        else
            pendingFetch_ = seq;
    }
    // Not sent (not logged in): no reply will come.
    if (pendingFetch_ == 0)
        SetStatus(FetchSendErrorText());
}

void OwnInfoModel::Update() {
    if (!CanUpdate())
        return;
    const OV_USER_INFO record = BuildUpdate(reference_, entered_, enteredPrivacy_);
    if (record.nMask == 0) {
        SetStatus(QStringLiteral("资料没有改变。"));
        return;
    }
    lastSent_ = record;
    ++updatesSent_;
    pendingUpdate_ = 0;
    if (IOVService* kernel = app_.Kernel()) {
        CByteArrayVariant bytes(&record, sizeof record);
        LONG seq = 0;
        const HRESULT hr = kernel->UpdateSelfUserInfo(bytes.Variant(), &seq);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "UpdateSelfUserInfo", __FILE__, __LINE__);
        else
            pendingUpdate_ = seq;
    }
    SetStatus(pendingUpdate_ == 0 ? UpdateSendErrorText() : QString());
}

void OwnInfoModel::Close() {
    if (ended_)
        return;
    ended_ = true;
    pendingUpdate_ = 0;
    pendingFetch_ = 0;
    events_.Disconnect();
    if (CHiddenFrame* frame = app_.Frame())
        frame->PostCommand(ID_FUNCTION_CHANGE_USER_INFO_FINISHED);
    Q_EMIT DialogEnded();
}

void OwnInfoModel::OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                          std::string_view varUserInfo) {
    if (pendingFetch_ == 0 || nCmdSeqNum != pendingFetch_ || ended_)
        return;
    pendingFetch_ = 0;
    // A refused request carries an empty record: keep what the pages show.
    if (eError != OV_ERR_NONE)
        return;
    reference_ = UserProfile::FromRecord(varUserInfo);
    hasReference_ = true;
    entered_ = reference_;
    enteredPrivacy_ = Privacy::OfMode(reference_.mode);
    Q_EMIT Filled();
}

void OwnInfoModel::OnUpdateSelfUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (pendingUpdate_ == 0 || nCmdSeqNum != pendingUpdate_ || ended_)
        return;
    pendingUpdate_ = 0;
    if (eError != OV_ERR_NONE) {
        SetStatus(QStringLiteral("用户数据更新失败!"));
        return;
    }
    SetStatus(QStringLiteral("用户数据更新成功!"));
    Fetch();
}

void OwnInfoModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    if (nCmdSeqNum == 0 || ended_)
        return;
    if (nCmdSeqNum == pendingUpdate_) {
        pendingUpdate_ = 0;
        SetStatus(UpdateSendErrorText());
    } else if (nCmdSeqNum == pendingFetch_) {
        pendingFetch_ = 0;
        SetStatus(FetchSendErrorText());
    }
}

void OwnInfoModel::SetStatus(const QString& text) {
    status_ = text;
    Q_EMIT StatusChanged(status_);
}

}  // namespace ov::shell
