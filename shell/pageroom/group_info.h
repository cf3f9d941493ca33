// OVGroupInfo: the client's copy of one Pageroom group (everyone on a site, OV_GT_SITE, or on
// a page, OV_GT_URL): entering and leaving through the kernel, the online users (in parts as
// the server sends them), group messages and the own messages' results, told to the windows
// that observe it. It listens to the kernel on a sink of its own, from its first request until
// it leaves (an idle group has nothing to hear), and ignores events that are not its own. One
// per (type, name) while the user is logged in (group_registry.h).
//
//   OVGroupInfo& g = registry.Acquire(OV_GT_URL, "example.com/a.html", &window);
//   g.Enter(&window, nullptr, QString());      // observers: OnGroupEnterStart, ...Reply
//   g.RequestUsers();                          // ...ListStart, ...ListReply
//   g.Send(OV_COMPONENT_MESSAGER, 0, "你好");  // ...Sending, then ...SendResult
//   registry.Release(OV_GT_URL, "example.com/a.html", &window); g.LeaveIfIdle(0);
//
// All calls and events happen on the GUI thread; the lists keep their own locks so that other
// threads may read them.
#pragma once

#include <QList>
#include <QMap>
#include <QMutex>
#include <QString>
#include <memory>
#include <utility>
#include <vector>

#include "common/events/event_sink.h"
#include "shell/pageroom/group_observer.h"

namespace ov::shell {

class OVGroupInfo final : public OVServiceEventHandler {
public:
    OVGroupInfo(IOVService* kernel, OVGroupTypeEnum type, QString name);
    ~OVGroupInfo();
    OVGroupInfo(const OVGroupInfo&) = delete;
    OVGroupInfo& operator=(const OVGroupInfo&) = delete;

    OVGroupTypeEnum Type() const { return type_; }
    const QString& Name() const { return name_; }
    LONG Id() const { return id_; }
    LONG Mode() const { return mode_; }
    bool Entered() const { return entered_; }
    bool Entering() const { return enterSeq_ != 0; }
    bool Listing() const { return listSeq_ != 0; }
    // Whether it hears the kernel's events (while entering, entered or listing).
    bool Listening() const { return events_.Connected(); }
    // The sequence number of the pending list request (0 when none).
    LONG PendingList() const { return listSeq_; }
    LONG OnlineCount() const { return count_; }
    QList<OV_USER_INFO> Users() const;
    // The member's record, if listed.
    std::optional<OV_USER_INFO> User(qint32 pin) const;

    // Observers (the registry's Acquire and Release call these).
    void AddObserver(OVGroupObserver* observer);
    void RemoveObserver(OVGroupObserver* observer);
    int ObserverCount() const;

    // Enters, unless entered or entering: then only a and b (each if given) are told
    // OnGroupEnterStart and OnGroupEnterReply(0), so a window that came later catches up.
    void Enter(OVGroupObserver* a, OVGroupObserver* b, const QString& password);
    // Leaves when minimum is -1 or no more than minimum observers remain, and the group has an
    // ID or an enter pending; everything is reset and the observers told OnGroupLeft.
    void LeaveIfIdle(int minimum);
    // Asks for the online users unless a request is pending.
    void RequestUsers();
    // A message to the group (only with an ID): true when the kernel took it.
    bool Send(LONG componentId, LONG componentCode, const QString& text);

    void OnEnterGroupReply(LONG nCmdSeqNum, OVErrorCodeEnum eError, OVGroupTypeEnum eGroupType,
                           LONG nGroupID, LONG nOnlineUserCount, LONG nGroupMode) override;
    void OnRequestGroupOnlineUserListReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                           OVGroupTypeEnum eGroupType, LONG nGroupID,
                                           LONG nOnlineUserCount, LONG nListCount,
                                           std::string_view varUsersInfo) override;
    void OnRequestGroupOnlineUserListReply2(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                            OVGroupTypeEnum eGroupType, LONG nGroupID,
                                            LONG nOnlineUserCount, OVListFlagEnum eListFlag,
                                            LONG nListCount,
                                            std::string_view varUsersInfo) override;
    void OnRequestGroupOnlineUserCountReply(LONG nCmdSeqNum, OVErrorCodeEnum eError,
                                            OVGroupTypeEnum eGroupType, LONG nGroupID,
                                            LONG nOnlineUserCount) override;
    void OnUserEnterGroup(OVGroupTypeEnum eGroupType, LONG nGroupID,
                          std::string_view varUserInfo) override;
    void OnUserLeaveGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nPin) override;
    void OnUserStatusChanged(LONG nPin, LONG nNewStatus) override;
    void OnGroupMessageReceived(LONG nFromPin, OVGroupTypeEnum eGroupType, LONG nToGroupID,
                                LONG nComponentID, LONG nComponentCode, std::string_view varMessage,
                                LONG nSentTime) override;
    void OnSendToGroupReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
    void OnCommandSendError(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;

private:
    struct Sent {
        LONG componentId;
        LONG componentCode;
        QString text;
    };

    bool Mine(OVGroupTypeEnum type, LONG id) const {
        return id_ != 0 && type == type_ && id == id_;
    }
    // Calls f on every living observer. The list is copied first (dropping the dead), so that
    // an observer may add, remove or call back while it is told.
    template <class F>
    void Tell(F&& f);
    void EnterAnswered(int error);
    void Listen();
    void SendAnswered(LONG seq, int error);

    IOVService* const kernel_;
    const OVGroupTypeEnum type_;
    const QString name_;
    OVServiceEventConnection events_{this};

    LONG id_ = 0;
    LONG mode_ = 0;
    LONG count_ = 0;
    bool entered_ = false;
    LONG enterSeq_ = 0;
    LONG listSeq_ = 0;
    LONG countSeq_ = 0;

    mutable QMutex usersLock_;  // guards users_
    QList<OV_USER_INFO> users_;

    mutable QMutex observersLock_;  // guards observers_
    std::vector<std::pair<OVGroupObserver*, std::weak_ptr<int>>> observers_;

    QMap<LONG, Sent> sending_;  // the kernel's sequence numbers of own messages
};

}  // namespace ov::shell
