// The events of IOVServiceEvents as a C++ interface with typed arguments.
//
// A window or object that listens to the kernel derives from OVServiceEventHandler, overrides
// the members it cares about (the others do nothing) and connects through an
// OVServiceEventConnection (common/events/event_sink.h):
//
//   class CSendWindow : public OVServiceEventHandler {
//       void OnSendToUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
//       OVServiceEventConnection events_{this};   // events_.Connect(kernel) in the constructor
//   };
//
// Byte-array arguments (records, record lists, texts) arrive as std::string_view of the
// payload, borrowed for the call. The one list below (OV_SERVICE_EVENT_LIST) declares the
// members, builds the dispatch table and the generic forwarder; a test checks it against
// kOVServiceEvents, so that an argument of the wrong type fails a test instead of losing an
// event.
#pragma once

#include <string_view>

#include "common/events/byte_args.h"
#include "common/events/event_values.h"
#include "common/interfaces/ovkernel.h"

// X(DISPID, member name, (parameters), (arguments))
#define OV_SERVICE_EVENT_LIST(X)                                                                   \
    X(OV_DISPID_ON_COMMAND_SEND_ERROR, OnCommandSendError,                                         \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError), (nCmdSeqNum, eError))                             \
    X(OV_DISPID_ON_COMMAND_SENT, OnCommandSent, (LONG nCmdSeqNum), (nCmdSeqNum))                   \
    X(OV_DISPID_ON_COMMAND_SEND, OnCommandSend,                                                    \
      (LONG nCmdSeqNum, OVClientCommandEnum eCommand, OVErrorCodeEnum eError),                     \
      (nCmdSeqNum, eCommand, eError))                                                              \
    X(OV_DISPID_ON_CONNECTION_LOST, OnConnectionLost, (), ())                                      \
    X(OV_DISPID_ON_REGISTER_USER_REPLY, OnRegisterUserReply,                                       \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin, std::string_view varUserName),          \
      (nCmdSeqNum, eError, nPin, varUserName))                                                     \
    X(OV_DISPID_ON_LOGIN_REPLY, OnLoginReply,                                                      \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTerminalID, LONG nPin, LONG nRealIP),        \
      (nCmdSeqNum, eError, nTerminalID, nPin, nRealIP))                                            \
    X(OV_DISPID_ON_CHANGE_PASSWORD_REPLY, OnChangePasswordReply,                                   \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError), (nCmdSeqNum, eError))                             \
    X(OV_DISPID_ON_SEARCH_USER_REPLY, OnSearchUserReply,                                           \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount, std::string_view varUsersInfo),       \
      (nCmdSeqNum, eError, nCount, varUsersInfo))                                                  \
    X(OV_DISPID_ON_REQUEST_USER_INFO_REPLY, OnRequestUserInfoReply,                                \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, std::string_view varUserInfo),                     \
      (nCmdSeqNum, eError, varUserInfo))                                                           \
    X(OV_DISPID_ON_UPDATE_SELF_USER_INFO_REPLY, OnUpdateSelfUserInfoReply,                         \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError), (nCmdSeqNum, eError))                             \
    X(OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY, OnAddUserToBuddyTreeReply,                        \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin), (nCmdSeqNum, eError, nPin))            \
    X(OV_DISPID_ON_ADD_GROUP_TO_BUDDY_TREE_REPLY, OnAddGroupToBuddyTreeReply,                      \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nBuddyGroupID),                               \
      (nCmdSeqNum, eError, nBuddyGroupID))                                                         \
    X(OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY, OnRequestBuddyTreeReply,                              \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount, std::string_view varBuddiesInfo),     \
      (nCmdSeqNum, eError, nCount, varBuddiesInfo))                                                \
    X(OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY, OnRequestBlackListReply,                              \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount, std::string_view varUsersInfo),       \
      (nCmdSeqNum, eError, nCount, varUsersInfo))                                                  \
    X(OV_DISPID_ON_ENTER_GROUP_REPLY, OnEnterGroupReply,                                           \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, OVGroupTypeEnum eGroupType, LONG nGroupID,         \
       LONG nOnlineUserCount, LONG nGroupMode),                                                    \
      (nCmdSeqNum, eError, eGroupType, nGroupID, nOnlineUserCount, nGroupMode))                    \
    X(OV_DISPID_ON_UPDATE_BUDDY_USER_INFO_REPLY, OnUpdateBuddyUserInfoReply,                       \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nPin), (nCmdSeqNum, eError, nPin))            \
    X(OV_DISPID_ON_UPDATE_BUDDY_GROUP_INFO_REPLY, OnUpdateBuddyGroupInfoReply,                     \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nBuddyGroupID),                               \
      (nCmdSeqNum, eError, nBuddyGroupID))                                                         \
    X(OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY, OnRequestGroupOnlineUserListReply,        \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, OVGroupTypeEnum eGroupType, LONG nGroupID,         \
       LONG nOnlineUserCount, LONG nListCount, std::string_view varUsersInfo),                     \
      (nCmdSeqNum, eError, eGroupType, nGroupID, nOnlineUserCount, nListCount, varUsersInfo))      \
    X(OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_CNT_REPLY, OnRequestGroupOnlineUserCountReply,        \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, OVGroupTypeEnum eGroupType, LONG nGroupID,         \
       LONG nOnlineUserCount),                                                                     \
      (nCmdSeqNum, eError, eGroupType, nGroupID, nOnlineUserCount))                                \
    X(OV_DISPID_ON_SEND_TO_USER_REPLY, OnSendToUserReply,                                          \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError), (nCmdSeqNum, eError))                             \
    X(OV_DISPID_ON_SEND_TO_GROUP_REPLY, OnSendToGroupReply,                                        \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError), (nCmdSeqNum, eError))                             \
    X(OV_DISPID_ON_REQUEST_PTP_CONNECTION_REPLY, OnRequestPTPConnectionReply,                      \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError), (nCmdSeqNum, eError))                             \
    X(OV_DISPID_ON_REQUEST_GROUP_LIST_REPLY, OnRequestGroupListReply,                              \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nCount, std::string_view varGroupsInfo),      \
      (nCmdSeqNum, eError, nCount, varGroupsInfo))                                                 \
    X(OV_DISPID_ON_ADD_BUDDY_REQUEST, OnAddBuddyRequest,                                           \
      (std::string_view varRequestMessage, std::string_view varUserInfo),                          \
      (varRequestMessage, varUserInfo))                                                            \
    X(OV_DISPID_ON_ADD_BUDDY_ACCEPT, OnAddBuddyAccept,                                             \
      (OVBuddyAcceptEnum eBuddyAccept, std::string_view varUserInfo), (eBuddyAccept, varUserInfo)) \
    X(OV_DISPID_ON_USER_ENTER_GROUP, OnUserEnterGroup,                                             \
      (OVGroupTypeEnum eGroupType, LONG nGroupID, std::string_view varUserInfo),                   \
      (eGroupType, nGroupID, varUserInfo))                                                         \
    X(OV_DISPID_ON_USER_LEAVE_GROUP, OnUserLeaveGroup,                                             \
      (OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nPin), (eGroupType, nGroupID, nPin))        \
    X(OV_DISPID_ON_GROUP_ONLINE_USER_CHANGED, OnGroupOnlineUserChanged,                            \
      (OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nOnlineUserCount),                          \
      (eGroupType, nGroupID, nOnlineUserCount))                                                    \
    X(OV_DISPID_ON_BUDDY_STATUS_CHANGED, OnBuddyStatusChanged, (LONG nPin, LONG nNewStatus),       \
      (nPin, nNewStatus))                                                                          \
    X(OV_DISPID_ON_USER_MESSAGE_RECEIVED, OnUserMessageReceived,                                   \
      (LONG nFromPin, LONG nToPin, LONG nComponentID, LONG nComponentCode,                         \
       std::string_view varMessage, LONG nSentTime),                                               \
      (nFromPin, nToPin, nComponentID, nComponentCode, varMessage, nSentTime))                     \
    X(OV_DISPID_ON_GROUP_MESSAGE_RECEIVED, OnGroupMessageReceived,                                 \
      (LONG nFromPin, OVGroupTypeEnum eGroupType, LONG nToGroupID, LONG nComponentID,              \
       LONG nComponentCode, std::string_view varMessage, LONG nSentTime),                          \
      (nFromPin, eGroupType, nToGroupID, nComponentID, nComponentCode, varMessage, nSentTime))     \
    X(OV_DISPID_ON_USER_SYSTEM_MESSAGE_RECEIVED, OnUserSystemMessageReceived,                      \
      (LONG nToPin, LONG nComponentID, LONG nComponentCode, std::string_view varMessage,           \
       LONG nSentTime),                                                                            \
      (nToPin, nComponentID, nComponentCode, varMessage, nSentTime))                               \
    X(OV_DISPID_ON_GROUP_SYSTEM_MESSAGE_RECEIVED, OnGroupSystemMessageReceived,                    \
      (OVGroupTypeEnum eGroupType, LONG nToGroupID, LONG nComponentID, LONG nComponentCode,        \
       std::string_view varMessage, LONG nSentTime),                                               \
      (eGroupType, nToGroupID, nComponentID, nComponentCode, varMessage, nSentTime))               \
    X(OV_DISPID_ON_PTP_CONNECTION_REQUEST, OnPTPConnectionRequest,                                 \
      (LONG nFromPin, std::string_view varUserName, std::string_view varNickName,                  \
       LONG nComponentID, LONG nComponentCode, LONG nFromIP, LONG nFromPort,                       \
       std::string_view varRequestMessage),                                                        \
      (nFromPin, varUserName, varNickName, nComponentID, nComponentCode, nFromIP, nFromPort,       \
       varRequestMessage))                                                                         \
    X(OV_DISPID_ON_HANDSHAKE_SERVER_REPLY, OnHandshakeServerReply,                                 \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG ServerCount,                                  \
       std::string_view varServersInfo),                                                           \
      (nCmdSeqNum, eError, ServerCount, varServersInfo))                                           \
    X(OV_DISPID_ON_SERVER_ACK_TIME, OnServerAckTime, (LONG nTime), (nTime))                        \
    X(OV_DISPID_ON_USER_STATUS_CHANGED, OnUserStatusChanged, (LONG nPin, LONG nNewStatus),         \
      (nPin, nNewStatus))                                                                          \
    X(OV_DISPID_ON_SOCKET_DATA_SENT, OnSocketDataSent, (LONG nDataLength), (nDataLength))          \
    X(OV_DISPID_ON_SOCKET_DATA_RECEIVED, OnSocketDataReceived, (LONG nDataLength), (nDataLength))  \
    X(OV_DISPID_ON_ADD_BUDDY_NOTICE, OnAddBuddyNotice, (std::string_view varUserInfo),             \
      (varUserInfo))                                                                               \
    X(OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2, OnRequestBuddyTreeReply2,                            \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTotalCount, OVListFlagEnum eListFlag,        \
       LONG nCount, std::string_view varBuddiesInfo),                                              \
      (nCmdSeqNum, eError, nTotalCount, eListFlag, nCount, varBuddiesInfo))                        \
    X(OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2, OnRequestBlackListReply2,                            \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nTotalCount, OVListFlagEnum eListFlag,        \
       LONG nCount, std::string_view varUsersInfo),                                                \
      (nCmdSeqNum, eError, nTotalCount, eListFlag, nCount, varUsersInfo))                          \
    X(OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2, OnRequestGroupOnlineUserListReply2,      \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, OVGroupTypeEnum eGroupType, LONG nGroupID,         \
       LONG nOnlineUserCount, OVListFlagEnum eListFlag, LONG nListCount,                           \
       std::string_view varUsersInfo),                                                             \
      (nCmdSeqNum, eError, eGroupType, nGroupID, nOnlineUserCount, eListFlag, nListCount,          \
       varUsersInfo))                                                                              \
    X(OV_DISPID_ON_SEARCH_USER_REPLY2, OnSearchUserReply2,                                         \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, VARIANT_BOOL bMore, LONG nCount,                   \
       std::string_view varUsersInfo),                                                             \
      (nCmdSeqNum, eError, bMore, nCount, varUsersInfo))                                           \
    X(OV_DISPID_ON_REQUEST_ONLINE_USER_STAT_REPLY, OnRequestOnlineUserStatReply,                   \
      (LONG nCmdSeqNum, OVErrorCodeEnum eError, LONG nOnlineUserCount, LONG nMaxOnlineUserCount),  \
      (nCmdSeqNum, eError, nOnlineUserCount, nMaxOnlineUserCount))

// One virtual member per event, each doing nothing unless overridden. Members are called on
// the thread the connection delivers to (the owner's, for an owner in a single-threaded
// apartment).
class OVServiceEventHandler {
public:
// The empty defaults name parameters they do not use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define OV_DECLARE_EVENT_MEMBER(dispid, name, params, args) \
    virtual void name params {}
    OV_SERVICE_EVENT_LIST(OV_DECLARE_EVENT_MEMBER)
#undef OV_DECLARE_EVENT_MEMBER
#pragma GCC diagnostic pop

    // An event that could not be delivered: an unknown DISPID or arguments that do not fit
    // the member (hr says which). The default writes a line to stderr: it means the kernel
    // and this program disagree about the interface.
    virtual void OnEventRefused(DISPID dispid, HRESULT hr);

protected:
    ~OVServiceEventHandler() = default;
};

// DISPID -> member of OVServiceEventHandler, with the arguments converted.
const DispatchTable<OVServiceEventHandler>& OVServiceEventsDispatch();

// A handler for sinks that treat every event alike (recorders, printers): each member hands
// the event over as plain values.
class OVServiceEventForwarder : public OVServiceEventHandler {
public:
    virtual void OnServiceEvent(const KernelEvent& event) = 0;

#define OV_FORWARD_EVENT_MEMBER(dispid, name, params, args) \
    void name params override {                             \
        Emit(dispid) args;                                  \
    }
    OV_SERVICE_EVENT_LIST(OV_FORWARD_EVENT_MEMBER)
#undef OV_FORWARD_EVENT_MEMBER

protected:
    ~OVServiceEventForwarder() = default;

private:
    // Emit(dispid)(a, b, ...) builds the event from the typed arguments and forwards it.
    struct Emitter {
        OVServiceEventForwarder* self;
        DISPID dispid;
        template <class... A>
        void operator()(const A&... a) {
            self->OnServiceEvent(KernelEvent{dispid, {ToArg(a)...}});
        }
    };
    Emitter Emit(DISPID dispid) {
        return Emitter{this, dispid};
    }

    static EventArg ToArg(std::string_view bytes) {
        return EventArg::Bytes(std::string(bytes));
    }
    template <class T>
    static EventArg ToArg(T v) {
        if constexpr (std::is_same_v<T, VARIANT_BOOL>)
            return EventArg::Bool(v != VARIANT_FALSE);
        else
            return EventArg::Long(static_cast<int32_t>(v));
    }
};
