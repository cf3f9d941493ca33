// COVService: the kernel's one class. It turns each IOVService call into one command datagram,
// delivers commands reliably one at a time over its UDP socket, and reports every outcome
// through the events of IOVServiceEvents.
//
// Threads: any client thread calls members; the socket's receive-watch and send threads call
// back through an agile sink; three worker threads (retransmission, keep-alive, reply
// time-out) run between Init and Deinit. One re-entrant lock guards every field; events are
// raised outside it, except OnSocketDataSent.
#pragma once

#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovkernel.h"
#include "common/interfaces/ovsock.h"
#include "kernel/clock.h"
#include "kernel/kernel_event.h"
#include "platform/win32/critical_section.h"
#include "platform/win32/events.h"

namespace ov::kernel {

class SocketSink;

// Creates the UDP socket object; the default creates class OVSocket through the runtime.
using SocketFactory = std::function<HRESULT(ComPtr<IOVSocket>*)>;

struct PendingCommand {
    LONG packetId = 0;  // of the latest transmission; 0 when the socket refused it
    uint16_t command = 0;
    uint16_t replyCode = 0;  // 0: no reply awaited
    uint32_t packetSeq = 0;
    uint16_t cmdSeqNum = 0;
    CByteArrayVariant packet;
    uint32_t created = 0;
    uint32_t lastSent = 0;
    uint16_t retries = 0;
    bool replyRegistered = false;
};

struct AwaitedReply {
    uint16_t command;
    uint16_t replyCode;
    uint16_t cmdSeqNum;
    uint32_t registered;
};

class COVService final : public DispatchObject<COVService, IOVService, IConnectionPointContainer> {
public:
    COVService();
    ~COVService() override;

    static const DispatchTable<IOVService>& DispatchMap() { return OVServiceDispatch(); }

    // For tests and tools: the clock and the socket factory in use from the next Init.
    void SetClock(std::shared_ptr<KernelClock> clock) { clock_ = std::move(clock); }
    void SetSocketFactory(SocketFactory factory) { socketFactory_ = std::move(factory); }

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(void** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // IOVService
    HRESULT Init(BSTR sLocalHost, LONG nLocalPort, LONG* pbOK) override;
    HRESULT Deinit() override;
    HRESULT get_ServerAddress(BSTR* pbstrAddress) override;
    HRESULT get_ServerPort(LONG* pnPort) override;
    HRESULT RegisterUser(VARIANT varUserInfo, LONG* pnCmdSeqNum) override;
    HRESULT UnregisterUser(LONG nPin, BSTR sUserName, BSTR sPassword, LONG* pnCmdSeqNum) override;
    HRESULT ChangePassword(LONG nPin, BSTR sUserName, BSTR sOldPassword, BSTR sNewPassword,
                           LONG* pnCmdSeqNum) override;
    HRESULT Login(LONG nPin, BSTR sUserName, BSTR sPassword, OVOnlineStatusEnum eOnlineStatus,
                  LONG TerminalID, LONG* pnCmdSeqNum) override;
    HRESULT Logout(LONG* pnCmdSeqNum) override;
    HRESULT get_IsLoggedIn(LONG* pbLoggedIn) override;
    HRESULT get_CurrentUserName(BSTR* pbstrUserName) override;
    HRESULT SearchUser(VARIANT varUserInfo, LONG* pnCmdSeqNum) override;
    HRESULT RequestUserInfo(LONG nPin, BSTR sUserName, LONG* pnCmdSeqNum) override;
    HRESULT UpdateSelfUserInfo(VARIANT varUserInfo, LONG* pnCmdSeqNum) override;
    HRESULT ChangeOnlineStatus(OVOnlineStatusEnum eOnlineStatus, LONG* pnCmdSeqNum) override;
    HRESULT AddUserToBuddyTree(LONG nPin, BSTR sMessage, BSTR sDisplayName, LONG nBuddyMode,
                               LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) override;
    HRESULT RemoveUserFromBuddyTree(LONG nPin, LONG* pnCmdSeqNum) override;
    HRESULT AddGroupToBuddyTree(LONG nBuddyGroupID, BSTR sBuddyGroupName, LONG nBuddyGroupMode,
                                LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) override;
    HRESULT RemoveGroupFromBuddyTree(LONG nBuddyGroupID, LONG* pnCmdSeqNum) override;
    HRESULT RequestBuddyTree(LONG* pnCmdSeqNum) override;
    HRESULT AddToBlackList(LONG nPin, BSTR sUserName, LONG* pnCmdSeqNum) override;
    HRESULT RemoveFromBlackList(LONG nPin, LONG* pnCmdSeqNum) override;
    HRESULT RequestBlackList(LONG* pnCmdSeqNum) override;
    HRESULT SendToUser(LONG nPin, LONG nMsgType, LONG nComponentID, LONG nComponentCode,
                       VARIANT varMessage, LONG* pnCmdSeqNum) override;
    HRESULT SendToUsers(LONG nRcptCount, VARIANT varPinList, LONG nMsgType, LONG nComponentID,
                        LONG nComponentCode, VARIANT varMessage, LONG* pnCmdSeqNum) override;
    HRESULT EnterGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName, BSTR sPassword,
                       LONG* pnCmdSeqNum) override;
    HRESULT LeaveGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                       LONG* pnCmdSeqNum) override;
    HRESULT RequestGroupOnlineUserList(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                                       LONG* pnCmdSeqNum) override;
    HRESULT RequestGroupOnlineUserCount(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                                        LONG* pnCmdSeqNum) override;
    HRESULT UpdateBuddyGroupInfo(LONG nBuddyGroupID, BSTR sBuddyGroupName, LONG nBuddyGroupMode,
                                 LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) override;
    HRESULT UpdateBuddyUserInfo(LONG nPin, BSTR sDisplayName, LONG nBuddyMode,
                                LONG nParentBuddyGroupID, LONG* pnCmdSeqNum) override;
    HRESULT RemoveNodesFromBuddyTree(LONG nCount, VARIANT varBuddyNodesID,
                                     LONG* pnCmdSeqNum) override;
    HRESULT RemoveUsersFromBlackList(LONG nCount, VARIANT varPinList, LONG* pnCmdSeqNum) override;
    HRESULT SendToGroup(OVGroupTypeEnum eGroupType, LONG nGroupID, LONG nMsgType, LONG nComponentID,
                        LONG nComponentCode, VARIANT varMessage, LONG* pnCmdSeqNum) override;
    HRESULT RequestPTPConnection(LONG nPin, LONG nComponentID, LONG nComponentCode, LONG nMyIP,
                                 LONG nMyPort, VARIANT varRequestMessage,
                                 LONG* pnCmdSeqNum) override;
    HRESULT ReplyAddBuddyRequest(LONG nToPin, OVBuddyAcceptEnum eBuddyAccept,
                                 LONG* pnCmdSeqNum) override;
    HRESULT HandshakeServer(BSTR bstrServerAddress, LONG nServerPort, LONG* pnCmdSeqNum) override;
    HRESULT CancelCommand(LONG nCmdSeqNum, LONG* pbOK) override;
    HRESULT CancelAllCommands(LONG* pbOK) override;
    HRESULT About() override;
    HRESULT RequestGroupList(OVGroupTypeEnum eGroupType, OVGroupListSortEnum eSort, LONG nStart,
                             LONG nCount, LONG* pnCmdSeqNum) override;
    HRESULT SearchUser2(LONG nStart, LONG nOnline, VARIANT varUserInfo, LONG* pnCmdSeq) override;
    HRESULT UnadviseAllConnections() override;
    HRESULT RequestGroupOnlineUserList2(OVGroupTypeEnum eGroupType, LONG nGroupID, BSTR sGroupName,
                                        LONG* pnCmdSeqNum) override;
    HRESULT RequestBlackList2(LONG* pnCmdSeqNum) override;
    HRESULT RequestBuddyTree2(LONG* pnCmdSeqNum) override;
    HRESULT RequestOnlineUserStat(LONG* pnCmdSeqNum) override;
    HRESULT SetProxy(OVAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                     OVProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                     BSTR bstrProxyPassword) override;

    // Called by the socket sink on the socket's threads.
    void OnSocketDataAvailable();
    void OnSocketSendProgress(LONG packetId, LONG sent, LONG size, bool complete);

private:
    // --- lifecycle and events (service_lifecycle.cpp)
    // The init guard: false (after the message box) when Init has not run.
    bool CheckInit(const char* method, LONG* out);
    // The login guard: false when no user is logged in (out set to 0).
    bool CheckLogin(LONG* out);
    void Raise(const KernelEvent& event);
    void Raise(DISPID dispid, std::vector<EventArg> args);

    // --- delivery (service_delivery.cpp)
    uint16_t NextCmdSeqNum();
    // Builds the command from its body and submits it; returns nCmdSeqNum or 0.
    LONG Submit(uint16_t command, uint16_t replyCode, const std::string& body, bool urgent = false);
    // Submits a list of count u32 identifiers; 0 unless the bytes hold exactly count * 4 with
    // count > 0 (read as 16 bits, as it travels).
    LONG SubmitIdList(uint16_t command, LONG nCount, const VARIANT& varIds);
    // Puts a command in flight and transmits it; false when the socket refused it. Lock held.
    bool Transmit(PendingCommand& cmd);
    void Acknowledge(uint32_t packetSeq);
    void SendNextQueued();
    void GiveUp(const PendingCommand& cmd, OVErrorCodeEnum error);
    void RetransmissionThread();
    void KeepAliveThread();
    bool KeepAlivePending() const;  // lock held
    void ReplyTimeoutThread();
    void StartThread(std::thread& thread, HANDLE finished, void (COVService::*body)());

    // --- receive path (service_receive.cpp)
    void Dispatch(uint16_t code, uint16_t cmdSeqNum, OVErrorCodeEnum error, const uint8_t* body,
                  size_t length);

    std::shared_ptr<KernelClock> clock_;
    SocketFactory socketFactory_;
    ConnectionPoint events_;

    // Guards every field below; re-entrant because submitting from the keep-alive thread and
    // raising OnSocketDataSent happen with it held.
    CriticalSection cs_;
    bool initialised_ = false;
    bool eventsEnabled_ = true;
    ComPtr<IOVSocket> socket_;
    ComPtr<SocketSink> sink_;
    DWORD sinkCookie_ = 0xFEFEFEFE;
    Bstr serverAddress_;
    LONG serverPort_ = 0;
    uint32_t currentPin_ = 0;
    uint32_t loginId_ = 0;
    uint32_t onlineStatus_ = 0;
    uint32_t localIp_ = 0;
    uint16_t clientCode_ = 0;
    std::vector<uint32_t> components_;
    std::deque<uint32_t> recentPackets_;

    uint32_t packetSeq_ = 1000;
    uint16_t cmdSeq_ = 1000;
    std::unique_ptr<PendingCommand> inFlight_;
    std::deque<std::unique_ptr<PendingCommand>> queue_;
    std::list<AwaitedReply> awaited_;
    uint32_t roundTrips_[10] = {};
    uint32_t roundTripIndex_ = 0;
    uint32_t keepAliveFailures_ = 0;

    HANDLE stop_ = nullptr;
    HANDLE inFlightEvent_ = nullptr;
    HANDLE awaitingReply_ = nullptr;
    HANDLE online_ = nullptr;
    HANDLE finished_[3] = {nullptr, nullptr, nullptr};
    std::thread threads_[3];  // retransmission, keep-alive, reply time-out; joined by Deinit
};

}  // namespace ov::kernel
