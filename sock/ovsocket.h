// COVSocket, the implementation of the OVSocket class: one IPv4 socket, TCP or UDP, for the
// object's whole life, offered through IOVSocket, with what happens on the network reported
// as IOVSocketEvents. Worker threads watch readiness, drain the send queue and run connects
// and name look-ups, so no member blocks its caller on a send and nothing needs polling.
//
// Threads of one object, each owned by it and joined in its destructor:
//  - receive-watch: reports readiness (OnDataAvailable / OnConnectionIncoming) once per arming;
//  - send: sends the head of the queue whenever the socket can take it (OnSendProgress,
//    OnSendError);
//  - connect (one per direct Connect) and resolve (one per ResolveHost), short-lived.
// Seven manual-reset events carry every signal between them (see the fields below).
//
// Destruction closes the socket and waits for all four threads to end, so the last
// reference must not be released from inside one of the object's own events, nor by a
// thread that holds a lock its sink takes.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovsock.h"
#include "platform/win32/critical_section.h"
#include "platform/win32/events.h"
#include "sock/resolve_address.h"
#include "sock/socket_handle.h"

namespace ov::sock {

// The text of a BSTR, embedded zeros included; empty for a null BSTR.
inline std::u16string_view BstrView(BSTR text) {
    return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}
// A BSTR in code page 936, the form host texts and strings take on the wire.
std::string ToCp936(BSTR text);

// One queued packet, owned by the queue.
struct SendQueueEntry {
    CByteArrayVariant data;                  // the bytes to send (N = upper bound)
    VARIANT_BOOL addressed = VARIANT_FALSE;  // SendTo: the entry carries its destination
    std::string host;                        // destination of an addressed entry (code page 936)
    LONG port = 0;
    // Through a SOCKS5 proxy: the destination is the proxy's UDP relay as it stands when the
    // entry is sent, so datagrams queued before the association was made reach it too.
    bool toRelay = false;
    LONG packetId = 0;
    size_t bytesSent = 0;
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
    // Lifetime (ovsocket.cpp)
    bool CreateEvents();
    void CloseEvents();
    bool Initialised() const { return connectIdle_ != nullptr; }
    bool Stopped() const { return IsEventSet(stop_); }

    // The socket (ovsocket_connection.cpp)
    SocketRef DataSocket() const;
    // Takes socket as the object's own and starts the receive-watch and send threads (not
    // after Close); false, and the socket left to its other holders, when the object has one.
    bool AdoptSocket(SocketRef socket, OVSOCKTypeEnum type);
    // Joins the previous thread of the slot (it has set its idle event) and starts body in it;
    // when it cannot start, idle is set again.
    template <class Body>
    void StartThread(std::thread* slot, HANDLE idle, Body body);

    // Queue (ovsocket_send.cpp)
    LONG Enqueue(SendQueueEntry entry);
    LONG NextPacketId();  // caller holds lock_

    // Events
    template <class... A>
    void Fire(OVSOCKDISPID dispid, const A&... args) const {
        events_.Fire(dispid, args...);
    }
    LookupObserver LookupEvents() const;

    // Worker threads (worker_threads.cpp, send_step.cpp)
    void ReceiveWatchThread(SocketRef socket);
    void SendThread(SocketRef socket);
    // One attempt on the head of the queue, if it is still the packet whose progress was
    // just reported. Without mayBlock it gives up with kWouldBlock, nothing sent, when the
    // socket cannot take the packet at once.
    enum class StepResult { kDone, kWouldBlock };
    StepResult SendStep(const SocketHandle& socket, LONG reportedId, bool mayBlock);
    void ConnectThread(SocketRef socket, std::string host, LONG port);
    void ResolveThread(std::string host);

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
    CByteArrayVariant WrapDatagramForProxy(const std::string& host, LONG port,
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

    // The seven manual-reset events; created by InitializeSocket, null before it.
    HANDLE stop_ = nullptr;          // set by Close, never cleared
    HANDLE sendIdle_ = nullptr;      // set while the send thread does not run
    HANDLE receiveIdle_ = nullptr;   // set while the receive-watch thread does not run
    HANDLE connectIdle_ = nullptr;   // set while no connect thread runs
    HANDLE resolveIdle_ = nullptr;   // set while no resolve thread runs
    HANDLE sendPending_ = nullptr;   // the queue may hold packets
    HANDLE receiveArmed_ = nullptr;  // readiness is to be reported once
    HANDLE idleEvents_[4] = {};      // send, receive, connect and resolve idle
    HANDLE sendWaitSet_[2] = {};     // stop, send pending
    HANDLE receiveWaitSet_[2] = {};  // stop, receive armed

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

    // The threads. receiveThread_ and sendThread_ are started once, by AdoptSocket (a socket
    // is adopted at most once while stop is clear); connectThread_ and resolveThread_ are
    // replaced under lock_ once their idle event is set. All are joined by the destructor
    // after the four idle events are set.
    std::thread receiveThread_;
    std::thread sendThread_;
    std::thread connectThread_;
    std::thread resolveThread_;
};

}  // namespace ov::sock
