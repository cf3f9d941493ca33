// The object's life: registration, initialisation, members without a socket, the dispatch
// interface, Close waking blocked callers, destruction joining the worker threads, and the
// last release never waiting for a name look-up.
#include <arpa/inet.h>
#include <unistd.h>

#include <atomic>
#include <future>

#include "sock/lookup_threads.h"
#include "sock/ovsocket.h"
#include "sock/resolve_address.h"
#include "sock/tests/sock_test_support.h"

namespace ov::sock::test {
namespace {

class LifecycleTest : public SockTest {};

constexpr DISPID kData = OVSOCK_DISPID_ON_DATA_AVAILABLE;

// Releases the last reference on another thread; the future is ready once destruction ended.
std::future<void> ReleaseElsewhere(ComPtr<IOVSocket> socket) {
    return std::async(std::launch::async, [s = std::move(socket)]() mutable { s.Reset(); });
}

TEST_F(LifecycleTest, RegisteredAsAFreeThreadedClassUnderBothProgIds) {
    EXPECT_EQ(ThreadingModelOf(CLSID_OVSocket), "Free");
    std::string progId;
    ASSERT_EQ(ProgIDFromCLSID(CLSID_OVSocket, &progId), S_OK);
    EXPECT_EQ(progId, "OVSock.OVSocket.1");
    CLSID clsid{};
    ASSERT_EQ(CLSIDFromProgID("OVSock.OVSocket", &clsid), S_OK);
    EXPECT_EQ(clsid, CLSID_OVSocket);
}

TEST_F(LifecycleTest, InitialiseOnceAndReportTheLocalHost) {
    ComPtr<IOVSocket> socket;
    ASSERT_EQ(CoCreateInstance(CLSID_OVSocket, &socket), S_OK);
    VARIANT_BOOL ok = VARIANT_TRUE;
    socket->Create(OVSOCK_UDP, &ok);  // before InitializeSocket: refused, nothing breaks
    EXPECT_FALSE(Flag(ok));
    EXPECT_EQ(LastError(socket.Get()), OVSOCK_ERR_NOTINITIALISED);

    OVSOCKErrorCodeEnum e = OVSOCK_ERR_EVENT;
    socket->InitializeSocket(&e);
    EXPECT_EQ(e, OVSOCK_ERR_NONE);
    socket->InitializeSocket(&e);
    EXPECT_EQ(e, OVSOCK_ERR_HAD_BEEN_INITIALIZED);

    char name[256] = {};
    gethostname(name, sizeof name - 1);
    Bstr hostName, ipText;
    socket->get_LocalHostName(hostName.Out());
    EXPECT_EQ(hostName.ToUtf8(), name);
    socket->get_LocalIPString(ipText.Out());
    LONG ip = 0;
    socket->get_LocalIP(&ip);
    ASSERT_FALSE(ipText.ToUtf8().empty());
    EXPECT_EQ(static_cast<in_addr_t>(ip), inet_addr(ipText.ToUtf8().c_str()));
    OVSOCKAccessTypeEnum access = OVSOCK_ACCESS_SOCKS5;
    socket->get_AccessType(&access);
    EXPECT_EQ(access, OVSOCK_ACCESS_DIRECT);
}

TEST_F(LifecycleTest, WithoutASocketMembersFailAndLeaveTheirOutputsAlone) {
    Endpoint e = NewObject();
    IOVSocket* s = e.socket.Get();
    EXPECT_EQ(SendBytes(s, "abc"), 0);
    EXPECT_EQ(SendBytesTo(s, "127.0.0.1", 9, "abc"), 0);
    Variant data = Variant::Long(7);
    VARIANT_BOOL ok = VARIANT_TRUE;
    s->Receive(&data, &ok);
    EXPECT_FALSE(Flag(ok));
    EXPECT_EQ(data.vt, VT_I4);  // untouched
    Bstr host = Bstr::FromUtf8("unchanged");
    LONG port = 42;
    s->ReceiveFrom(host.Out(), &port, &data, &ok);
    EXPECT_FALSE(Flag(ok));
    EXPECT_EQ(port, 42);
    ComPtr<IOVSocket> accepted;
    s->Accept(host.Out(), &port, accepted.ReleaseAndGetAddressOf());
    EXPECT_FALSE(accepted);
    EXPECT_EQ(port, 42);
    for (auto call : {&IOVSocket::get_Readable, &IOVSocket::get_Writeable}) {
        ok = VARIANT_TRUE;
        (s->*call)(&ok);
        EXPECT_FALSE(Flag(ok));
    }
    s->Bind(Bstr::Empty(), 0, &ok);
    EXPECT_FALSE(Flag(ok));
    s->Listen(1, &ok);
    EXPECT_FALSE(Flag(ok));
    EXPECT_FALSE(ConnectTo(s, "127.0.0.1", 9));
    EXPECT_EQ(s->Close(), S_OK);
    EXPECT_EQ(LocalPort(s), 0);

    s->Create(static_cast<OVSOCKTypeEnum>(3), &ok);
    EXPECT_FALSE(Flag(ok));
    s->Create(OVSOCK_TCP, &ok);
    EXPECT_TRUE(Flag(ok));
    s->Create(OVSOCK_UDP, &ok);  // one socket per object
    EXPECT_FALSE(Flag(ok));
    s->SetProxy(OVSOCK_ACCESS_SOCKS5, Bstr::FromUtf8("127.0.0.1"), 1080, OVSOCK_AUTH_NONE,
                Bstr::Empty(), Bstr::Empty());
    s->Listen(1, &ok);
    EXPECT_FALSE(Flag(ok));  // a listening socket cannot be reached through the proxy
    OVSOCKAccessTypeEnum access = OVSOCK_ACCESS_DIRECT;
    s->get_AccessType(&access);
    EXPECT_EQ(access, OVSOCK_ACCESS_SOCKS5);
    EXPECT_TRUE(e.events->All().empty());
}

TEST_F(LifecycleTest, IsIPAddressIsTrueForDottedLiteralsOnly) {
    Endpoint e = NewObject();
    auto is = [&](const char* text) {
        VARIANT_BOOL yes = VARIANT_FALSE;
        e->IsIPAddress(Bstr::FromUtf8(text), &yes);
        return Flag(yes);
    };
    EXPECT_TRUE(is("127.0.0.1"));
    EXPECT_TRUE(is("10.1"));  // the short forms of the platform's parser
    EXPECT_FALSE(is("255.255.255.255"));
    EXPECT_FALSE(is("localhost"));
    EXPECT_FALSE(is(""));
    EXPECT_FALSE(is("1.2.3.4 trailing"));
    EXPECT_FALSE(is("1.2.3.256"));
}

TEST_F(LifecycleTest, MembersAnswerThroughDispatchWithTheirDispids) {
    Endpoint e = NewObject();
    IDispatch* disp = e.socket.Get();
    Variant result;
    ASSERT_EQ(DispCall(disp, 19, DISPATCH_METHOD, &result, Bstr::FromUtf8("1.2.3.4")), S_OK);
    EXPECT_EQ(result.vt, VT_BOOL);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    ASSERT_EQ(DispCall(disp, 1, DISPATCH_METHOD, &result, LONG{OVSOCK_UDP}), S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_TRUE);
    BSTR host = nullptr;
    LONG port = -1;
    Variant data;
    ASSERT_EQ(
        DispCall(disp, 3, DISPATCH_METHOD, &result, &host, &port, static_cast<VARIANT*>(&data)),
        S_OK);
    EXPECT_EQ(result.boolVal, VARIANT_FALSE);
    EXPECT_EQ(BstrToUtf8(host), "  ");
    EXPECT_EQ(port, 0);
    SysFreeString(host);
    ASSERT_EQ(DispCall(disp, 29, DISPATCH_METHOD, &result), S_OK);
    EXPECT_EQ(result.lVal, OVSOCK_ERR_HAD_BEEN_INITIALIZED);
}

TEST_F(LifecycleTest, CloseWakesCallersBlockedInReceiveAndAccept) {
    TcpPair pair = NewTcpPair();
    auto receive = std::async(std::launch::async, [&] {
        Variant data;
        VARIANT_BOOL ok = VARIANT_TRUE;
        pair.server->Receive(&data, &ok);  // nothing comes: blocks until Close
        return std::make_pair(ok, LastError(pair.server.socket.Get()));
    });
    auto accept = std::async(std::launch::async, [&] {
        Bstr host;
        LONG port = -1;
        ComPtr<IOVSocket> accepted;
        pair.listener->Accept(host.Out(), &port, accepted.ReleaseAndGetAddressOf());
        return accepted;
    });
    EXPECT_EQ(receive.wait_for(100ms), std::future_status::timeout);
    pair.server->Close();
    pair.listener->Close();
    ASSERT_EQ(receive.wait_for(7s), std::future_status::ready);
    ASSERT_EQ(accept.wait_for(7s), std::future_status::ready);
    auto [ok, error] = receive.get();
    EXPECT_FALSE(Flag(ok));
    EXPECT_EQ(error, OVSOCK_ERR_INTR);
    EXPECT_EQ(pair.server.events->Count(OVSOCK_DISPID_ON_CONNECTION_CLOSED), 0u);
    // A failed accept still gives an object, without a socket.
    ComPtr<IOVSocket> accepted = accept.get();
    ASSERT_TRUE(accepted);
    EXPECT_EQ(SendBytes(accepted.Get(), "x"), 0);
}

TEST_F(LifecycleTest, ThreadsEndSoonAfterCloseAndDestructionWaitsForThem) {
    // Both worker threads wait for readiness (UDP armed by Bind, listener by Listen).
    Endpoint udp = NewBoundUdp();
    LONG port = 0;
    Endpoint listener = NewListener(&port);
    auto start = std::chrono::steady_clock::now();
    udp->Close();
    listener->Close();
    auto a = ReleaseElsewhere(std::move(udp.socket));
    auto b = ReleaseElsewhere(std::move(listener.socket));
    EXPECT_EQ(a.wait_for(7s), std::future_status::ready);
    EXPECT_EQ(b.wait_for(7s), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 7s);
}

// A name look-up that waits until the test lets it end, standing in for a resolver that
// does not answer. It answers with 127.0.0.1.
class HeldLookup {
public:
    HeldLookup() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            entered_ = returned_ = 0;
            released_ = false;
        }
        previous_ = SetNameLookup(&Lookup);
    }
    ~HeldLookup() {
        Release();
        SetNameLookup(previous_);
    }
    // Waits until n look-ups have begun.
    bool WaitEntered(int n) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kEventTimeout, [&] { return entered_ >= n; });
    }
    int Returned() {
        std::lock_guard<std::mutex> lock(mutex_);
        return returned_;
    }
    void Release() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_ = true;
        }
        changed_.notify_all();
    }

private:
    static int Lookup(const char*, in_addr* address) {
        std::unique_lock<std::mutex> lock(mutex_);
        ++entered_;
        changed_.notify_all();
        changed_.wait(lock, [] { return released_; });
        ++returned_;
        address->s_addr = htonl(INADDR_LOOPBACK);
        return 0;
    }

    // The look-up is a plain function, so its state is static; one HeldLookup at a time.
    static inline std::mutex mutex_;  // guards entered_, returned_ and released_
    static inline std::condition_variable changed_;
    static inline int entered_ = 0;
    static inline int returned_ = 0;
    static inline bool released_ = false;
    NameLookup previous_ = nullptr;
};

// Objects made straight from the component's code in this program, so that the look-up the
// test puts in place and the threads it waits for are the ones these objects use.
class DirectLifecycleTest : public SockTest {
protected:
    Endpoint NewDirectObject(Recorder::Hook hook = {}) {
        Endpoint e;
        ComPtr<COVSocket> object = MakeComObject<COVSocket>();
        e.socket = ComPtr<IOVSocket>(object.Get());
        OVSOCKErrorCodeEnum init = OVSOCK_ERR_EVENT;
        e.socket->InitializeSocket(&init);
        EXPECT_EQ(init, OVSOCK_ERR_NONE);
        e.events = MakeComObject<Recorder>();
        e.events->SetHook(std::move(hook));
        DWORD cookie = 0;
        EXPECT_EQ(AtlAdvise(e.socket.Get(), e.events->GetUnknown(), DIID_IOVSocketEvents, &cookie),
                  S_OK);
        VARIANT_BOOL ok = VARIANT_FALSE;
        e.socket->Create(OVSOCK_TCP, &ok);
        EXPECT_TRUE(Flag(ok));
        return e;
    }
};

TEST_F(DirectLifecycleTest, ReleaseNeverWaitsForALookUpAndALateAnswerFiresNothing) {
    RawSocket listener = RawSocket::TcpListening();
    ComPtr<Recorder> resolverEvents, connectorEvents;
    {
        HeldLookup lookup;
        Endpoint resolver = NewDirectObject();
        Endpoint connector = NewDirectObject();
        resolverEvents = resolver.events;
        connectorEvents = connector.events;
        VARIANT_BOOL ok = VARIANT_FALSE;
        resolver->ResolveHost(Bstr::FromUtf8("held.invalid"), &ok);
        ASSERT_TRUE(Flag(ok));
        ASSERT_TRUE(ConnectTo(connector.socket.Get(), "held.invalid", listener.Port()));
        ASSERT_TRUE(lookup.WaitEntered(2));

        auto a = ReleaseElsewhere(std::move(resolver.socket));
        auto b = ReleaseElsewhere(std::move(connector.socket));
        ASSERT_EQ(a.wait_for(kEventTimeout), std::future_status::ready);
        ASSERT_EQ(b.wait_for(kEventTimeout), std::future_status::ready);
        EXPECT_EQ(lookup.Returned(), 0);  // both objects ended while their look-ups waited
    }                                     // the look-ups answer now
    ASSERT_TRUE(LookupThreads::Instance().WaitUntilIdle(kEventTimeout));
    const std::vector<DISPID> started{OVSOCK_DISPID_ON_HOST_RESOLVE_START};
    EXPECT_EQ(Ids(resolverEvents->All()), started);
    EXPECT_EQ(Ids(connectorEvents->All()), started);
    EXPECT_FALSE(listener.Readable(0ms));  // the answer was not used to connect
}

TEST_F(DirectLifecycleTest, ReleasedDuringAConnectEventTheObjectEndsWhenTheEventReturns) {
    RawSocket listener = RawSocket::TcpListening();
    Gate gate;
    Signal held;
    Endpoint client = NewDirectObject([&](const SocketEvent& e) {
        if (e.id == OVSOCK_DISPID_ON_CONNECT_START) {
            held.Raise();
            gate.Wait();
        }
    });
    ASSERT_TRUE(ConnectTo(client.socket.Get(), "127.0.0.1", listener.Port()));
    ASSERT_TRUE(held.Wait());
    auto released = ReleaseElsewhere(std::move(client.socket));
    EXPECT_EQ(released.wait_for(kEventTimeout), std::future_status::ready);
    gate.Open();
    // The connect thread held the object through the event, then let it go: the object ended
    // there, before connecting, and nothing followed.
    ASSERT_TRUE(LookupThreads::Instance().WaitUntilIdle(kEventTimeout));
    EXPECT_EQ(Ids(client.events->All()), (std::vector<DISPID>{OVSOCK_DISPID_ON_CONNECT_START}));
    EXPECT_FALSE(listener.Readable(0ms));
}

TEST_F(LifecycleTest, AfterCloseANewSocketIsNeitherServedNorWatched) {
    Endpoint e = NewBoundUdp();
    e->Close();
    VARIANT_BOOL ok = VARIANT_FALSE;
    e->Create(OVSOCK_UDP, &ok);
    EXPECT_TRUE(Flag(ok));
    e->Bind(Bstr::FromUtf8("127.0.0.1"), 0, &ok);
    EXPECT_TRUE(Flag(ok));
    RawSocket peer = RawSocket::UdpBound();
    peer.WriteTo(LocalPort(e.socket.Get()), "unheard");
    EXPECT_NE(SendBytesTo(e.socket.Get(), "127.0.0.1", peer.Port(), "unsent"), 0);
    EXPECT_FALSE(peer.ReadDatagram(200ms));
    LONG count = 0;
    e->get_SendQueuePacketsCount(&count);
    EXPECT_EQ(count, 1);
    EXPECT_TRUE(e.events->All().empty());
    // The data is there for a caller who asks.
    Bstr host;
    LONG port = 0;
    Variant data;
    e->ReceiveFrom(host.Out(), &port, &data, &ok);
    EXPECT_TRUE(Flag(ok));
    EXPECT_EQ(CByteArrayVariant(data).View(), "unheard");
    EXPECT_EQ(e.events->Count(kData), 0u);
}

}  // namespace
}  // namespace ov::sock::test
