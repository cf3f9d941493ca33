// Shared by the socket component's tests: OVSock.so registered in a private registry, socket
// objects made through the runtime, a sink that records their events, and plain POSIX
// sockets on 127.0.0.1 as independent peers.
#pragma once

#include <gtest/gtest.h>
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovsock.h"
#include "platform/com/com.h"

namespace ov::sock::test {

using namespace std::chrono_literals;

// Long enough for anything on loopback to happen; only reached when a test fails.
constexpr std::chrono::milliseconds kEventTimeout = 10s;

// Points the registry store at a fresh file for the fixture's lifetime.
class ScopedRegistry {
public:
    ScopedRegistry();
    ~ScopedRegistry();

private:
    std::filesystem::path dir_;
};

struct SocketEvent {
    DISPID id;
    std::vector<LONG> args;  // OnSendProgress: id, sent, size, complete; OnSendError: id
    std::string text;        // OnHostResolved: the address
    std::thread::id thread;
};

// Records every IOVSocketEvents call, in order, with its thread. Extra... is IAgileObject for
// a sink called directly on the firing thread, empty for one that lives in its apartment.
template <class... Extra>
class BasicRecorder final : public DispatchObject<BasicRecorder<Extra...>, IDispatch, Extra...> {
public:
    using Hook = std::function<void(const SocketEvent&)>;
    using Events = std::vector<SocketEvent>;

    static const DispatchTable<BasicRecorder>& DispatchMap();

    // Runs on the firing thread after each event is recorded, outside the recorder's lock.
    // Set it before the recorder is advised.
    void SetHook(Hook hook) { hook_ = std::move(hook); }

    Events All() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return events_;
    }
    size_t Count(DISPID id) const {
        std::lock_guard<std::mutex> lock(mutex_);
        size_t n = 0;
        for (const auto& e : events_)
            n += e.id == id;
        return n;
    }
    // Waits until done(events) holds; false after the time-out.
    bool WaitUntil(const std::function<bool(const Events&)>& done,
                   std::chrono::milliseconds timeout = kEventTimeout) const {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return done(events_); });
    }
    bool WaitForCount(DISPID id, size_t n,
                      std::chrono::milliseconds timeout = kEventTimeout) const {
        return WaitUntil(
            [&](const Events& events) {
                size_t k = 0;
                for (const auto& e : events)
                    k += e.id == id;
                return k >= n;
            },
            timeout);
    }

    void OnConnectStart() { Record(OVSOCK_DISPID_ON_CONNECT_START); }
    void OnConnectFailed() { Record(OVSOCK_DISPID_ON_CONNECT_FAILED); }
    void OnConnectionEstablished() { Record(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED); }
    void OnConnectionClosed() { Record(OVSOCK_DISPID_ON_CONNECTION_CLOSED); }
    void OnHostResolveStart() { Record(OVSOCK_DISPID_ON_HOST_RESOLVE_START); }
    void OnHostResolveFailed() { Record(OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED); }
    void OnHostResolved(BSTR address) {
        Record(OVSOCK_DISPID_ON_HOST_RESOLVED, {}, BstrToUtf8(address));
    }
    void OnConnectionIncoming() { Record(OVSOCK_DISPID_ON_CONNECTION_REQUEST); }
    void OnDataAvailable() { Record(OVSOCK_DISPID_ON_DATA_AVAILABLE); }
    void OnSendProgress(LONG id, LONG sent, LONG size, SHORT complete) {
        Record(OVSOCK_DISPID_ON_SEND_PROGRESS, {id, sent, size, complete});
    }
    void OnSendError(LONG id) { Record(OVSOCK_DISPID_ON_SEND_ERROR, {id}); }

private:
    void Record(DISPID id, std::vector<LONG> args = {}, std::string text = {}) {
        SocketEvent e{id, std::move(args), std::move(text), std::this_thread::get_id()};
        {
            std::lock_guard<std::mutex> lock(mutex_);
            events_.push_back(e);
        }
        changed_.notify_all();
        if (hook_)
            hook_(e);
    }

    mutable std::mutex mutex_;  // guards events_
    mutable std::condition_variable changed_;
    Events events_;
    Hook hook_;
};

template <class... Extra>
const DispatchTable<BasicRecorder<Extra...>>& BasicRecorder<Extra...>::DispatchMap() {
    using R = BasicRecorder;
    static const DispatchTable<R> table{
        DispEvent(OVSOCK_DISPID_ON_CONNECT_START, "OnConnectStart", &R::OnConnectStart),
        DispEvent(OVSOCK_DISPID_ON_CONNECT_FAILED, "OnConnectFailed", &R::OnConnectFailed),
        DispEvent(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED, "OnConnectionEstablished",
                  &R::OnConnectionEstablished),
        DispEvent(OVSOCK_DISPID_ON_CONNECTION_CLOSED, "OnConnectionClosed", &R::OnConnectionClosed),
        DispEvent(OVSOCK_DISPID_ON_HOST_RESOLVE_START, "OnHostResolveStart",
                  &R::OnHostResolveStart),
        DispEvent(OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED, "OnHostResolveFailed",
                  &R::OnHostResolveFailed),
        DispEvent(OVSOCK_DISPID_ON_HOST_RESOLVED, "OnHostResolved", &R::OnHostResolved),
        DispEvent(OVSOCK_DISPID_ON_CONNECTION_REQUEST, "OnConnectionIncoming",
                  &R::OnConnectionIncoming),
        DispEvent(OVSOCK_DISPID_ON_DATA_AVAILABLE, "OnDataAvailable", &R::OnDataAvailable),
        DispEvent(OVSOCK_DISPID_ON_SEND_PROGRESS, "OnSendProgress", &R::OnSendProgress),
        DispEvent(OVSOCK_DISPID_ON_SEND_ERROR, "OnSendError", &R::OnSendError),
    };
    return table;
}

using Recorder = BasicRecorder<IAgileObject>;

// The event's DISPIDs in order, for comparing sequences.
std::vector<DISPID> Ids(const std::vector<SocketEvent>& events);
// The OnSendProgress / OnSendError events, each as {dispid, args...}.
std::vector<std::vector<LONG>> SendEvents(const std::vector<SocketEvent>& events);

// A socket object and the recorder advised on it.
struct Endpoint {
    ComPtr<IOVSocket> socket;
    ComPtr<Recorder> events;
    IOVSocket* operator->() const { return socket.Get(); }
};

// One gate a sink hook can hold a worker thread at until the test opens it.
class Gate {
public:
    void Open();
    // Waits until opened; false after the time-out.
    bool Wait(std::chrono::milliseconds timeout = kEventTimeout);

private:
    std::mutex mutex_;  // guards open_
    std::condition_variable cv_;
    bool open_ = false;
};

// A thread-safe flag a hook raises and the test waits for.
class Signal {
public:
    void Raise();
    bool Wait(std::chrono::milliseconds timeout = kEventTimeout);

private:
    std::mutex mutex_;  // guards raised_
    std::condition_variable cv_;
    bool raised_ = false;
};

// Registers OVSock.so in a private registry and joins the free-threaded apartment.
class SockTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new object, initialised, with a recorder advised (hook set first), not yet created.
    Endpoint NewObject(Recorder::Hook hook = {});
    // The same, with a socket of the given type.
    Endpoint NewSocket(OVSOCKTypeEnum type, Recorder::Hook hook = {});
    // A UDP socket bound to 127.0.0.1 on a port of the system's choice.
    Endpoint NewBoundUdp(Recorder::Hook hook = {});
    // A TCP socket listening on 127.0.0.1; its port in *port.
    Endpoint NewListener(LONG* port);
    // A client connected to a listener of ours and the object the listener accepted.
    struct TcpPair NewTcpPair(Recorder::Hook clientHook = {}, Recorder::Hook serverHook = {});

    ScopedRegistry registry_;

private:
    // Every recorder handed out, to see in TearDown when the socket holding it has ended.
    std::vector<ComPtr<Recorder>> recorders_;
};

// Convenience wrappers of the members, for readable tests.
LONG SendBytes(IOVSocket* socket, std::string_view bytes);
LONG SendBytesTo(IOVSocket* socket, const char* host, LONG port, std::string_view bytes);
bool Flag(VARIANT_BOOL b);
LONG LocalPort(IOVSocket* socket);
OVSOCKErrorCodeEnum LastError(IOVSocket* socket);
bool ConnectTo(IOVSocket* socket, const char* host, LONG port);

// One ReceiveFrom: its flag, the sender and the bytes.
struct Datagram {
    bool ok = false;
    std::string host;
    LONG port = -1;
    std::string data;
};
Datagram ReceiveDatagram(IOVSocket* socket);

// A connected TCP pair of socket objects: client connected to a listener, server accepted.
struct TcpPair {
    Endpoint listener;
    Endpoint client;
    Endpoint server;  // the accepted object, with its own recorder
};

// A plain socket for the other end, closed on destruction.
class RawSocket {
public:
    RawSocket() = default;
    explicit RawSocket(int fd) : fd_(fd) {}
    RawSocket(RawSocket&& o) noexcept : fd_(std::exchange(o.fd_, -1)) {}
    RawSocket& operator=(RawSocket&& o) noexcept;
    ~RawSocket();

    static RawSocket UdpBound();      // 127.0.0.1, system-chosen port
    static RawSocket TcpListening();  // 127.0.0.1, system-chosen port
    static RawSocket TcpBound();      // the same, not listening
    static RawSocket TcpConnected(LONG port);

    int Fd() const { return fd_; }
    LONG Port() const;
    // Waits up to timeout for a connection; an invalid socket when none came.
    RawSocket Accept(std::chrono::milliseconds timeout = kEventTimeout) const;
    // Reads until n bytes came, the peer closed or the time-out passed.
    std::string ReadExactly(size_t n, std::chrono::milliseconds timeout = kEventTimeout) const;
    // One datagram, or nothing after the time-out; *fromPort gets the sender's port.
    std::optional<std::string> ReadDatagram(std::chrono::milliseconds timeout = kEventTimeout,
                                            LONG* fromPort = nullptr) const;
    bool Readable(std::chrono::milliseconds timeout) const;
    void Write(std::string_view bytes) const;
    void WriteTo(LONG port, std::string_view bytes) const;
    void Reset();  // closes with RST: the peer sees the connection reset

private:
    int fd_ = -1;
};

}  // namespace ov::sock::test
