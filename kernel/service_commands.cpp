// COVService: the command methods of IOVService. Each checks Init (and the login where the
// command needs one), encodes its body and submits it.
#include "kernel/request_bodies.h"
#include "kernel/server_address.h"
#include "kernel/service.h"
#include "platform/text/cp936.h"

namespace ov::kernel {

namespace {
// A BSTR argument as code page 936 bytes; a null BSTR is the empty text.
std::string Ansi(BSTR text) {
    if (text == nullptr)
        return {};
    return ov::Utf16ToCp936(std::u16string_view(text, SysStringLen(text)));
}

std::string BytesOf(const VARIANT& v) {
    return std::string(CByteArrayVariant(v).View());
}

// The body of a command about one node or user: a count of 1 and its identifier.
std::string SingleIdBody(LONG id) {
    Writer ids;
    ids.U32(static_cast<uint32_t>(id));
    Writer w;
    BodyIdList(w, 1, ids.Bytes());
    return w.Bytes();
}

std::string GroupRefBody(OVGroupTypeEnum type, LONG groupId, BSTR groupName) {
    Writer w;
    BodyGroupRef(w, static_cast<uint16_t>(type), static_cast<uint32_t>(groupId), Ansi(groupName));
    return w.Bytes();
}

// The out-parameter, written once the command has been submitted.
HRESULT Result(LONG* out, LONG seq) {
    if (out)
        *out = seq;
    return S_OK;
}
}  // namespace

#define OV_GUARD(method, out)    \
    if (out == nullptr)          \
        return E_POINTER;        \
    if (!CheckInit(method, out)) \
    return S_OK
#define OV_GUARD_LOGIN(method, out) \
    OV_GUARD(method, out);          \
    if (!CheckLogin(out))           \
    return S_OK

HRESULT COVService::RegisterUser(VARIANT varUserInfo, LONG* pnCmdSeqNum) {
    OV_GUARD("RegisterUser", pnCmdSeqNum);
    Writer w;
    BodyRegisterUser(w, UserInfoFromBytes(BytesOf(varUserInfo)));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_REGISTER, OV_CCMD_USR_REGISTER, w.Bytes()));
}

HRESULT COVService::UnregisterUser(LONG, BSTR, BSTR, LONG* pnCmdSeqNum) {
    OV_GUARD("UnregisterUser", pnCmdSeqNum);
    return Result(pnCmdSeqNum, 0);  // the protocol has no such command
}

HRESULT COVService::ChangePassword(LONG nPin, BSTR sUserName, BSTR sOldPassword, BSTR sNewPassword,
                                   LONG* pnCmdSeqNum) {
    OV_GUARD("ChangePassword", pnCmdSeqNum);
    Writer w;
    BodyChangePassword(w, static_cast<uint32_t>(nPin), Ansi(sUserName), Ansi(sOldPassword),
                       Ansi(sNewPassword));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_PASSWORD, OV_CCMD_USR_PASSWORD, w.Bytes()));
}

HRESULT COVService::Login(LONG nPin, BSTR sUserName, BSTR sPassword,
                          OVOnlineStatusEnum eOnlineStatus, LONG TerminalID, LONG* pnCmdSeqNum) {
    OV_GUARD("Login", pnCmdSeqNum);
    Writer w;
    {
        CriticalSectionLock lock(cs_);
        BodyLogin(w, static_cast<uint32_t>(nPin), Ansi(sUserName), Ansi(sPassword), localIp_,
                  static_cast<uint32_t>(eOnlineStatus), static_cast<uint32_t>(TerminalID),
                  components_.data(), static_cast<uint16_t>(components_.size()));
        // A new login ends the previous one first, so its header carries PIN 0. The status
        // it asks for travels in the request only: the one kept is ChangeOnlineStatus's.
        if (currentPin_ != 0) {
            currentPin_ = 0;
            loginId_ = 0;
            Signal(&Session::online, false);
            for (auto& r : roundTrips_)
                r = 0;
            roundTripIndex_ = 0;
        }
    }
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_LOGIN, OV_CCMD_USR_LOGIN, w.Bytes()));
}

HRESULT COVService::Logout(LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("Logout", pnCmdSeqNum);
    CriticalSectionLock lock(cs_);
    LONG seq = Submit(OV_CCMD_USR_LOGOUT, 0, std::string());  // header: the old PIN
    currentPin_ = 0;
    loginId_ = 0;
    Signal(&Session::online, false);
    for (auto& r : roundTrips_)
        r = 0;
    roundTripIndex_ = 0;
    return Result(pnCmdSeqNum, seq);
}

HRESULT COVService::SearchUser(VARIANT varUserInfo, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("SearchUser", pnCmdSeqNum);
    Writer w;
    BodySearchUser(w, UserInfoFromBytes(BytesOf(varUserInfo)));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_SEARCH, OV_CCMD_USR_SEARCH, w.Bytes()));
}

HRESULT COVService::RequestUserInfo(LONG nPin, BSTR sUserName, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestUserInfo", pnCmdSeqNum);
    Writer w;
    BodyGetUserInfo(w, static_cast<uint32_t>(nPin), Ansi(sUserName));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_GET_INFO, OV_CCMD_USR_GET_INFO, w.Bytes()));
}

HRESULT COVService::UpdateSelfUserInfo(VARIANT varUserInfo, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("UpdateSelfUserInfo", pnCmdSeqNum);
    Writer w;
    BodyPutUserInfo(w, UserInfoFromBytes(BytesOf(varUserInfo)));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_PUT_INFO, OV_CCMD_USR_PUT_INFO, w.Bytes()));
}

HRESULT COVService::ChangeOnlineStatus(OVOnlineStatusEnum eOnlineStatus, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("ChangeOnlineStatus", pnCmdSeqNum);
    {
        CriticalSectionLock lock(cs_);
        onlineStatus_ = static_cast<uint32_t>(eOnlineStatus);
    }
    Writer w;
    BodyOnlineStatus(w, static_cast<uint32_t>(eOnlineStatus));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_USR_STATUS, 0, w.Bytes()));
}

HRESULT COVService::AddUserToBuddyTree(LONG nPin, BSTR sMessage, BSTR sDisplayName, LONG nBuddyMode,
                                       LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("AddUserToBuddyTree", pnCmdSeqNum);
    Writer w;
    BodyBuddyAdd(w, static_cast<uint32_t>(nPin), static_cast<uint32_t>(nParentBuddyGroupID),
                 static_cast<uint32_t>(nBuddyMode), Ansi(sMessage), false, Ansi(sDisplayName));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_ADD, OV_CCMD_BUDDY_ADD, w.Bytes()));
}

HRESULT COVService::RemoveUserFromBuddyTree(LONG nPin, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RemoveUserFromBuddyTree", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_DEL, 0, SingleIdBody(nPin)));
}

HRESULT COVService::AddGroupToBuddyTree(LONG nBuddyGroupID, BSTR sBuddyGroupName,
                                        LONG nBuddyGroupMode, LONG nParentBuddyGroupID,
                                        LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("AddGroupToBuddyTree", pnCmdSeqNum);
    Writer w;
    BodyBuddyAdd(w, static_cast<uint32_t>(nBuddyGroupID),
                 static_cast<uint32_t>(nParentBuddyGroupID), static_cast<uint32_t>(nBuddyGroupMode),
                 std::string_view(), true, Ansi(sBuddyGroupName));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_ADD, OV_CCMD_BUDDY_ADD, w.Bytes()));
}

HRESULT COVService::RemoveGroupFromBuddyTree(LONG nBuddyGroupID, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RemoveGroupFromBuddyTree", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_DEL, 0, SingleIdBody(nBuddyGroupID)));
}

HRESULT COVService::RequestBuddyTree(LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestBuddyTree", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_GET_LST, OV_CCMD_BUDDY_GET_LST, std::string()));
}

HRESULT COVService::AddToBlackList(LONG nPin, BSTR sUserName, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("AddToBlackList", pnCmdSeqNum);
    Writer w;
    BodyBlackListAdd(w, static_cast<uint32_t>(nPin), Ansi(sUserName));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BLACKLST_ADD, 0, w.Bytes()));
}

HRESULT COVService::RemoveFromBlackList(LONG nPin, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RemoveFromBlackList", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BLACKLST_DEL, 0, SingleIdBody(nPin)));
}

HRESULT COVService::RequestBlackList(LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestBlackList", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BLACKLST_GET, OV_CCMD_BLACKLST_GET, std::string()));
}

HRESULT COVService::SendToUser(LONG nPin, LONG nMsgType, LONG nComponentID, LONG nComponentCode,
                               VARIANT varMessage, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("SendToUser", pnCmdSeqNum);
    Writer pin;
    pin.U32(static_cast<uint32_t>(nPin));
    Writer w;
    if (!BodySendToUsers(w, static_cast<uint32_t>(nMsgType), static_cast<uint32_t>(nComponentID),
                         static_cast<uint32_t>(nComponentCode), BytesOf(varMessage), 1,
                         pin.Bytes()))
        return Result(pnCmdSeqNum, 0);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_SENDTO_USR, OV_CCMD_SENDTO_USR, w.Bytes()));
}

HRESULT COVService::SendToUsers(LONG nRcptCount, VARIANT varPinList, LONG nMsgType,
                                LONG nComponentID, LONG nComponentCode, VARIANT varMessage,
                                LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("SendToUsers", pnCmdSeqNum);
    std::string pins = BytesOf(varPinList);
    if (nRcptCount <= 0 || pins.size() != static_cast<size_t>(nRcptCount) * 4)
        return Result(pnCmdSeqNum, 0);
    Writer w;
    if (!BodySendToUsers(w, static_cast<uint32_t>(nMsgType), static_cast<uint32_t>(nComponentID),
                         static_cast<uint32_t>(nComponentCode), BytesOf(varMessage),
                         static_cast<uint32_t>(nRcptCount), pins))
        return Result(pnCmdSeqNum, 0);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_SENDTO_USR, OV_CCMD_SENDTO_USR, w.Bytes()));
}

HRESULT COVService::EnterGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                               BSTR sPassword, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("EnterGroup", pnCmdSeqNum);
    Writer w;
    BodyEnterGroup(w, static_cast<uint16_t>(eGroupType), static_cast<uint32_t>(nGroupID),
                   Ansi(sGroupName), Ansi(sPassword));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_GRP_USR_ENTER, OV_CCMD_GRP_USR_ENTER, w.Bytes()));
}

HRESULT COVService::LeaveGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                               LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("LeaveGroup", pnCmdSeqNum);
    return Result(pnCmdSeqNum,
                  Submit(OV_CCMD_GRP_USR_LEAVE, 0, GroupRefBody(eGroupType, nGroupID, sGroupName)));
}

HRESULT COVService::RequestGroupOnlineUserList(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                               BSTR sGroupName, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestGroupOnlineUserList", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_GRP_GET_OUSR_LIST, OV_CCMD_GRP_GET_OUSR_LIST,
                                      GroupRefBody(eGroupType, nGroupID, sGroupName)));
}

HRESULT COVService::RequestGroupOnlineUserCount(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                                BSTR sGroupName, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestGroupOnlineUserCount", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_GRP_GET_OUSR_CNT, OV_CCMD_GRP_GET_OUSR_CNT,
                                      GroupRefBody(eGroupType, nGroupID, sGroupName)));
}

HRESULT COVService::UpdateBuddyGroupInfo(LONG nBuddyGroupID, BSTR sBuddyGroupName,
                                         LONG nBuddyGroupMode, LONG nParentBuddyGroupID,
                                         LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("UpdateBuddyGroupInfo", pnCmdSeqNum);
    Writer w;
    BodyBuddyUpdate(w, static_cast<uint32_t>(nBuddyGroupID),
                    static_cast<uint32_t>(nParentBuddyGroupID),
                    static_cast<uint32_t>(nBuddyGroupMode), Ansi(sBuddyGroupName));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_UPD, OV_CCMD_BUDDY_UPD, w.Bytes()));
}

HRESULT COVService::UpdateBuddyUserInfo(LONG nPin, BSTR sDisplayName, LONG nBuddyMode,
                                        LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("UpdateBuddyUserInfo", pnCmdSeqNum);
    Writer w;
    BodyBuddyUpdate(w, static_cast<uint32_t>(nPin), static_cast<uint32_t>(nParentBuddyGroupID),
                    static_cast<uint32_t>(nBuddyMode), Ansi(sDisplayName));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BUDDY_UPD, OV_CCMD_BUDDY_UPD, w.Bytes()));
}

HRESULT COVService::RemoveNodesFromBuddyTree(LONG nCount, VARIANT varBuddyNodesID,
                                             LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RemoveNodesFromBuddyTree", pnCmdSeqNum);
    return Result(pnCmdSeqNum, SubmitIdList(OV_CCMD_BUDDY_DEL, nCount, varBuddyNodesID));
}

HRESULT COVService::RemoveUsersFromBlackList(LONG nCount, VARIANT varPinList, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RemoveUsersFromBlackList", pnCmdSeqNum);
    return Result(pnCmdSeqNum, SubmitIdList(OV_CCMD_BLACKLST_DEL, nCount, varPinList));
}

LONG COVService::SubmitIdList(uint16_t command, LONG nCount, const VARIANT& varIds) {
    const auto count = static_cast<int16_t>(nCount);  // the count travels as 16 bits
    std::string ids = BytesOf(varIds);
    if (count <= 0 || ids.size() != static_cast<size_t>(count) * 4)
        return 0;
    Writer w;
    BodyIdList(w, static_cast<uint16_t>(count), ids);
    return Submit(command, 0, w.Bytes());
}

HRESULT COVService::SendToGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nMsgType,
                                LONG nComponentID, LONG nComponentCode, VARIANT varMessage,
                                LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("SendToGroup", pnCmdSeqNum);
    Writer w;
    if (!BodySendToGroup(w, static_cast<uint32_t>(nMsgType), static_cast<uint32_t>(nComponentID),
                         static_cast<uint32_t>(nComponentCode), static_cast<uint16_t>(eGroupType),
                         static_cast<uint32_t>(nGroupID), BytesOf(varMessage)))
        return Result(pnCmdSeqNum, 0);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_SENDTO_GRP, OV_CCMD_SENDTO_GRP, w.Bytes()));
}

HRESULT COVService::RequestPTPConnection(LONG nPin, LONG nComponentID, LONG nComponentCode,
                                         LONG nMyIP, LONG nMyPort, VARIANT varRequestMessage,
                                         LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestPTPConnection", pnCmdSeqNum);
    Writer w;
    if (!BodyRequestPtp(w, static_cast<uint32_t>(nPin), static_cast<uint32_t>(nComponentID),
                        static_cast<uint32_t>(nComponentCode), static_cast<uint32_t>(nMyIP),
                        static_cast<uint16_t>(nMyPort), BytesOf(varRequestMessage)))
        return Result(pnCmdSeqNum, 0);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_REQUEST_PTP, OV_CCMD_REQUEST_PTP, w.Bytes()));
}

HRESULT COVService::ReplyAddBuddyRequest(LONG nToPin, OVBuddyAcceptEnum eBuddyAccept,
                                         LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("ReplyAddBuddyRequest", pnCmdSeqNum);
    Writer w;
    BodyReplyBuddyAuth(w, static_cast<uint32_t>(nToPin), static_cast<uint8_t>(eBuddyAccept));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_REPLY_BUDDY_AUTH, 0, w.Bytes()));
}

HRESULT COVService::HandshakeServer(BSTR bstrServerAddress, LONG nServerPort, LONG* pnCmdSeqNum) {
    OV_GUARD("HandshakeServer", pnCmdSeqNum);
    // A literal is known at once; a name is looked up by the receive path (see service.h).
    const std::optional<uint32_t> ip = ParseIPv4(Ansi(bstrServerAddress));
    {
        CriticalSectionLock lock(cs_);
        serverAddress_ = Bstr(bstrServerAddress);
        serverHost_ = ip ? Bstr::FromUtf8(DottedIPv4(*ip)) : Bstr(bstrServerAddress);
        serverIp_ = ip;
        serverLookedUp_ = ip.has_value();
        ++handshakes_;
        serverPort_ = nServerPort;
    }
    return Result(pnCmdSeqNum,
                  Submit(OV_CCMD_HANDSHACK_SERVER, OV_CCMD_HANDSHACK_SERVER, std::string()));
}

HRESULT COVService::RequestGroupList(OVGroupTypeEnum eGroupType, OVGroupListSortEnum, LONG nStart,
                                     LONG nCount, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestGroupList", pnCmdSeqNum);
    Writer w;
    BodyGroupList(w, static_cast<uint16_t>(eGroupType), static_cast<uint32_t>(nStart),
                  static_cast<uint32_t>(nCount));
    return Result(pnCmdSeqNum, Submit(OV_CCMD_GRP_GET_TOP_LST, OV_CCMD_GRP_GET_TOP_LST, w.Bytes()));
}

HRESULT COVService::SearchUser2(LONG nStart, LONG nOnline, VARIANT varUserInfo, LONG* pnCmdSeq) {
    OV_GUARD_LOGIN("SearchUser2", pnCmdSeq);
    Writer w;
    BodySearchUser2(w, UserInfoFromBytes(BytesOf(varUserInfo)), static_cast<uint32_t>(nOnline),
                    static_cast<uint32_t>(nStart));
    return Result(pnCmdSeq, Submit(OV_CCMD_USR_SEARCH2, OV_CCMD_USR_SEARCH2, w.Bytes()));
}

HRESULT COVService::RequestGroupOnlineUserList2(OVGroupTypeEnum eGroupType, LONG nGroupID,
                                                BSTR sGroupName, LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestGroupOnlineUserList2", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_GRP_GET_OUSR_LIST2, OV_CCMD_GRP_GET_OUSR_LIST2,
                                      GroupRefBody(eGroupType, nGroupID, sGroupName)));
}

HRESULT COVService::RequestBlackList2(LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestBlackList2", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_BLACKLST_GET2, OV_CCMD_BLACKLST_GET2, std::string()));
}

HRESULT COVService::RequestBuddyTree2(LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestBuddyTree2", pnCmdSeqNum);
    return Result(pnCmdSeqNum,
                  Submit(OV_CCMD_BUDDY_GET_LST2, OV_CCMD_BUDDY_GET_LST2, std::string()));
}

HRESULT COVService::RequestOnlineUserStat(LONG* pnCmdSeqNum) {
    OV_GUARD_LOGIN("RequestOnlineUserStat", pnCmdSeqNum);
    return Result(pnCmdSeqNum, Submit(OV_CCMD_ONLINE_STAT, OV_CCMD_ONLINE_STAT, std::string()));
}

}  // namespace ov::kernel
