// The kernel's type library: class OVService, the dual interface IOVService (members in
// vtable order) and the event interface IOVServiceEvents, with identifiers and DISPIDs.
// Every member returns S_OK; outcomes travel in the [out, retval] value and in events.
#pragma once

#include <string_view>

#include "common/protocol/vocabulary.h"
#include "platform/com/com.h"

// {D18125BC-1943-476A-AC17-8133049067EE}
constexpr CLSID CLSID_OVService = {
    0xD18125BC, 0x1943, 0x476A, {0xAC, 0x17, 0x81, 0x33, 0x04, 0x90, 0x67, 0xEE}};
// {DB0A35C0-CE97-4A94-86B9-5935F2F7CE8C}
constexpr IID DIID_IOVServiceEvents = {
    0xDB0A35C0, 0xCE97, 0x4A94, {0x86, 0xB9, 0x59, 0x35, 0xF2, 0xF7, 0xCE, 0x8C}};
// {4D3BE002-FC28-4B5F-BFF7-C971CF16718C}
constexpr GUID LIBID_OVKernelLib = {
    0x4D3BE002, 0xFC28, 0x4B5F, {0xBF, 0xF7, 0xC9, 0x71, 0xCF, 0x16, 0x71, 0x8C}};

struct IOVService : IDispatch {
    // {5A492815-A1DF-4862-9D0F-1D95CD2C7442}
    static constexpr IID kIID = {
        0x5A492815, 0xA1DF, 0x4862, {0x9D, 0x0F, 0x1D, 0x95, 0xCD, 0x2C, 0x74, 0x42}};
    using Base = IDispatch;

    virtual HRESULT Init(BSTR sLocalHost, LONG nLocalPort, LONG* pbOK) = 0;
    virtual HRESULT Deinit() = 0;
    virtual HRESULT get_ServerAddress(BSTR* pbstrAddress) = 0;
    virtual HRESULT get_ServerPort(LONG* pnPort) = 0;
    virtual HRESULT RegisterUser(VARIANT varUserInfo, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT UnregisterUser(LONG nPin, BSTR sUserName, BSTR sPassword,
                                   LONG* pnCmdSeqNum) = 0;
    virtual HRESULT ChangePassword(LONG nPin, BSTR sUserName, BSTR sOldPassword, BSTR sNewPassword,
                                   LONG* pnCmdSeqNum) = 0;
    virtual HRESULT Login(LONG nPin, BSTR sUserName, BSTR sPassword,
                          OVOnlineStatusEnum eOnlineStatus, LONG TerminalID, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT Logout(LONG* pnCmdSeqNum) = 0;
    virtual HRESULT get_IsLoggedIn(LONG* pbLoggedIn) = 0;
    virtual HRESULT get_CurrentUserName(BSTR* pbstrUserName) = 0;
    virtual HRESULT SearchUser(VARIANT varUserInfo, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestUserInfo(LONG nPin, BSTR sUserName, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT UpdateSelfUserInfo(VARIANT varUserInfo, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT ChangeOnlineStatus(OVOnlineStatusEnum eOnlineStatus, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT AddUserToBuddyTree(LONG nPin, BSTR sMessage, BSTR sDisplayName, LONG nBuddyMode,
                                       LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RemoveUserFromBuddyTree(LONG nPin, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT AddGroupToBuddyTree(LONG nBuddyGroupID, BSTR sBuddyGroupName,
                                        LONG nBuddyGroupMode, LONG nParentBuddyGroupID,
                                        LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RemoveGroupFromBuddyTree(LONG nBuddyGroupID, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestBuddyTree(LONG* pnCmdSeqNum) = 0;
    virtual HRESULT AddToBlackList(LONG nPin, BSTR sUserName, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RemoveFromBlackList(LONG nPin, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestBlackList(LONG* pnCmdSeqNum) = 0;
    virtual HRESULT SendToUser(LONG nPin, LONG nMsgType, LONG nComponentID, LONG nComponentCode,
                               VARIANT varMessage, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT SendToUsers(LONG nRcptCount, VARIANT varPinList, LONG nMsgType,
                                LONG nComponentID, LONG nComponentCode, VARIANT varMessage,
                                LONG* pnCmdSeqNum) = 0;
    virtual HRESULT EnterGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                               BSTR sPassword, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT LeaveGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                               LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestGroupOnlineUserList(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                               BSTR sGroupName, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestGroupOnlineUserCount(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                                BSTR sGroupName, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT UpdateBuddyGroupInfo(LONG nBuddyGroupID, BSTR sBuddyGroupName,
                                         LONG nBuddyGroupMode, LONG nParentBuddyGroupID,
                                         LONG* pnCmdSeqNum) = 0;
    virtual HRESULT UpdateBuddyUserInfo(LONG nPin, BSTR sDisplayName, LONG nBuddyMode,
                                        LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RemoveNodesFromBuddyTree(LONG nCount, VARIANT varBuddyNodesID,
                                             LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RemoveUsersFromBlackList(LONG nCount, VARIANT varPinList,
                                             LONG* pnCmdSeqNum) = 0;
    virtual HRESULT SendToGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nMsgType,
                                LONG nComponentID, LONG nComponentCode, VARIANT varMessage,
                                LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestPTPConnection(LONG nPin, LONG nComponentID, LONG nComponentCode,
                                         LONG nMyIP, LONG nMyPort, VARIANT varRequestMessage,
                                         LONG* pnCmdSeqNum) = 0;
    virtual HRESULT ReplyAddBuddyRequest(LONG nToPin, OVBuddyAcceptEnum eBuddyAccept,
                                         LONG* pnCmdSeqNum) = 0;
    virtual HRESULT HandshakeServer(BSTR bstrServerAddress, LONG nServerPort,
                                    LONG* pnCmdSeqNum) = 0;
    virtual HRESULT CancelCommand(LONG nCmdSeqNum, LONG* pbOK) = 0;
    virtual HRESULT CancelAllCommands(LONG* pbOK) = 0;
    virtual HRESULT About() = 0;
    virtual HRESULT RequestGroupList(OVGroupTypeEnum eGroupType, OVGroupListSortEnum eSort,
                                     LONG nStart, LONG nCount, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT SearchUser2(LONG nStart, LONG nOnline, VARIANT varUserInfo, LONG* pnCmdSeq) = 0;
    virtual HRESULT UnadviseAllConnections() = 0;
    virtual HRESULT RequestGroupOnlineUserList2(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                                BSTR sGroupName, LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestBlackList2(LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestBuddyTree2(LONG* pnCmdSeqNum) = 0;
    virtual HRESULT RequestOnlineUserStat(LONG* pnCmdSeqNum) = 0;
    virtual HRESULT SetProxy(OVAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                             OVProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                             BSTR bstrProxyPassword) = 0;

protected:
    ~IOVService() = default;
};

inline const DispatchTable<IOVService>& OVServiceDispatch() {
    static const DispatchTable<IOVService> table{
        DispMethod(1, "Init", &IOVService::Init),
        DispMethod(2, "Deinit", &IOVService::Deinit),
        DispPropGet(3, "ServerAddress", &IOVService::get_ServerAddress),
        DispPropGet(4, "ServerPort", &IOVService::get_ServerPort),
        DispMethod(5, "RegisterUser", &IOVService::RegisterUser),
        DispMethod(6, "UnregisterUser", &IOVService::UnregisterUser),
        DispMethod(7, "ChangePassword", &IOVService::ChangePassword),
        DispMethod(8, "Login", &IOVService::Login),
        DispMethod(9, "Logout", &IOVService::Logout),
        DispPropGet(10, "IsLoggedIn", &IOVService::get_IsLoggedIn),
        DispPropGet(11, "CurrentUserName", &IOVService::get_CurrentUserName),
        DispMethod(12, "SearchUser", &IOVService::SearchUser),
        DispMethod(13, "RequestUserInfo", &IOVService::RequestUserInfo),
        DispMethod(14, "UpdateSelfUserInfo", &IOVService::UpdateSelfUserInfo),
        DispMethod(15, "ChangeOnlineStatus", &IOVService::ChangeOnlineStatus),
        DispMethod(16, "AddUserToBuddyTree", &IOVService::AddUserToBuddyTree),
        DispMethod(17, "RemoveUserFromBuddyTree", &IOVService::RemoveUserFromBuddyTree),
        DispMethod(18, "AddGroupToBuddyTree", &IOVService::AddGroupToBuddyTree),
        DispMethod(19, "RemoveGroupFromBuddyTree", &IOVService::RemoveGroupFromBuddyTree),
        DispMethod(20, "RequestBuddyTree", &IOVService::RequestBuddyTree),
        DispMethod(21, "AddToBlackList", &IOVService::AddToBlackList),
        DispMethod(22, "RemoveFromBlackList", &IOVService::RemoveFromBlackList),
        DispMethod(23, "RequestBlackList", &IOVService::RequestBlackList),
        DispMethod(24, "SendToUser", &IOVService::SendToUser),
        DispMethod(25, "SendToUsers", &IOVService::SendToUsers),
        DispMethod(26, "EnterGroup", &IOVService::EnterGroup),
        DispMethod(27, "LeaveGroup", &IOVService::LeaveGroup),
        DispMethod(28, "RequestGroupOnlineUserList", &IOVService::RequestGroupOnlineUserList),
        DispMethod(29, "RequestGroupOnlineUserCount", &IOVService::RequestGroupOnlineUserCount),
        DispMethod(30, "UpdateBuddyGroupInfo", &IOVService::UpdateBuddyGroupInfo),
        DispMethod(31, "UpdateBuddyUserInfo", &IOVService::UpdateBuddyUserInfo),
        DispMethod(32, "RemoveNodesFromBuddyTree", &IOVService::RemoveNodesFromBuddyTree),
        DispMethod(33, "RemoveUsersFromBlackList", &IOVService::RemoveUsersFromBlackList),
        DispMethod(34, "SendToGroup", &IOVService::SendToGroup),
        DispMethod(35, "RequestPTPConnection", &IOVService::RequestPTPConnection),
        DispMethod(36, "ReplyAddBuddyRequest", &IOVService::ReplyAddBuddyRequest),
        DispMethod(37, "HandshakeServer", &IOVService::HandshakeServer),
        DispMethod(38, "CancelCommand", &IOVService::CancelCommand),
        DispMethod(39, "CancelAllCommands", &IOVService::CancelAllCommands),
        DispMethod(40, "About", &IOVService::About),
        DispMethod(41, "RequestGroupList", &IOVService::RequestGroupList),
        DispMethod(42, "SearchUser2", &IOVService::SearchUser2),
        DispMethod(43, "UnadviseAllConnections", &IOVService::UnadviseAllConnections),
        DispMethod(45, "RequestGroupOnlineUserList2", &IOVService::RequestGroupOnlineUserList2),
        DispMethod(46, "RequestBlackList2", &IOVService::RequestBlackList2),
        DispMethod(47, "RequestBuddyTree2", &IOVService::RequestBuddyTree2),
        DispMethod(48, "RequestOnlineUserStat", &IOVService::RequestOnlineUserStat),
        DispMethod(49, "SetProxy", &IOVService::SetProxy),
    };
    return table;
}

enum OVDISPID : int32_t {
    OV_DISPID_ON_COMMAND_SEND_ERROR = 1977,
    OV_DISPID_ON_COMMAND_SENT = 1978,
    OV_DISPID_ON_REGISTER_USER_REPLY = 1979,
    OV_DISPID_ON_LOGIN_REPLY = 1980,
    OV_DISPID_ON_CHANGE_PASSWORD_REPLY = 1981,
    OV_DISPID_ON_SEARCH_USER_REPLY = 1982,
    OV_DISPID_ON_REQUEST_USER_INFO_REPLY = 1983,
    OV_DISPID_ON_UPDATE_SELF_USER_INFO_REPLY = 1984,
    OV_DISPID_ON_CONNECTION_LOST = 1985,
    OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY = 1986,
    OV_DISPID_ON_ADD_GROUP_TO_BUDDY_TREE_REPLY = 1987,
    OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY = 1988,
    OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY = 1989,
    OV_DISPID_ON_BUDDY_STATUS_CHANGED = 1990,
    OV_DISPID_ON_ENTER_GROUP_REPLY = 1991,
    OV_DISPID_ON_USER_ENTER_GROUP = 1992,
    OV_DISPID_ON_USER_LEAVE_GROUP = 1993,
    OV_DISPID_ON_GROUP_ONLINE_USER_CHANGED = 1994,
    OV_DISPID_ON_SEND_TO_USER_REPLY = 1995,
    OV_DISPID_ON_SEND_TO_GROUP_REPLY = 1996,
    OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY = 1997,
    OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_CNT_REPLY = 1998,
    OV_DISPID_ON_UPDATE_BUDDY_USER_INFO_REPLY = 1999,
    OV_DISPID_ON_UPDATE_BUDDY_GROUP_INFO_REPLY = 2000,
    OV_DISPID_ON_USER_MESSAGE_RECEIVED = 2001,
    OV_DISPID_ON_GROUP_MESSAGE_RECEIVED = 2002,
    OV_DISPID_ON_REQUEST_PTP_CONNECTION_REPLY = 2003,
    OV_DISPID_ON_ADD_BUDDY_REQUEST = 2004,
    OV_DISPID_ON_PTP_CONNECTION_REQUEST = 2005,
    OV_DISPID_ON_USER_SYSTEM_MESSAGE_RECEIVED = 2006,
    OV_DISPID_ON_GROUP_SYSTEM_MESSAGE_RECEIVED = 2007,
    OV_DISPID_ON_HANDSHAKE_SERVER_REPLY = 2008,
    OV_DISPID_ON_REQUEST_GROUP_LIST_REPLY = 2009,
    OV_DISPID_ON_SERVER_ACK_TIME = 2010,
    OV_DISPID_ON_ADD_BUDDY_ACCEPT = 2011,
    OV_DISPID_ON_USER_STATUS_CHANGED = 2012,
    OV_DISPID_ON_SOCKET_DATA_SENT = 2013,
    OV_DISPID_ON_SOCKET_DATA_RECEIVED = 2014,
    OV_DISPID_ON_COMMAND_SEND = 2015,
    OV_DISPID_ON_SEARCH_USER_REPLY2 = 2016,
    OV_DISPID_ON_ADD_BUDDY_NOTICE = 2017,
    OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2 = 2018,
    OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2 = 2019,
    OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2 = 2020,
    OV_DISPID_ON_REQUEST_ONLINE_USER_STAT_REPLY = 2021,
};

// The events of IOVServiceEvents with their argument kinds, in declaration order:
// 'L' a long or enumeration (VT_I4), 'B' a VARIANT_BOOL (VT_BOOL), 'V' a byte-array VARIANT.
using OVServiceEventInfo = DispEventInfo;

inline constexpr OVServiceEventInfo kOVServiceEvents[] = {
    {OV_DISPID_ON_COMMAND_SEND_ERROR, "OnCommandSendError", "LL"},
    {OV_DISPID_ON_COMMAND_SENT, "OnCommandSent", "L"},
    {OV_DISPID_ON_COMMAND_SEND, "OnCommandSend", "LLL"},
    {OV_DISPID_ON_CONNECTION_LOST, "OnConnectionLost", ""},
    {OV_DISPID_ON_REGISTER_USER_REPLY, "OnRegisterUserReply", "LLLV"},
    {OV_DISPID_ON_LOGIN_REPLY, "OnLoginReply", "LLLLL"},
    {OV_DISPID_ON_CHANGE_PASSWORD_REPLY, "OnChangePasswordReply", "LL"},
    {OV_DISPID_ON_SEARCH_USER_REPLY, "OnSearchUserReply", "LLLV"},
    {OV_DISPID_ON_REQUEST_USER_INFO_REPLY, "OnRequestUserInfoReply", "LLV"},
    {OV_DISPID_ON_UPDATE_SELF_USER_INFO_REPLY, "OnUpdateSelfUserInfoReply", "LL"},
    {OV_DISPID_ON_ADD_USER_TO_BUDDY_TREE_REPLY, "OnAddUserToBuddyTreeReply", "LLL"},
    {OV_DISPID_ON_ADD_GROUP_TO_BUDDY_TREE_REPLY, "OnAddGroupToBuddyTreeReply", "LLL"},
    {OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY, "OnRequestBuddyTreeReply", "LLLV"},
    {OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY, "OnRequestBlackListReply", "LLLV"},
    {OV_DISPID_ON_ENTER_GROUP_REPLY, "OnEnterGroupReply", "LLLLLL"},
    {OV_DISPID_ON_UPDATE_BUDDY_USER_INFO_REPLY, "OnUpdateBuddyUserInfoReply", "LLL"},
    {OV_DISPID_ON_UPDATE_BUDDY_GROUP_INFO_REPLY, "OnUpdateBuddyGroupInfoReply", "LLL"},
    {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY, "OnRequestGroupOnlineUserListReply",
     "LLLLLLV"},
    {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_CNT_REPLY, "OnRequestGroupOnlineUserCountReply",
     "LLLLL"},
    {OV_DISPID_ON_SEND_TO_USER_REPLY, "OnSendToUserReply", "LL"},
    {OV_DISPID_ON_SEND_TO_GROUP_REPLY, "OnSendToGroupReply", "LL"},
    {OV_DISPID_ON_REQUEST_PTP_CONNECTION_REPLY, "OnRequestPTPConnectionReply", "LL"},
    {OV_DISPID_ON_REQUEST_GROUP_LIST_REPLY, "OnRequestGroupListReply", "LLLV"},
    {OV_DISPID_ON_ADD_BUDDY_REQUEST, "OnAddBuddyRequest", "VV"},
    {OV_DISPID_ON_ADD_BUDDY_ACCEPT, "OnAddBuddyAccept", "LV"},
    {OV_DISPID_ON_USER_ENTER_GROUP, "OnUserEnterGroup", "LLV"},
    {OV_DISPID_ON_USER_LEAVE_GROUP, "OnUserLeaveGroup", "LLL"},
    {OV_DISPID_ON_GROUP_ONLINE_USER_CHANGED, "OnGroupOnlineUserChanged", "LLL"},
    {OV_DISPID_ON_BUDDY_STATUS_CHANGED, "OnBuddyStatusChanged", "LL"},
    {OV_DISPID_ON_USER_MESSAGE_RECEIVED, "OnUserMessageReceived", "LLLLVL"},
    {OV_DISPID_ON_GROUP_MESSAGE_RECEIVED, "OnGroupMessageReceived", "LLLLLVL"},
    {OV_DISPID_ON_USER_SYSTEM_MESSAGE_RECEIVED, "OnUserSystemMessageReceived", "LLLVL"},
    {OV_DISPID_ON_GROUP_SYSTEM_MESSAGE_RECEIVED, "OnGroupSystemMessageReceived", "LLLLVL"},
    {OV_DISPID_ON_PTP_CONNECTION_REQUEST, "OnPTPConnectionRequest", "LVVLLLLV"},
    {OV_DISPID_ON_HANDSHAKE_SERVER_REPLY, "OnHandshakeServerReply", "LLLV"},
    {OV_DISPID_ON_SERVER_ACK_TIME, "OnServerAckTime", "L"},
    {OV_DISPID_ON_USER_STATUS_CHANGED, "OnUserStatusChanged", "LL"},
    {OV_DISPID_ON_SOCKET_DATA_SENT, "OnSocketDataSent", "L"},
    {OV_DISPID_ON_SOCKET_DATA_RECEIVED, "OnSocketDataReceived", "L"},
    {OV_DISPID_ON_ADD_BUDDY_NOTICE, "OnAddBuddyNotice", "V"},
    {OV_DISPID_ON_REQUEST_BUDDY_TREE_REPLY2, "OnRequestBuddyTreeReply2", "LLLLLV"},
    {OV_DISPID_ON_REQUEST_BLACK_LIST_REPLY2, "OnRequestBlackListReply2", "LLLLLV"},
    {OV_DISPID_ON_REQUEST_GROUP_ONLINE_USER_LIST_REPLY2, "OnRequestGroupOnlineUserListReply2",
     "LLLLLLLV"},
    {OV_DISPID_ON_SEARCH_USER_REPLY2, "OnSearchUserReply2", "LLBLV"},
    {OV_DISPID_ON_REQUEST_ONLINE_USER_STAT_REPLY, "OnRequestOnlineUserStatReply", "LLLL"},
};

inline const OVServiceEventInfo* FindOVServiceEvent(DISPID dispid) {
    for (const auto& e : kOVServiceEvents)
        if (e.dispid == dispid)
            return &e;
    return nullptr;
}
