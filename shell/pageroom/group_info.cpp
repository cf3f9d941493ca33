#include "shell/pageroom/group_info.h"

#include <QMutexLocker>
#include <algorithm>

#include "common/byte_array_variant.h"
#include "shell/core/bstr_text.h"
#include "shell/core/cp936_text.h"
#include "shell/core/protocol_records.h"

namespace ov::shell {
namespace {

// What observers are told when the kernel refused a call (it gave no sequence number).
constexpr int kRefusedByKernel = 1;

}  // namespace

OVGroupInfo::OVGroupInfo(IOVService* kernel, OVGroupTypeEnum type, QString name)
    : kernel_(kernel), type_(type), name_(std::move(name)) {}

OVGroupInfo::~OVGroupInfo() {
    events_.Disconnect();
}

QList<OV_USER_INFO> OVGroupInfo::Users() const {
    QMutexLocker lock(&usersLock_);
    return users_;
}

std::optional<OV_USER_INFO> OVGroupInfo::User(qint32 pin) const {
    QMutexLocker lock(&usersLock_);
    for (const OV_USER_INFO& u : users_)
        if (static_cast<qint32>(u.nPin) == pin)
            return u;
    return std::nullopt;
}

void OVGroupInfo::AddObserver(OVGroupObserver* observer) {
    QMutexLocker lock(&observersLock_);
    for (const auto& [o, token] : observers_)
        if (o == observer && !token.expired())
            return;
    observers_.emplace_back(observer, observer->Token());
}

void OVGroupInfo::RemoveObserver(OVGroupObserver* observer) {
    QMutexLocker lock(&observersLock_);
    std::erase_if(observers_, [&](const auto& entry) { return entry.first == observer; });
}

int OVGroupInfo::ObserverCount() const {
    QMutexLocker lock(&observersLock_);
    return static_cast<int>(
        std::count_if(observers_.begin(), observers_.end(),
                      [](const auto& entry) { return !entry.second.expired(); }));
}

template <class F>
void OVGroupInfo::Tell(F&& f) {
    std::vector<std::pair<OVGroupObserver*, std::shared_ptr<int>>> living;
    {
        QMutexLocker lock(&observersLock_);
        std::erase_if(observers_, [](const auto& entry) { return entry.second.expired(); });
        for (const auto& [o, token] : observers_)
            living.emplace_back(o, token.lock());
    }
    for (const auto& [o, alive] : living) {
        if (alive)
            f(*o);
    }
}

void OVGroupInfo::Enter(OVGroupObserver* a, OVGroupObserver* b, const QString& password) {
    if (entered_ || enterSeq_ != 0) {
        for (OVGroupObserver* o : {a, b}) {
            if (o) {
                o->OnGroupEnterStart(*this);
                o->OnGroupEnterReply(*this, 0);
            }
        }
        return;
    }
    Tell([&](OVGroupObserver& o) { o.OnGroupEnterStart(*this); });
    Listen();
    LONG seq = 0;
    if (kernel_)
        kernel_->EnterGroup(type_, id_, ToBstr(name_), ToBstr(password), &seq);
    enterSeq_ = seq;
    if (seq == 0)
        Tell([&](OVGroupObserver& o) { o.OnGroupEnterReply(*this, kRefusedByKernel); });
}

void OVGroupInfo::LeaveIfIdle(int minimum) {
    if (minimum != -1 && ObserverCount() > minimum)
        return;
    if (id_ == 0 && enterSeq_ == 0)
        return;
    enterSeq_ = 0;
    entered_ = false;
    LONG seq = 0;
    if (kernel_)
        kernel_->LeaveGroup(type_, id_, ToBstr(name_), &seq);
    {
        QMutexLocker lock(&usersLock_);
        users_.clear();
    }
    id_ = 0;
    count_ = 0;
    mode_ = 0;
    listSeq_ = 0;
    countSeq_ = 0;
    sending_.clear();
    // Idle, it has nothing to hear: a session's many past pages cost the kernel's events nothing.
    events_.Disconnect();
    Tell([&](OVGroupObserver& o) { o.OnGroupLeft(*this); });
}

void OVGroupInfo::Listen() {
    if (kernel_ && !events_.Connected())
        events_.Connect(kernel_);
}

void OVGroupInfo::RequestUsers() {
    if (listSeq_ != 0)
        return;
    Tell([&](OVGroupObserver& o) { o.OnGroupListStart(*this); });
    Listen();
    LONG seq = 0;
    if (kernel_)
        kernel_->RequestGroupOnlineUserList2(type_, id_, ToBstr(name_), &seq);
    listSeq_ = seq;
    if (seq == 0)
        Tell([&](OVGroupObserver& o) { o.OnGroupListReply(*this, kRefusedByKernel); });
}

bool OVGroupInfo::Send(LONG componentId, LONG componentCode, const QString& text) {
    if (id_ == 0 || !kernel_)
        return false;
    const QByteArray wire = ToCp936Bytes(text);
    CByteArrayVariant message(wire.constData(), static_cast<size_t>(wire.size()));
    LONG seq = 0;
    // Always the site type and the messenger component, whatever the group and the caller
    // say: the server routes group messages by the ID.
    kernel_->SendToGroup(OV_GT_SITE, id_, OV_MSGT_OUSR, OV_COMPONENT_MESSAGER, 0, message.Variant(),
                         &seq);
    if (seq == 0)
        return false;
    sending_.insert(seq, Sent{componentId, componentCode, text});
    Tell([&](OVGroupObserver& o) {
        o.OnGroupSending(*this, seq, componentId, componentCode, text);
    });
    return true;
}

void OVGroupInfo::EnterAnswered(int error) {
    Tell([&](OVGroupObserver& o) { o.OnGroupEnterReply(*this, error); });
}

void OVGroupInfo::SendAnswered(LONG seq, int error) {
    const Sent sent = sending_.take(seq);
    Tell([&](OVGroupObserver& o) {
        o.OnGroupSendResult(*this, seq, sent.componentId, sent.componentCode, sent.text, error);
    });
}

void OVGroupInfo::OnEnterGroupReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, OVGroupTypeEnum,
                                    LONG nGroupID, LONG nOnlineUserCount, LONG nGroupMode) {
    if (nCmdSeqNum == 0 || nCmdSeqNum != enterSeq_)
        return;
    enterSeq_ = 0;
    if (eError == OV_ERR_NONE) {
        entered_ = true;
        id_ = nGroupID;
        count_ = nOnlineUserCount;
        mode_ = nGroupMode;
    } else {
        entered_ = false;
        id_ = 0;
    }
    EnterAnswered(eError);
}

void OVGroupInfo::OnRequestGroupOnlineUserListReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                                    OVGroupTypeEnum, LONG, LONG nOnlineUserCount,
                                                    LONG nListCount,
                                                    std::string_view varUsersInfo) {
    if (nCmdSeqNum == 0 || nCmdSeqNum != listSeq_)
        return;
    listSeq_ = 0;
    if (eError == OV_ERR_NONE) {
        count_ = nOnlineUserCount;
        QMutexLocker lock(&usersLock_);
        users_ = RecordsOf<OV_USER_INFO>(varUsersInfo, nListCount);
    }
    Tell([&](OVGroupObserver& o) { o.OnGroupListReply(*this, eError); });
}

void OVGroupInfo::OnRequestGroupOnlineUserListReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                                     OVGroupTypeEnum, LONG, LONG nOnlineUserCount,
                                                     OVListFlagEnum eListFlag, LONG nListCount,
                                                     std::string_view varUsersInfo) {
    if (nCmdSeqNum == 0 || nCmdSeqNum != listSeq_)
        return;
    const bool ok = eError == OV_ERR_NONE;
    const bool last = eListFlag == OV_LISTFLAG_ALL || eListFlag == OV_LISTFLAG_TAIL;
    // A head or body part keeps the request pending for the parts that follow.
    if (!ok || last)
        listSeq_ = 0;
    if (ok) {
        count_ = nOnlineUserCount;
        QMutexLocker lock(&usersLock_);
        if (eListFlag == OV_LISTFLAG_HEAD || eListFlag == OV_LISTFLAG_ALL)
            users_.clear();
        users_.append(RecordsOf<OV_USER_INFO>(varUsersInfo, nListCount));
    }
    if (!ok || last)
        Tell([&](OVGroupObserver& o) { o.OnGroupListReply(*this, eError); });
}

void OVGroupInfo::OnRequestGroupOnlineUserCountReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                                     OVGroupTypeEnum, LONG, LONG nOnlineUserCount) {
    if (nCmdSeqNum == 0 || nCmdSeqNum != countSeq_)
        return;
    countSeq_ = 0;
    if (eError == OV_ERR_NONE)
        count_ = nOnlineUserCount;
    Tell([&](OVGroupObserver& o) { o.OnGroupCountReply(*this, eError); });
}

void OVGroupInfo::OnUserEnterGroup(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                   std::string_view varUserInfo) {
    if (!Mine(eGroupType, nGroupID))
        return;
    const OV_USER_INFO user = RecordOf<OV_USER_INFO>(varUserInfo);
    ++count_;
    {
        QMutexLocker lock(&usersLock_);
        users_.append(user);
    }
    Tell([&](OVGroupObserver& o) { o.OnGroupUserEnter(*this, user); });
}

void OVGroupInfo::OnUserLeaveGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nPin) {
    if (!Mine(eGroupType, nGroupID))
        return;
    --count_;
    std::optional<OV_USER_INFO> left;
    {
        QMutexLocker lock(&usersLock_);
        for (qsizetype i = 0; i < users_.size(); ++i) {
            if (static_cast<LONG>(users_[i].nPin) == nPin) {
                left = users_.takeAt(i);
                break;
            }
        }
    }
    Tell([&](OVGroupObserver& o) {
        o.OnGroupUserLeave(*this, left ? &*left : nullptr, static_cast<qint32>(nPin));
    });
}

void OVGroupInfo::OnUserStatusChanged(LONG nPin, LONG nNewStatus) {
    std::optional<OV_USER_INFO> changed;
    {
        QMutexLocker lock(&usersLock_);
        for (OV_USER_INFO& u : users_) {
            if (static_cast<LONG>(u.nPin) == nPin) {
                u.nOnlineStatus = static_cast<uint32_t>(nNewStatus);
                changed = u;
                break;
            }
        }
    }
    if (changed)
        Tell([&](OVGroupObserver& o) { o.OnGroupUserStatus(*this, *changed); });
}

void OVGroupInfo::OnGroupMessageReceived(LONG nFromPin, OVGroupTypeEnum eGroupType, LONG nToGroupID,
                                         LONG nComponentID, LONG nComponentCode,
                                         std::string_view varMessage, LONG nSentTime) {
    if (!Mine(eGroupType, nToGroupID))
        return;
    // A sender not in the list is shown by its number alone.
    OV_USER_INFO sender = User(static_cast<qint32>(nFromPin)).value_or(OV_USER_INFO{});
    sender.nPin = static_cast<uint32_t>(nFromPin);
    const QString text = FromCp936(varMessage);
    Tell([&](OVGroupObserver& o) {
        o.OnGroupMessage(*this, sender, nComponentID, nComponentCode, text, nSentTime);
    });
}

void OVGroupInfo::OnSendToGroupReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (nCmdSeqNum != 0 && sending_.contains(nCmdSeqNum))
        SendAnswered(nCmdSeqNum, eError);
}

void OVGroupInfo::OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) {
    if (nCmdSeqNum == 0)
        return;
    if (nCmdSeqNum == enterSeq_) {
        enterSeq_ = 0;
        entered_ = false;
        EnterAnswered(eError);
    } else if (sending_.contains(nCmdSeqNum)) {
        SendAnswered(nCmdSeqNum, eError);
    }
}

}  // namespace ov::shell
