// COVSocket, the implementation of the OVSocket class: one IPv4 socket, TCP or UDP, for the
// object's whole life, offered through IOVSocket, with what happens on the network reported
// as IOVSocketEvents. Worker threads watch readiness, drain the send queue and run connects
// and name look-ups, so no member blocks its caller on a send and nothing needs polling.
//
// Threads of one object:
//  - receive-watch: reports readiness (OnDataAvailable / OnConnectionIncoming) once per arming;
//  - send: sends the head of the queue whenever the socket can take it (OnSendProgress,
//    OnSendError);
//  - connect (one per direct Connect) and resolve (one per ResolveHost), short-lived.
// The object owns the receive-watch and send threads and joins them in its destructor; Close
// ends both at once. Connect and resolve threads belong to LookupThreads, as a name look-up
// may take seconds that the last Release must not wait for: such a thread holds the object's
// WorkerLink instead of the object, and pins the object only while it fires an event or arms
// the watch. Once the object is gone, what the thread learns is dropped without an event.
//
// The last reference must not be released from inside an event that the receive-watch or
// send thread fires, nor by a thread that holds a lock its sink takes: destruction joins them.
// Inside an event of a connect or resolve thread it may: the thread's pin keeps the object
// until the event returns, and the object then ends on that thread.
#pragma once

#include <atomic>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovsock.h"
#include "platform/win32/critical_section.h"
#include "sock/resolve_address.h"
#include "sock/socket_handle.h"
#include "sock/wake_word.h"

namespace ov::sock {

// The text of a BSTR, embedded zeros included; empty for a null BSTR.
inline std::u16string_view BstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}
// A BSTR in code page 936, the form host texts and strings take on the wire.
std::string ToCp936(BSTR text);

class COVSocket;

// What a connect or resolve thread shares with the object that started it; the thread holds
// it, so it stays valid however long the thread outlives the object.
class WorkerLink {
public:
    explicit WorkerLink(COVSocket* owner) : owner_(owner) {}

    // A reference to the object while it lives; null once its last reference is gone.
    ComPtr<COVSocket> Pin();
    // First thing the destructor does: from then on Pin gives nothing.
    void Detach();

    std::atomic<bool> connecting{false};  // a connect thread runs
    std::atomic<bool> resolving{false};   // a resolve thread runs
    std::atomic<bool> stopped{false};     // Close has run; read by threads without a pin

private:
    std::mutex mutex_;  // guards owner_: the destructor waits here for a pin being taken
    COVSocket* owner_;
};

// One queued packet, owned by the queue.
struct SendQueueEntry {
    std::vector<BYTE> data;                  // the bytes to send (N = upper bound)
    VARIANT_BOOL addressed = VARIANT_FALSE;  // SendTo: the entry carries its destination
    std::string host;                        // destination of an addressed entry (code page 936)
    LONG port = 0;
    // The destination of an addressed entry whose host is a dotted literal, read at SendTo;
    // other hosts are looked up when the packet is sent.
    bool hasAddress = false;
    sockaddr_in address{};
    // Through a SOCKS5 proxy: the destination is the proxy's UDP relay as it stands when the
    // entry is sent, so datagrams queued before the association was made reach it too.
    bool toRelay = false;
    LONG packetId = 0;
    size_t bytesSent = 0;
    // A datagram that found the queue empty is sent by SendTo itself, on the caller's thread,
    // rather than after waking the send thread; the send thread then reports it as it would
    // have: progress from 0, then completion, or the error the send met (an errno).
    bool sentEarly = false;
    int earlyError = 0;
};

// What SetProxy stores; it takes effect at the next Connect or send step.
struct ProxySettings {
    OVSOCKAccessTypeEnum accessType = OVSOCK_ACCESS_DIRECT;
    OVSOCKProxyAuthMethodEnum authMethod = OVSOCK_AUTH_NONE;
    Bstr host;
    LONG port = 0;
    Bstr userName = Bstr::Empty();
    Bstr password = Bstr::Empty();
};

class COVSocket final : public DispatchObject<COVSocket, IOVSocket, IConnectionPointContainer> {
public:
    COVSocket();
    ~COVSocket() override;

    static const DispatchTable<IOVSocket>& DispatchMap() { return OVSocketDispatch(); }

    // IOVSocket
    HRESULT Create(OVSOCKTypeEnum eSocketType, VARIANT_BOOL* pbResult) override;
    HRESULT ReceiveFrom(BSTR* pbstrHostAddress, LONG* pnPort, VARIANT* pvData,
                        VARIANT_BOOL* pbResult) override;
    HRESULT Bind(BSTR bstrHostAddress, LONG nPort, VARIANT_BOOL* pbResult) override;
    HRESULT get_Writeable(VARIANT_BOOL* pbResult) override;
    HRESULT get_Readable(VARIANT_BOOL* pbResult) override;
    HRESULT ClearSendQueue() override;
    HRESULT get_SendQueuePacketsCount(LONG* pnCount) override;
    HRESULT Send(VARIANT Data, LONG* pnPacketID) override;
    HRESULT SendString(BSTR bstrString, LONG* pnPacketID) override;
    HRESULT SendTo(BSTR bstrHostAddress, LONG nPort, VARIANT Data, LONG* pnPacketID) override;
    HRESULT SendStringTo(BSTR bstrHostAddress, LONG nPort, BSTR bstrString,
                         LONG* pnPacketID) override;
    HRESULT ReceiveStringFrom(BSTR* pbstrHostAddress, LONG* pnPort, BSTR* pbstrString,
                              VARIANT_BOOL* pbResult) override;
    HRESULT Receive(VARIANT* pvData, VARIANT_BOOL* pbResult) override;
    HRESULT ReceiveString(BSTR* pbstrString, VARIANT_BOOL* pbResult) override;
    HRESULT Connect(BSTR bstrHostAddress, LONG nPort, VARIANT_BOOL* pbResult) override;
    HRESULT Listen(LONG nMaxQueueLen, VARIANT_BOOL* pbResult) override;
    HRESULT ResolveHost(BSTR bstrHost, VARIANT_BOOL* pbResult) override;
    HRESULT IsIPAddress(BSTR bstrHostAddress, VARIANT_BOOL* pfYesOrNo) override;
    HRESULT Close() override;
    HRESULT Accept(BSTR* pbstrHost, LONG* pnPort, IOVSocket** ppSocket) override;
    HRESULT get_LastError(OVSOCKErrorCodeEnum* peError) override;
    HRESULT get_LocalHostName(BSTR* pbstrName) override;
    HRESULT get_LocalIPString(BSTR* pbstrIP) override;
    HRESULT get_LocalIP(LONG* pnIP) override;
    HRESULT get_AccessType(OVSOCKAccessTypeEnum* peAccessType) override;
    HRESULT SetProxy(OVSOCKAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                     OVSOCKProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                     BSTR bstrProxyPassword) override;
    HRESULT get_LocalPort(LONG* pnPort) override;
    HRESULT InitializeSocket(OVSOCKErrorCodeEnum* peError) override;

    // IConnectionPointContainer
    HRESULT EnumConnectionPoints(void** ppEnum) override;
    HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

private:
    // The flags of the two wake words.
    static constexpr uint32_t kStop = 1;         // both: Close has run
    static constexpr uint32_t kSendPending = 2;  // send: the queue may hold packets
    static constexpr uint32_t kArmed = 2;        // receive: readiness is to be reported once

    // Lifetime (ovsocket.cpp)
    bool Initialised() const { return initialised_.load(std::memory_order_acquire); }
    bool Stopped() const { return stopped_.load(std::memory_order_acquire); }
    void ArmReceive() { receiveWake_.Raise(kArmed); }
    void DisarmReceive() { receiveWake_.Clear(kArmed); }

    // The socket (ovsocket_connection.cpp)
    SocketRef DataSocket() const;
    // Takes socket as the object's own and starts the receive-watch and send threads (not
    // after Close); false, and the socket left to its other holders, when the object has one.
    bool AdoptSocket(SocketRef socket, OVSOCKTypeEnum type);
    // Starts body in the slot's thread (not running before).
    template <class Body>
    static void StartThread(std::thread* slot, Body body);
    // Starts body on a thread of LookupThreads with running set; clears running when no
    // thread can be started.
    template <class Body>
    static void StartLookupThread(std::atomic<bool>* running, Body body);

    // Queue (ovsocket_send.cpp)
    LONG Enqueue(SendQueueEntry entry);
    // Under lock_, with the queue empty: sends an addressed datagram of a direct UDP socket at
    // once (not waiting for room) and records the outcome in the entry; a datagram the socket
    // cannot take now is left to the send thread.
    void SendEarly(SendQueueEntry* entry);
    LONG NextPacketId();  // caller holds lock_
    // The packet's bytes of a Send or SendTo payload, in a buffer a sent packet left.
    std::vector<BYTE> CopyPayload(const VARIANT& data);
    // Keeps the buffer of a packet that left the queue for the next one.
    void RecycleBuffer(std::vector<BYTE> buffer);

    // Events
    template <class... A>
    void Fire(OVSOCKDISPID dispid, const A&... args) const {
        events_.Fire(dispid, args...);
    }
    // The look-up events of a connect or resolve thread, each fired while the object lives.
    static LookupObserver LookupEvents(const std::shared_ptr<WorkerLink>& link);

    // Worker threads (worker_threads.cpp, send_step.cpp)
    void ReceiveWatchThread(SocketRef socket);
    void SendThread(SocketRef socket);
    // One attempt on the head of the queue, if it is still the packet whose progress was
    // just reported. Without mayBlock it gives up with kWouldBlock, nothing sent, when the
    // socket cannot take the packet at once.
    enum class StepResult { kDone, kWouldBlock };
    StepResult SendStep(const SocketHandle& socket, LONG reportedId, bool mayBlock);
    // Static: the object may be gone while they run; they reach it through link only.
    static void ConnectThread(std::shared_ptr<WorkerLink> link, SocketRef socket, std::string host,
                              LONG port);
    static void ResolveThread(std::shared_ptr<WorkerLink> link, std::string host);

    // Proxy (socks5.cpp)
    ProxySettings Proxy() const;
    OVSOCKAccessTypeEnum AccessType() const;
    // Runs the negotiation unless it has succeeded already; false, with the flag clear and
    // the thread's last error set, when it fails.
    bool NegotiateProxy();
    // Method selection, user name and password, then CONNECT (TCP) or UDP ASSOCIATE (UDP) on
    // the control connection fd; *bound gets the address of the proxy's reply.
    bool Negotiate(int fd, bool tcp, sockaddr_in* bound);
    // Drops the control connection of a negotiated proxy and clears the negotiated flag.
    void DropProxyControl();
    std::vector<BYTE> WrapDatagramForProxy(const std::string& host, LONG port,
                                           const VARIANT& data) const;
    // Strips the relay's header from a received datagram and takes the sender from it; a
    // sender that is no IPv4 address is given as text in *senderText. False for a datagram
    // too short for the header it announces.
    bool UnwrapDatagramFromProxy(CByteArrayVariant* data, sockaddr_in* sender,
                                 std::string* senderText);

    // The object lock: guards the send queue and next packet ID, the remote host and port,
    // the check-and-start of connect and resolve threads, and the state change of Close.
    // Never held while a sink is called, nor during a wait for readiness, recv or accept;
    // the send step holds it during its send call, so Send and ClearSendQueue wait for an
    // attempt in progress.
    mutable CriticalSection lock_;
    // The sinks; the connection point guards its list with a mutex of its own and calls each
    // sink outside it, so firing never waits behind a send step that holds lock_.
    ConnectionPoint events_;

    // Guards dataSocket_ and proxySocket_ (the references, not the sockets); held only to
    // copy or swap them, never during a call on the socket.
    mutable std::mutex socketMutex_;
    SocketRef dataSocket_;   // the socket of Create or Accept; null when there is none
    SocketRef proxySocket_;  // the connection that carries a proxy negotiation

    // The worker threads' signals. sendWake_: kStop, kSendPending (raised by Enqueue after
    // the entry is in; cleared only under lock_, when the send thread finds the queue empty,
    // or after a failure). receiveWake_: kStop, kArmed.
    WakeWord sendWake_;
    WakeWord receiveWake_;
    std::atomic<bool> stopped_{false};      // set by Close, never cleared
    std::atomic<bool> initialised_{false};  // set by InitializeSocket
    // Shared with connect and resolve threads; see WorkerLink.
    const std::shared_ptr<WorkerLink> link_;

    // Under lock_:
    std::deque<SendQueueEntry> sendQueue_;  // the head is the packet being sent
    LONG nextPacketId_ = 100;               // the last packet ID handed out
    Bstr remoteHost_;                       // host of Connect or ResolveHost
    LONG remotePort_ = 0;

    // Written by InitializeSocket before any other use.
    Bstr localHostName_;
    Bstr localIpText_;
    LONG localIp_ = 0;  // network byte order

    std::atomic<LONG> localPort_{0};  // last port read from the socket, host order
    std::atomic<bool> proxyNegotiated_{false};
    std::atomic<bool> listening_{false};
    std::atomic<OVSOCKTypeEnum> socketType_{OVSOCK_TCP};

    mutable std::mutex proxyMutex_;  // guards proxy_
    ProxySettings proxy_;
    // proxy_.accessType, written under proxyMutex_ with it, for the send path to read at once.
    std::atomic<OVSOCKAccessTypeEnum> accessType_{OVSOCK_ACCESS_DIRECT};

    std::mutex spareMutex_;                        // guards spareBuffers_
    std::vector<std::vector<BYTE>> spareBuffers_;  // buffers of sent packets, for the next ones

    // Started once, by AdoptSocket (a socket is adopted at most once while stop is clear);
    // joined by the destructor, never from their own thread.
    std::thread receiveThread_;
    std::thread sendThread_;
};

}  // namespace ov::sock
