// TCP through socket objects: connecting (to literals and names, refused, unresolvable, while
// another connect runs), the events of sends, receiving and readiness, closed and reset
// connections, and a Close that meets a send the peer does not take.
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <future>
#include <sstream>

#include "platform/win32/last_error.h"
#include "sock/tests/sock_test_support.h"

namespace ov::sock::test {
namespace {

class TcpTest : public SockTest {};

constexpr DISPID kStart = OVSOCK_DISPID_ON_CONNECT_START;
constexpr DISPID kFailed = OVSOCK_DISPID_ON_CONNECT_FAILED;
constexpr DISPID kEstablished = OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED;
constexpr DISPID kClosed = OVSOCK_DISPID_ON_CONNECTION_CLOSED;
constexpr DISPID kResolveStart = OVSOCK_DISPID_ON_HOST_RESOLVE_START;
constexpr DISPID kResolveFailed = OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED;
constexpr DISPID kResolved = OVSOCK_DISPID_ON_HOST_RESOLVED;
constexpr DISPID kData = OVSOCK_DISPID_ON_DATA_AVAILABLE;
constexpr DISPID kProgress = OVSOCK_DISPID_ON_SEND_PROGRESS;
constexpr DISPID kSendError = OVSOCK_DISPID_ON_SEND_ERROR;

// A name the resolver refuses without asking any server: its first label is over 63 bytes.
const std::string kUnresolvable = std::string(70, 'q') + ".invalid";

// The descriptor of this process's TCP socket with the given local and peer ports.
int FindSocket(LONG localPort, LONG peerPort) {
    for (int fd = 0; fd < 4096; ++fd) {
        sockaddr_in local{}, peer{};
        socklen_t a = sizeof local, b = sizeof peer;
        if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &a) == 0 &&
            getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &b) == 0 &&
            local.sin_family == AF_INET && ntohs(local.sin_port) == localPort &&
            ntohs(peer.sin_port) == peerPort)
            return fd;
    }
    return -1;
}

// Connect, retried while the previous connect or look-up is still finishing.
bool ConnectOnceIdle(IOVSocket* socket, const char* host, LONG port) {
    auto deadline = std::chrono::steady_clock::now() + kEventTimeout;
    while (std::chrono::steady_clock::now() < deadline) {
        VARIANT_BOOL ok = VARIANT_FALSE;
        socket->Connect(Bstr::FromUtf8(host), port, &ok);
        if (ok == VARIANT_TRUE)
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

// True while this machine has a TCP socket in SYN_SENT towards 127.0.0.1 at port.
bool ConnectPendingTo(LONG port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line);  // the heading
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", static_cast<unsigned>(port));
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (remote == wanted && state == "02")
            return true;
    }
    return false;
}

std::string ReceiveText(IOVSocket* socket, bool* ok = nullptr) {
    Variant data;
    VARIANT_BOOL got = VARIANT_FALSE;
    socket->Receive(&data, &got);
    if (ok)
        *ok = Flag(got);
    return std::string(CByteArrayVariant(data).View());
}

TEST_F(TcpTest, ConnectToALiteralAndAcceptReportThePeer) {
    LONG port = 0;
    Endpoint listener = NewListener(&port);
    Endpoint client = NewSocket(OVSOCK_TCP);
    ASSERT_TRUE(ConnectTo(client.socket.Get(), "127.0.0.1", port));
    ASSERT_TRUE(client.events->WaitForCount(kEstablished, 1));
    EXPECT_EQ(Ids(client.events->All()), (std::vector<DISPID>{kStart, kEstablished}));

    ASSERT_TRUE(listener.events->WaitForCount(OVSOCK_DISPID_ON_CONNECTION_REQUEST, 1));
    Bstr host;
    LONG peerPort = 0;
    ComPtr<IOVSocket> accepted;
    ASSERT_EQ(listener->Accept(host.Out(), &peerPort, accepted.ReleaseAndGetAddressOf()), S_OK);
    ASSERT_TRUE(accepted);
    EXPECT_EQ(host.ToUtf8(), "127.0.0.1");
    EXPECT_EQ(peerPort, LocalPort(client.socket.Get()));
    EXPECT_EQ(LocalPort(accepted.Get()), port);
    // Accepted objects come initialised.
    OVSOCKErrorCodeEnum again = OVSOCK_ERR_NONE;
    accepted->InitializeSocket(&again);
    EXPECT_EQ(again, OVSOCK_ERR_HAD_BEEN_INITIALIZED);
    // One report per arming: the listener stays quiet until Accept armed it again.
    EXPECT_EQ(listener.events->Count(OVSOCK_DISPID_ON_CONNECTION_REQUEST), 1u);
}

TEST_F(TcpTest, ConnectToANameLooksItUpFirst) {
    LONG port = 0;
    Endpoint listener = NewListener(&port);
    Endpoint client = NewSocket(OVSOCK_TCP);
    ASSERT_TRUE(ConnectTo(client.socket.Get(), "localhost", port));
    ASSERT_TRUE(client.events->WaitForCount(kEstablished, 1));
    auto events = client.events->All();
    EXPECT_EQ(Ids(events), (std::vector<DISPID>{kResolveStart, kResolved, kStart, kEstablished}));
    EXPECT_EQ(events[1].text, "127.0.0.1");
    EXPECT_NE(events[0].thread, std::this_thread::get_id());  // the sink is agile
}

TEST_F(TcpTest, RefusedAndUnresolvableConnectsEndCleanlyAndAllowTheNextConnect) {
    LONG port = 0;
    Endpoint listener = NewListener(&port);
    RawSocket silent = RawSocket::TcpBound();  // bound, not listening: connects are refused
    Endpoint client = NewSocket(OVSOCK_TCP);

    ASSERT_TRUE(ConnectTo(client.socket.Get(), kUnresolvable.c_str(), port));
    ASSERT_TRUE(client.events->WaitForCount(kResolveFailed, 1));
    ASSERT_TRUE(ConnectOnceIdle(client.socket.Get(), "127.0.0.1", silent.Port()));
    ASSERT_TRUE(client.events->WaitForCount(kFailed, 1));
    ASSERT_TRUE(ConnectOnceIdle(client.socket.Get(), "127.0.0.1", port));
    ASSERT_TRUE(client.events->WaitForCount(kEstablished, 1));
    EXPECT_EQ(Ids(client.events->All()), (std::vector<DISPID>{kResolveStart, kResolveFailed, kStart,
                                                              kFailed, kStart, kEstablished}));
}

TEST_F(TcpTest, ACloseThatCutsAConnectShortEndsItInOnConnectFailed) {
    std::atomic<IOVSocket*> self{nullptr};
    std::atomic<bool> closeInStart{true};
    std::atomic<int> failedError{-1};
    Signal earlyFailed, lateFailed;
    std::atomic<Signal*> failed{&earlyFailed};
    auto hook = [&](const SocketEvent& e) {
        if (e.id == kStart && closeInStart)
            self.load()->Close();  // before the connect has begun
        if (e.id == kFailed) {
            failedError = LastError(self.load());  // the connect thread's error
            failed.load()->Raise();
        }
    };
    RawSocket listener = RawSocket::TcpListening();
    Endpoint early = NewSocket(OVSOCK_TCP, hook);
    self = early.socket.Get();
    ASSERT_TRUE(ConnectTo(early.socket.Get(), "127.0.0.1", listener.Port()));
    ASSERT_TRUE(earlyFailed.Wait());
    EXPECT_EQ(Ids(early.events->All()), (std::vector<DISPID>{kStart, kFailed}));
    EXPECT_EQ(failedError.load(), OVSOCK_ERR_INTR);
    EXPECT_FALSE(listener.Accept(0ms).Fd() >= 0);  // it never connected

    // A listener whose queue of unaccepted connections is full ignores further connection
    // requests, so a connect to it waits for an answer until Close cuts it short. Two fill
    // the queue of a listener with a backlog of one.
    RawSocket full = RawSocket::TcpBound();
    ASSERT_EQ(::listen(full.Fd(), 1), 0);
    std::vector<RawSocket> queued;
    for (int i = 0; i < 2; ++i) {
        RawSocket filler(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(static_cast<uint16_t>(full.Port()));
        ::connect(filler.Fd(), reinterpret_cast<sockaddr*>(&to), sizeof to);
        pollfd p{filler.Fd(), POLLOUT, 0};
        ASSERT_EQ(::poll(&p, 1, static_cast<int>(kEventTimeout.count())), 1);
        queued.push_back(std::move(filler));
    }
    closeInStart = false;
    failedError = -1;
    failed = &lateFailed;
    Endpoint late = NewSocket(OVSOCK_TCP, hook);
    self = late.socket.Get();
    ASSERT_TRUE(ConnectTo(late.socket.Get(), "127.0.0.1", full.Port()));
    auto deadline = std::chrono::steady_clock::now() + kEventTimeout;
    while (!ConnectPendingTo(full.Port()) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(ConnectPendingTo(full.Port()));
    EXPECT_EQ(Ids(late.events->All()), (std::vector<DISPID>{kStart}));
    late->Close();
    ASSERT_TRUE(lateFailed.Wait());
    EXPECT_EQ(Ids(late.events->All()), (std::vector<DISPID>{kStart, kFailed}));
    EXPECT_EQ(failedError.load(), OVSOCK_ERR_INTR);
}

TEST_F(TcpTest, ConnectAndResolveHostAreRefusedWhileOneRuns) {
    LONG port = 0;
    Endpoint listener = NewListener(&port);
    Gate gate;
    Signal held;
    Endpoint client = NewSocket(OVSOCK_TCP, [&](const SocketEvent& e) {
        if (e.id == kStart || e.id == kResolveStart) {
            held.Raise();
            gate.Wait();
        }
    });
    VARIANT_BOOL ok = VARIANT_FALSE;
    client->ResolveHost(Bstr::FromUtf8("localhost"), &ok);
    ASSERT_TRUE(Flag(ok));
    ASSERT_TRUE(held.Wait());
    EXPECT_FALSE(ConnectTo(client.socket.Get(), "127.0.0.1", port));
    client->ResolveHost(Bstr::FromUtf8("127.0.0.1"), &ok);
    EXPECT_FALSE(Flag(ok));
    gate.Open();
    ASSERT_TRUE(client.events->WaitForCount(kResolved, 1));

    // A literal resolves without any event.
    auto deadline = std::chrono::steady_clock::now() + kEventTimeout;
    do {
        client->ResolveHost(Bstr::FromUtf8("127.0.0.1"), &ok);
    } while (ok != VARIANT_TRUE && std::chrono::steady_clock::now() < deadline);
    ASSERT_TRUE(Flag(ok));
    ASSERT_TRUE(ConnectOnceIdle(client.socket.Get(), "127.0.0.1", port));
    ASSERT_TRUE(client.events->WaitForCount(kEstablished, 1));
    EXPECT_EQ(Ids(client.events->All()),
              (std::vector<DISPID>{kResolveStart, kResolved, kStart, kEstablished}));
}

TEST_F(TcpTest, EachPacketReportsProgressThenCompletionInQueueOrder) {
    TcpPair pair = NewTcpPair();
    EXPECT_EQ(SendBytes(pair.client.socket.Get(), "hello"), 101);
    EXPECT_EQ(SendBytes(pair.client.socket.Get(), "world!!"), 102);
    ASSERT_TRUE(pair.client.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 4; }));
    EXPECT_EQ(SendEvents(pair.client.events->All()),
              (std::vector<std::vector<LONG>>{{kProgress, 101, 0, 5, 0},
                                              {kProgress, 101, 5, 5, -1},
                                              {kProgress, 102, 0, 7, 0},
                                              {kProgress, 102, 7, 7, -1}}));

    std::string got;
    while (got.size() < 12 && pair.server.events->WaitForCount(kData, 1)) {
        bool ok = false;
        got += ReceiveText(pair.server.socket.Get(), &ok);
        ASSERT_TRUE(ok);
    }
    EXPECT_EQ(got, "helloworld!!");
}

TEST_F(TcpTest, ReceiveReturnsWhatIsPendingAndReadinessIsReportedOncePerArming) {
    TcpPair pair = NewTcpPair();
    IOVSocket* server = pair.server.socket.Get();
    SendBytes(pair.client.socket.Get(), "abc");
    ASSERT_TRUE(pair.server.events->WaitForCount(kData, 1));

    // Three bytes pending: asked for ten, given three, in an array of four with a zero last.
    Variant data;
    VARIANT_BOOL ok = VARIANT_FALSE;
    server->Receive(&data, &ok);
    ASSERT_TRUE(Flag(ok));
    ASSERT_EQ(data.vt, VT_ARRAY | VT_UI1);
    LONG upper = -1;
    SafeArrayGetUBound(data.parray, 1, &upper);
    EXPECT_EQ(upper, 3);
    ASSERT_EQ(SafeArrayElementCount(data.parray), 4u);
    EXPECT_EQ(std::string(static_cast<const char*>(data.parray->pvData), 4),
              std::string("abc\0", 4));
    // The bytes Receive took are not reported again: a caller answering such a report with
    // Receive would block.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(pair.server.events->Count(kData), 1u);

    // Receive left the watch armed: the next data is reported, once.
    SendBytes(pair.client.socket.Get(), "de");
    ASSERT_TRUE(pair.server.events->WaitForCount(kData, 2));
    SendBytes(pair.client.socket.Get(), "fg");
    ASSERT_TRUE(pair.client.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 6; }));
    std::this_thread::sleep_for(200ms);  // time for a second report, which must not come
    EXPECT_EQ(pair.server.events->Count(kData), 2u);
    EXPECT_EQ(ReceiveText(server), "defg");
}

TEST_F(TcpTest, PeerCloseAndResetAreReportedToTheReceiver) {
    TcpPair pair = NewTcpPair();
    pair.client->Close();
    ASSERT_TRUE(pair.server.events->WaitForCount(kData, 1));
    bool ok = true;
    EXPECT_EQ(ReceiveText(pair.server.socket.Get(), &ok), "");
    EXPECT_FALSE(ok);
    auto events = pair.server.events->All();
    ASSERT_EQ(Ids(events), (std::vector<DISPID>{kData, kClosed}));
    EXPECT_EQ(events[1].thread, std::this_thread::get_id());  // fired by the receiving caller

    // A reset connection: the error is the Winsock number, the connection reported closed.
    LONG port = 0;
    Endpoint listener = NewListener(&port);
    RawSocket peer = RawSocket::TcpConnected(port);
    ASSERT_TRUE(listener.events->WaitForCount(OVSOCK_DISPID_ON_CONNECTION_REQUEST, 1));
    Bstr host;
    LONG peerPort = 0;
    ComPtr<IOVSocket> accepted;
    listener->Accept(host.Out(), &peerPort, accepted.ReleaseAndGetAddressOf());
    ASSERT_TRUE(accepted);
    peer.Write("x");
    peer.Reset();
    auto deadline = std::chrono::steady_clock::now() + kEventTimeout;
    OVSOCKErrorCodeEnum error = OVSOCK_ERR_NONE;
    // Loopback may deliver the byte before the reset; read until the reset shows.
    while (std::chrono::steady_clock::now() < deadline) {
        bool got = false;
        ReceiveText(accepted.Get(), &got);
        if (!got) {
            error = LastError(accepted.Get());
            break;
        }
    }
    EXPECT_EQ(error, OVSOCK_ERR_CONNRESET);
}

TEST_F(TcpTest, ClearSendQueueDropsPacketsWithoutEvents) {
    Gate gate;
    Signal held;
    TcpPair pair = NewTcpPair([&](const SocketEvent& e) {
        if (e.id == kProgress && e.args[0] == 101 && e.args[3] == 0) {
            held.Raise();
            gate.Wait();
        }
    });
    IOVSocket* client = pair.client.socket.Get();
    SendBytes(client, "first");
    ASSERT_TRUE(held.Wait());  // the send thread reports the first packet and is held there
    SendBytes(client, "second");
    SendBytes(client, "third");
    LONG count = 0;
    client->get_SendQueuePacketsCount(&count);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(client->ClearSendQueue(), S_OK);
    client->get_SendQueuePacketsCount(&count);
    EXPECT_EQ(count, 0);
    gate.Open();

    // Prove the send thread went on: a later packet goes out and completes.
    EXPECT_EQ(SendBytes(client, "later"), 104);
    ASSERT_TRUE(pair.client.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 3; }));
    EXPECT_EQ(
        SendEvents(pair.client.events->All()),
        (std::vector<std::vector<LONG>>{
            {kProgress, 101, 0, 5, 0}, {kProgress, 104, 0, 5, 0}, {kProgress, 104, 5, 5, -1}}));
    std::string got;
    while (got.size() < 5 && pair.server.events->WaitForCount(kData, 1))
        got += ReceiveText(pair.server.socket.Get());
    EXPECT_EQ(got, "later");
}

TEST_F(TcpTest, PayloadsOtherThanByteVectorsAreEmptyPacketsAndStringsTravelInCp936) {
    TcpPair pair = NewTcpPair();
    IOVSocket* client = pair.client.socket.Get();
    Variant text = Variant::String(u"not bytes");
    LONG id1 = 0;
    client->Send(text, &id1);
    SAFEARRAYBOUND bounds[2] = {{2, 0}, {2, 0}};
    Variant square;
    square.vt = VT_ARRAY | VT_UI1;
    square.parray = SafeArrayCreate(VT_UI1, 2, bounds);
    LONG id2 = 0;
    client->Send(square, &id2);
    LONG id3 = 0;
    client->SendString(Bstr::FromUtf8("你好"), &id3);
    ASSERT_TRUE(pair.client.events->WaitUntil(
        [](const auto& events) { return SendEvents(events).size() >= 6; }));
    EXPECT_EQ(SendEvents(pair.client.events->All()),
              (std::vector<std::vector<LONG>>{{kProgress, id1, 0, 0, 0},
                                              {kProgress, id1, 0, 0, -1},
                                              {kProgress, id2, 0, 0, 0},
                                              {kProgress, id2, 0, 0, -1},
                                              {kProgress, id3, 0, 4, 0},
                                              {kProgress, id3, 4, 4, -1}}));

    ASSERT_TRUE(pair.server.events->WaitForCount(kData, 1));
    Bstr received;
    VARIANT_BOOL ok = VARIANT_FALSE;
    pair.server->ReceiveString(received.Out(), &ok);
    EXPECT_TRUE(Flag(ok));
    EXPECT_EQ(received.ToUtf8(), "你好");
}

TEST_F(TcpTest, PacketsQueuedAgainstAFullPeerArriveWholeAndInOrder) {
    // Small buffers on both sides, so that the socket is full most of the time and packets
    // find it unable to take anything at all. The peer's is set before the connection
    // exists: the window it offers depends on it.
    RawSocket listener = RawSocket::TcpListening();
    int small = 4096;
    setsockopt(listener.Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    Endpoint client = NewSocket(OVSOCK_TCP);
    ASSERT_TRUE(ConnectTo(client.socket.Get(), "127.0.0.1", listener.Port()));
    RawSocket peer = listener.Accept();
    ASSERT_TRUE(client.events->WaitForCount(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED, 1));
    int fd = FindSocket(LocalPort(client.socket.Get()), listener.Port());
    ASSERT_GE(fd, 0);
    setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);

    // More than the socket buffers hold, queued while the peer does not read yet: later
    // packets find the socket full and wait for room. Queuing runs on a thread of its own:
    // Send waits while a send step is blocked, as it holds the object lock.
    constexpr int kPackets = 12;
    constexpr size_t kSize = 64 << 10;
    std::string expected;
    for (int i = 0; i < kPackets; ++i) {
        std::string packet(kSize, static_cast<char>('a' + i));
        packet[0] = static_cast<char>(i);
        expected += packet;
    }
    auto producer = std::async(std::launch::async, [&] {
        std::vector<LONG> ids;
        for (int i = 0; i < kPackets; ++i)
            ids.push_back(SendBytes(client.socket.Get(), expected.substr(i * kSize, kSize)));
        return ids;
    });
    std::this_thread::sleep_for(100ms);  // lets the sender fill the socket
    EXPECT_TRUE(peer.ReadExactly(expected.size()) == expected);
    std::vector<LONG> ids = producer.get();
    for (int i = 0; i < kPackets; ++i)
        EXPECT_EQ(ids[i], 101 + i);

    ASSERT_TRUE(client.events->WaitForCount(kProgress, 2 * kPackets));
    LONG next = 101;
    bool started = false;
    for (const auto& e : SendEvents(client.events->All())) {
        ASSERT_EQ(e[0], kProgress);
        ASSERT_EQ(e[1], next);
        EXPECT_EQ(e[3], static_cast<LONG>(kSize));
        if (!started) {
            EXPECT_EQ(e[2], 0);  // the first report of a packet comes before any byte went
        }
        started = e[4] == 0;
        if (e[4] != 0) {
            EXPECT_EQ(e[2], static_cast<LONG>(kSize));
            ++next;
        }
    }
    EXPECT_EQ(next, 101 + kPackets);
}

TEST_F(TcpTest, CloseCutsShortASendThePeerDoesNotTake) {
    TcpPair pair = NewTcpPair();
    IOVSocket* client = pair.client.socket.Get();
    // Far more than the socket buffers hold: the send blocks while the server does not read.
    std::string big(32 << 20, 'z');
    LONG id = SendBytes(client, big);
    ASSERT_TRUE(pair.client.events->WaitForCount(kProgress, 1));
    ASSERT_TRUE(pair.server.events->WaitForCount(kData, 1));  // bytes are flowing

    std::atomic<bool> closed{false};
    std::thread closer([&] {
        pair.client->Close();
        closed = true;
    });
    auto deadline = std::chrono::steady_clock::now() + 7s;
    while (!closed && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
    EXPECT_TRUE(closed) << "Close waited for the blocked send";
    closer.join();
    LONG count = -1;
    client->get_SendQueuePacketsCount(&count);
    EXPECT_EQ(count, 0);
    pair.client.socket.Reset();  // destruction waits for the send thread
    auto events = SendEvents(pair.client.events->All());
    ASSERT_FALSE(events.empty());
    for (const auto& e : events)
        EXPECT_TRUE(e[0] == kProgress && e[1] == id && e[4] == 0) << "event after Close";
}

}  // namespace
}  // namespace ov::sock::test
