// COVService: the kernel's one class. It turns each IOVService call into one command datagram,
// delivers commands reliably one at a time over its UDP socket, and reports every outcome
// through the events of IOVServiceEvents.
//
// Threads: any client thread calls members; the socket's receive-watch and send threads call
// back through an agile sink; three worker threads (retransmission, keep-alive, reply
// time-out) run between Init and Deinit. One re-entrant lock guards every field.
//
// Where events are raised, and what a handler may rely on:
//  - On the caller's thread, before the method returns: CancelCommand and CancelAllCommands
//    (OnCommandSend and OnCommandSendError for commands not yet acknowledged, the reply event
//    with OV_ERR_USER_CANCELED for awaited replies), and Deinit, which cancels what is left.
//    The cancelled commands have already left the kernel when their events are raised:
//    cancelling them again finds nothing, and a command submitted from the handler is new.
//  - On the socket's receive-watch thread: OnSocketDataReceived, the acknowledgement events
//    (OnCommandSend, OnCommandSent, OnUserStatusChanged, OnServerAckTime), replies and
//    notifications. Only datagrams from the server named by HandshakeServer count: one from
//    any other address or port is read and dropped without an acknowledgement and without
//    any event, OnSocketDataReceived included, so a stranger cannot make the client speak.
//  - On the socket's send thread: OnSocketDataSent.
//  - On the worker threads: give-ups (OnCommandSend, OnCommandSendError), OnConnectionLost,
//    and reply events with OV_ERR_TIME_OUT.
// No lock of the kernel is held while an event is raised, except OnSocketDataSent, which is
// raised under the kernel lock. A handler may therefore call any member from inside any
// event, CancelAllCommands, Logout and Deinit included. Deinit called on one of the kernel's
// own threads (inside an event raised by a worker or a socket thread) cannot wait for those
// threads: it stops them, cancels what is pending and returns, and the threads are joined and
// the socket released by the next Init or Deinit on another thread, or by the destructor.
// Events already under way on other kernel threads may still arrive until then. The object
// must outlive its events: a handler must not release the last reference to it.
// UnadviseAllConnections stops all events at once: those already posted to the thread of a
// sink in a single-threaded apartment are dropped there (a free-threaded sink may still see
// one that was being raised while the call ran).
#pragma once

#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovkernel.h"
#include "common/interfaces/ovsock.h"
#include "kernel/kernel_event.h"
#include "platform/time/clock.h"
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
    // An AwaitedReply has been made for it, or its reply has already come: none is made later.
    bool replyRegistered = false;
};

struct AwaitedReply {
    uint16_t command;
    uint16_t replyCode;
    uint16_t cmdSeqNum;
    uint32_t registered;
};

// The events and the clock of one Init..Deinit session. Each worker thread holds its session,
// so a thread that Deinit could not wait for (Deinit ran on it) still finds its stop event set
// and its handles open for as long as it takes to end.
struct Session {
    explicit Session(std::shared_ptr<Clock> sessionClock);
    ~Session();  // closes the handles: no thread waits on them any more
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    std::shared_ptr<Clock> clock;
    HANDLE stop;
    HANDLE inFlight;
    HANDLE awaitingReply;
    HANDLE online;
    HANDLE finished[3];  // retransmission, keep-alive, reply time-out
};

class COVService final : public DispatchObject<COVService, IOVService, IConnectionPointContainer> {
public:
    COVService();
    ~COVService() override;

    static const DispatchTable<IOVService>& DispatchMap() { return OVServiceDispatch(); }

    // For the kernel's own tests and tools, in use from the next Init: the clock (without one
    // the kernel takes ProcessClock() at Init) and the socket factory.
    void SetClock(std::shared_ptr<Clock> clock);
    void SetSocketFactory(SocketFactory factory);

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
    // True on the worker threads and inside the socket's calls into this object.
    bool OnOwnThread() const;
    // Sets or resets an event of the current session; nothing once Deinit has let it go.
    // Lock held.
    void Signal(HANDLE Session::*event, bool set);
    // Joins the threads, waits out the socket calls and releases the sockets that a Deinit on
    // one of the kernel's own threads left behind. Never on such a thread; lock not held.
    void FinishRetired();

    // --- delivery (service_delivery.cpp)
    uint16_t NextCmdSeqNum();
    // Builds the command from its body and submits it; returns nCmdSeqNum or 0.
    LONG Submit(uint16_t command, uint16_t replyCode, const std::string& body, bool urgent = false);
    // Submits a list of count u32 identifiers; 0 unless the bytes hold exactly count * 4 with
    // count > 0 (read as 16 bits, as it travels).
    LONG SubmitIdList(uint16_t command, LONG nCount, const VARIANT& varIds);
    // Puts a command in flight and transmits it; false when the socket refused it. Lock held.
    bool Transmit(PendingCommand& cmd);
    // Starts waiting for the command's reply. Lock held.
    void AwaitReply(PendingCommand& cmd);
    void Acknowledge(uint32_t packetSeq);
    void SendNextQueued();
    void GiveUp(const PendingCommand& cmd, OVErrorCodeEnum error);
    void RetransmissionThread(const Session& s);
    void KeepAliveThread(const Session& s);
    bool KeepAlivePending() const;  // lock held
    void ReplyTimeoutThread(const Session& s);
    void StartThread(size_t index, void (COVService::*body)(const Session&));

    // --- receive path (service_receive.cpp)
    // Whether a datagram from host:port (as the socket reports the sender) is the server's.
    bool FromServer(BSTR host, LONG port);
    // Looks the server's name up once, on the calling (receive) thread, outside the lock.
    void LookUpServerName();
    void Dispatch(uint16_t code, uint16_t cmdSeqNum, OVErrorCodeEnum error, const uint8_t* body,
                  size_t length);

    ConnectionPoint events_;

    // Guards every field below; re-entrant because submitting from the keep-alive thread and
    // raising OnSocketDataSent happen with it held.
    CriticalSection cs_;
    std::shared_ptr<Clock> explicitClock_;  // from SetClock
    std::shared_ptr<Clock> clock_;          // of the current session
    SocketFactory socketFactory_;
    bool initialised_ = false;
    bool starting_ = false;  // Init is creating the socket (outside the lock)
    bool stopping_ = false;  // Deinit is under way
    bool eventsEnabled_ = true;
    ComPtr<IOVSocket> socket_;
    ComPtr<SocketSink> sink_;
    DWORD sinkCookie_ = 0xFEFEFEFE;
    Bstr serverAddress_;  // as HandshakeServer was given it
    // Where commands go: serverAddress_, and once a name has been looked up the address it
    // resolved to, in dotted form, so that datagrams go to the very address replies are
    // accepted from.
    Bstr serverHost_;
    std::optional<uint32_t> serverIp_;  // network byte order; empty until known
    // A server name is looked up by the receive path when the first datagram comes, never
    // by HandshakeServer: a look-up can take seconds and the caller is the GUI thread.
    bool serverLookedUp_ = false;
    uint32_t handshakes_ = 0;  // counts HandshakeServer calls, to discard a stale look-up
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

    std::shared_ptr<Session> session_;  // null outside Init..Deinit
    std::thread threads_[3];  // retransmission, keep-alive, reply time-out; joined by Deinit
    // Left by a Deinit that ran on one of the kernel's own threads; see FinishRetired.
    std::vector<std::thread> retiredThreads_;
    std::vector<ComPtr<SocketSink>> retiredSinks_;
    std::vector<ComPtr<IOVSocket>> retiredSockets_;
};

}  // namespace ov::kernel
