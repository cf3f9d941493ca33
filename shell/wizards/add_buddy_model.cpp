#include "shell/wizards/add_buddy_model.h"

#include <limits>

#include "shell/core/bstr_text.h"
#include "shell/core/cp936_text.h"
#include "shell/core/hidden_frame.h"
#include "shell/core/protocol_records.h"
#include "shell/core/shell_app.h"
#include "shell/core/user_data_store.h"

namespace ov::shell {

AddBuddyModel::AddBuddyModel(OVShellApp& app, QObject* parent) : QObject(parent), app_(app) {
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = events_.Connect(kernel);
        if (FAILED(hr))
            app_.ReportComponentError(hr, "Advise", __FILE__, __LINE__);
    }
    connect(&app_.UserData(), &UserDataStore::Notified, this, &AddBuddyModel::OnUserData);
}

AddBuddyModel::~AddBuddyModel() {
    events_.Disconnect();
}

bool AddBuddyModel::OpenFor(qint32 pin, const QString& userName, qint32 icon) {
    if (pin < kLowestPin) {
        End();
        return false;
    }
    openedForUser_ = true;
    pin_ = pin;
    userName_ = userName;
    icon_ = icon;
    TakeCachedRecord();
    EnterChooseGroup();
    return true;
}

void AddBuddyModel::ChooseGroup(int index) {
    if (index >= 0 && index < groups_.size())
        chosen_ = index;
}

QString AddBuddyModel::GroupCaption() const {
    const QString name = !userName_.isEmpty() ? userName_
                         : pin_ != 0          ? QString::number(pin_)
                                              : QString();
    return QStringLiteral("添加-%1-用户到你的好友列表中").arg(name);
}

bool AddBuddyModel::CanBack() const {
    if (ended_)
        return false;
    return (page_ == kChooseGroup && !openedForUser_) || page_ == kFailed;
}

bool AddBuddyModel::CanNext() const {
    if (ended_)
        return false;
    switch (page_) {
        case kWelcome:
        case kVerification:
            return true;
        case kChooseGroup:
            return pin_ != 0;
        default:
            return false;
    }
}

bool AddBuddyModel::CanCancel() const {
    return !ended_ && page_ <= kVerification;
}

bool AddBuddyModel::CanFinish() const {
    return !ended_ && page_ >= kVerificationSent;
}

void AddBuddyModel::Next() {
    if (!CanNext())
        return;
    switch (page_) {
        case kWelcome:
            NextOnWelcome();
            break;
        case kChooseGroup:
            NextOnChooseGroup();
            break;
        case kVerification:
            NextOnVerification();
            break;
        default:
            break;
    }
}

void AddBuddyModel::Back() {
    if (!CanBack())
        return;
    if (page_ == kFailed) {
        EnterChooseGroup();
        return;
    }
    // A lookup still on its way is for a name the user is about to change.
    outstanding_ = 0;
    waiting_ = Waiting::Nothing;
    lookup_ = Lookup::None;
    GoTo(kWelcome);
}

void AddBuddyModel::Finish() {
    if (CanFinish())
        End();
}

void AddBuddyModel::Cancel() {
    if (CanCancel())
        End();
}

void AddBuddyModel::Close() {
    if (!ended_)
        End();
}

void AddBuddyModel::Refuse(const char* text) {
    app_.Desktop().prompts->Message(QString::fromUtf8(text), QStringLiteral("Orvane提示"),
                                    Prompts::Icon::Warning);
}

void AddBuddyModel::NextOnWelcome() {
    nickName_.clear();
    displayName_.clear();
    icon_ = 0;
    status_ = OV_ONLINE_STATUS_OFFLINE;
    if (method_ == Method::ByPin) {
        bool ok = false;
        const qulonglong number = entered_.trimmed().toULongLong(&ok);
        if (!ok || number < static_cast<qulonglong>(kLowestPin) ||
            number > static_cast<qulonglong>(std::numeric_limits<qint32>::max())) {
            Refuse("这是一个非法的OV号码!!");
            return;
        }
        pin_ = static_cast<qint32>(number);
        userName_.clear();
        TakeCachedRecord();
    } else {
        const QString name = entered_.trimmed();
        if (name.isEmpty()) {
            Refuse("请输入正确的用户名!!");
            return;
        }
        pin_ = 0;
        userName_ = name;
    }
    EnterChooseGroup();
}

void AddBuddyModel::TakeCachedRecord() {
    const std::optional<OV_USER_INFO> cached = app_.UserData().FindUser(pin_);
    if (!cached)
        return;
    if (userName_.isEmpty())
        userName_ = RecordText(cached->sUserName);
    nickName_ = RecordText(cached->sNickName);
    displayName_ = nickName_;
    if (icon_ == 0)
        icon_ = static_cast<qint32>(cached->nIcon);
    status_ = static_cast<qint32>(cached->nOnlineStatus);
}

void AddBuddyModel::EnterChooseGroup() {
    FillGroups();
    lookup_ = pin_ == 0 ? Lookup::Looking : Lookup::None;
    GoTo(kChooseGroup);
    Q_EMIT TargetChanged();
    if (pin_ == 0)
        RequestInfo();
}

void AddBuddyModel::FillGroups() {
    const qint32 kept = chosen_ < groups_.size() ? groups_[chosen_].id : kDefaultBuddyGroup;
    groups_ = {Group{kDefaultBuddyGroup, QStringLiteral("好友")}};
    for (const BuddyNodeRecord& r : app_.UserData().Buddies()) {
        const auto id = static_cast<qint32>(r.node.nBuddyNodeID);
        if (r.node.bIsBuddyGroup != 0 && id != kDefaultBuddyGroup)
            groups_.push_back(Group{id, RecordText(r.node.sDisplayName)});
    }
    chosen_ = 0;
    for (int i = 0; i < groups_.size(); ++i)
        if (groups_[i].id == kept)
            chosen_ = i;
}

void AddBuddyModel::RequestInfo() {
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel()) {
        // Number 0: the server finds the user by the name.
        const HRESULT hr = kernel->RequestUserInfo(0, ToBstr(userName_), &seq);
        if (FAILED(hr)) {
            app_.ReportComponentError(hr, "RequestUserInfo", __FILE__, __LINE__);
            seq = 0;
        }
    }
    if (seq == 0) {
        GoTo(kFailed);
        return;
    }
    outstanding_ = seq;
    waiting_ = Waiting::UserInfo;
}

void AddBuddyModel::NextOnChooseGroup() {
    CHiddenFrame* frame = app_.Frame();
    const qint32 own = frame != nullptr ? frame->OwnPin() : 0;
    const bool self = (own != 0 && pin_ == own) ||
                      (frame != nullptr && !userName_.isEmpty() &&
                       userName_.compare(frame->CurrentUser(), Qt::CaseInsensitive) == 0);
    if (self) {
        Refuse("不能添加自己为好友!");
        return;
    }
    UserDataStore& data = app_.UserData();
    if (data.IsBlackListed(pin_)) {
        Refuse("该用户在你的黑名单中,不能添加为好友!");
        return;
    }
    if (const std::optional<BuddyNodeRecord> node = data.FindBuddy(pin_)) {
        switch (node->display[0]) {
            case kBuddyAdding:
                // Another wizard's addition is on its way; its outcome decides.
                return;
            case kBuddyAwaitingAnswer:
            case kBuddyRemoving:
                data.RemoveBuddy(pin_);
                break;
            default:
                Refuse("该用户已经是你的好友!");
                return;
        }
    }
    group_ = groups_.value(chosen_).id;
    StoreNode(kBuddyAdding);
    ownsAddingNode_ = true;
    SendAddition(QString());
}

void AddBuddyModel::NextOnVerification() {
    if (ToCp936(verification_).size() > static_cast<size_t>(kMaxVerificationBytes)) {
        Refuse("你输入的验证消息太长!");
        return;
    }
    StoreNode(kBuddyAdding);
    ownsAddingNode_ = true;
    SendAddition(verification_);
}

void AddBuddyModel::SendAddition(const QString& message) {
    LONG seq = 0;
    if (IOVService* kernel = app_.Kernel()) {
        const HRESULT hr = kernel->AddUserToBuddyTree(pin_, ToBstr(message), ToBstr(displayName_),
                                                      0, group_, &seq);
        if (FAILED(hr)) {
            app_.ReportComponentError(hr, "AddUserToBuddyTree", __FILE__, __LINE__);
            seq = 0;
        }
    }
    if (seq == 0) {
        // Nothing left: no reply will come.
        DropOwnNode();
        GoTo(kFailed);
        return;
    }
    outstanding_ = seq;
    waiting_ = Waiting::Addition;
    GoTo(kAdding);
}

void AddBuddyModel::StoreNode(qint32 state) {
    OV_BUDDY_TREE_NODE node{};
    node.bIsBuddyGroup = 0;
    node.nBuddyNodeID = static_cast<uint32_t>(pin_);
    SetText(node.sDisplayName, displayName_);
    SetText(node.sUserName, userName_);
    SetText(node.sNickName, nickName_);
    node.nIcon = static_cast<uint32_t>(icon_);
    node.nParentBuddyGroupID = static_cast<uint32_t>(group_);
    node.nOnlineStatus = static_cast<uint32_t>(status_);
    BuddyNodeRecord record = BuddyNodeRecord::FromKernel(node);
    record.display[0] = state;
    app_.UserData().PutNode(record);
}

void AddBuddyModel::DropOwnNode() {
    if (!ownsAddingNode_)
        return;
    ownsAddingNode_ = false;
    UserDataStore& data = app_.UserData();
    if (const auto node = data.FindBuddy(pin_); node && node->display[0] == kBuddyAdding)
        data.RemoveBuddy(pin_);
}

void AddBuddyModel::OnRequestUserInfoReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                           std::string_view varUserInfo) {
    if (ended_ || waiting_ != Waiting::UserInfo || nCmdSeqNum != outstanding_)
        return;
    outstanding_ = 0;
    waiting_ = Waiting::Nothing;
    const OV_USER_INFO u = RecordOf<OV_USER_INFO>(varUserInfo);
    // A user who hides the details is still there to be added.
    const bool found = (eError == OV_ERR_NONE || eError == OV_ERR_USR_HIDE_USR_INFO) && u.nPin != 0;
    if (found) {
        pin_ = static_cast<qint32>(u.nPin);
        if (const QString name = RecordText(u.sUserName); !name.isEmpty())
            userName_ = name;
        nickName_ = RecordText(u.sNickName);
        displayName_ = nickName_;
        icon_ = static_cast<qint32>(u.nIcon);
        status_ = static_cast<qint32>(u.nOnlineStatus);
        lookup_ = Lookup::None;
    } else if (eError == OV_ERR_NONE || eError == OV_ERR_USR_NOT_EXIST) {
        lookup_ = Lookup::NotFound;
    } else {
        GoTo(kFailed);
        return;
    }
    Q_EMIT TargetChanged();
}

void AddBuddyModel::OnAddUserToBuddyTreeReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG) {
    if (ended_ || waiting_ != Waiting::Addition || nCmdSeqNum != outstanding_)
        return;
    outstanding_ = 0;
    waiting_ = Waiting::Nothing;
    switch (eError) {
        case OV_ERR_NONE:
            StoreNode(kBuddyShown);
            ownsAddingNode_ = false;
            GoTo(kSucceeded);
            break;
        case OV_ERR_ADD_BUDDY_NOMSG:
            // The node waits, still being added, for the text.
            GoTo(kVerification);
            break;
        case OV_ERR_BUDDY_AUTH:
            StoreNode(kBuddyAwaitingAnswer);
            ownsAddingNode_ = false;
            GoTo(kVerificationSent);
            break;
        case OV_ERR_BUDDY_DENY:
            // The other user lets nobody add them: a refusal, not a network failure.
            DropOwnNode();
            GoTo(kRefused);
            break;
        default:
            DropOwnNode();
            GoTo(kFailed);
            break;
    }
}

void AddBuddyModel::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum) {
    // Without an acknowledgement no reply will come: the wizard would wait for ever.
    if (ended_ || waiting_ == Waiting::Nothing || nCmdSeqNum != outstanding_)
        return;
    outstanding_ = 0;
    waiting_ = Waiting::Nothing;
    DropOwnNode();
    GoTo(kFailed);
}

void AddBuddyModel::OnUserData(int code, qint64 value) {
    if (ended_ || code != kUserDataBuddyAnswer || page_ != kVerificationSent || pin_ == 0)
        return;
    if (value == pin_)
        GoTo(kSucceeded);
    else if (value == -static_cast<qint64>(pin_))
        GoTo(kRefused);
}

void AddBuddyModel::GoTo(Page page) {
    page_ = page;
    Q_EMIT PageChanged(page_);
}

void AddBuddyModel::End() {
    ended_ = true;
    outstanding_ = 0;
    waiting_ = Waiting::Nothing;
    DropOwnNode();
    events_.Disconnect();
    disconnect(&app_.UserData(), nullptr, this, nullptr);
    Q_EMIT WizardEnded();
}

}  // namespace ov::shell
