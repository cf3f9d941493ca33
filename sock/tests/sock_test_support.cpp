#include "sock/tests/sock_test_support.h"

#include <arpa/inet.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>

namespace ov::sock::test {

namespace {

std::atomic<int> registryCounter{0};

sockaddr_in Loopback(LONG port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    return a;
}

bool PollFor(int fd, short events, std::chrono::milliseconds timeout) {
    pollfd p{fd, events, 0};
    return ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace

ScopedRegistry::ScopedRegistry() {
    dir_ = std::filesystem::temp_directory_path() /
           ("ovsock-reg-" + std::to_string(getpid()) + "-" + std::to_string(registryCounter++));
    std::filesystem::create_directories(dir_);
    setenv("ORVANE_REGISTRY", (dir_ / "registry").c_str(), 1);
}

ScopedRegistry::~ScopedRegistry() {
    unsetenv("ORVANE_REGISTRY");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::vector<DISPID> Ids(const std::vector<SocketEvent>& events) {
    std::vector<DISPID> ids;
    for (const auto& e : events)
        ids.push_back(e.id);
    return ids;
}

std::vector<std::vector<LONG>> SendEvents(const std::vector<SocketEvent>& events) {
    std::vector<std::vector<LONG>> out;
    for (const auto& e : events) {
        if (e.id != OVSOCK_DISPID_ON_SEND_PROGRESS && e.id != OVSOCK_DISPID_ON_SEND_ERROR)
            continue;
        std::vector<LONG> row{e.id};
        row.insert(row.end(), e.args.begin(), e.args.end());
        out.push_back(row);
    }
    return out;
}

void Gate::Open() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
    }
    cv_.notify_all();
}

bool Gate::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return open_; });
}

void Signal::Raise() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        raised_ = true;
    }
    cv_.notify_all();
}

bool Signal::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return raised_; });
}

void SockTest::SetUp() {
    ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    ASSERT_EQ(RegisterServerLibrary(GetProgramDirectory() + "OVSock.so"), S_OK);
}

void SockTest::TearDown() {
    // A socket whose last reference a connect or look-up thread held ends on that thread,
    // which the library joins only at exit. Waiting here until every socket has let its
    // recorder go means none ends while the program's own statics are being destroyed.
    const auto deadline = std::chrono::steady_clock::now() + kEventTimeout;
    for (auto& recorder : recorders_) {
        for (;;) {
            recorder->AddRef();
            if (recorder->Release() == 1 || std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(1ms);
        }
    }
    recorders_.clear();
    CoUninitialize();
}

Endpoint SockTest::NewObject(Recorder::Hook hook) {
    Endpoint e;
    EXPECT_EQ(CoCreateInstance(CLSID_OVSocket, &e.socket), S_OK);
    if (!e.socket)
        return e;
    OVSOCKErrorCodeEnum init = OVSOCK_ERR_EVENT;
    e.socket->InitializeSocket(&init);
    EXPECT_EQ(init, OVSOCK_ERR_NONE);
    e.events = MakeComObject<Recorder>();
    e.events->SetHook(std::move(hook));
    recorders_.push_back(e.events);
    DWORD cookie = 0;
    EXPECT_EQ(AtlAdvise(e.socket.Get(), e.events->GetUnknown(), DIID_IOVSocketEvents, &cookie),
              S_OK);
    return e;
}

Endpoint SockTest::NewSocket(OVSOCKTypeEnum type, Recorder::Hook hook) {
    Endpoint e = NewObject(std::move(hook));
    VARIANT_BOOL ok = VARIANT_FALSE;
    if (e.socket)
        e.socket->Create(type, &ok);
    EXPECT_TRUE(Flag(ok));
    return e;
}

Endpoint SockTest::NewBoundUdp(Recorder::Hook hook) {
    Endpoint e = NewSocket(OVSOCK_UDP, std::move(hook));
    VARIANT_BOOL ok = VARIANT_FALSE;
    e->Bind(Bstr::FromUtf8("127.0.0.1"), 0, &ok);
    EXPECT_TRUE(Flag(ok));
    return e;
}

Endpoint SockTest::NewListener(LONG* port) {
    Endpoint e = NewSocket(OVSOCK_TCP);
    VARIANT_BOOL ok = VARIANT_FALSE;
    e->Bind(Bstr::FromUtf8("127.0.0.1"), 0, &ok);
    EXPECT_TRUE(Flag(ok));
    e->Listen(2, &ok);
    EXPECT_TRUE(Flag(ok));
    *port = LocalPort(e.socket.Get());
    return e;
}

TcpPair SockTest::NewTcpPair(Recorder::Hook clientHook, Recorder::Hook serverHook) {
    TcpPair pair;
    LONG port = 0;
    pair.listener = NewListener(&port);
    pair.client = NewSocket(OVSOCK_TCP, std::move(clientHook));
    EXPECT_TRUE(ConnectTo(pair.client.socket.Get(), "127.0.0.1", port));
    EXPECT_TRUE(pair.listener.events->WaitForCount(OVSOCK_DISPID_ON_CONNECTION_REQUEST, 1));
    EXPECT_TRUE(pair.client.events->WaitForCount(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED, 1));
    Bstr host;
    LONG peerPort = 0;
    pair.listener->Accept(host.Out(), &peerPort, pair.server.socket.ReleaseAndGetAddressOf());
    EXPECT_TRUE(pair.server.socket);
    if (!pair.server.socket)
        return pair;
    pair.server.events = MakeComObject<Recorder>();
    pair.server.events->SetHook(std::move(serverHook));
    DWORD cookie = 0;
    EXPECT_EQ(AtlAdvise(pair.server.socket.Get(), pair.server.events->GetUnknown(),
                        DIID_IOVSocketEvents, &cookie),
              S_OK);
    return pair;
}

LONG SendBytes(IOVSocket* socket, std::string_view bytes) {
    CByteArrayVariant data(bytes);
    LONG id = 0;
    socket->Send(data.Variant(), &id);
    return id;
}

LONG SendBytesTo(IOVSocket* socket, const char* host, LONG port, std::string_view bytes) {
    CByteArrayVariant data(bytes);
    LONG id = 0;
    socket->SendTo(Bstr::FromUtf8(host), port, data.Variant(), &id);
    return id;
}

bool Flag(VARIANT_BOOL b) {
    EXPECT_TRUE(b == VARIANT_TRUE || b == VARIANT_FALSE) << "flag " << b;
    return b == VARIANT_TRUE;
}

LONG LocalPort(IOVSocket* socket) {
    LONG port = 0;
    socket->get_LocalPort(&port);
    return port;
}

OVSOCKErrorCodeEnum LastError(IOVSocket* socket) {
    OVSOCKErrorCodeEnum e = OVSOCK_ERR_NONE;
    socket->get_LastError(&e);
    return e;
}

bool ConnectTo(IOVSocket* socket, const char* host, LONG port) {
    VARIANT_BOOL ok = VARIANT_FALSE;
    socket->Connect(Bstr::FromUtf8(host), port, &ok);
    return Flag(ok);
}

RawSocket& RawSocket::operator=(RawSocket&& o) noexcept {
    if (this != &o) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = std::exchange(o.fd_, -1);
    }
    return *this;
}

RawSocket::~RawSocket() {
    if (fd_ >= 0)
        ::close(fd_);
}

RawSocket RawSocket::UdpBound() {
    RawSocket s(::socket(AF_INET, SOCK_DGRAM, 0));
    sockaddr_in a = Loopback(0);
    EXPECT_EQ(::bind(s.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
}

RawSocket RawSocket::TcpBound() {
    RawSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a = Loopback(0);
    EXPECT_EQ(::bind(s.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
}

RawSocket RawSocket::TcpListening() {
    RawSocket s = TcpBound();
    EXPECT_EQ(::listen(s.fd_, 4), 0);
    return s;
}

RawSocket RawSocket::TcpConnected(LONG port) {
    RawSocket s(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in a = Loopback(port);
    EXPECT_EQ(::connect(s.fd_, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    return s;
}

LONG RawSocket::Port() const {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

RawSocket RawSocket::Accept(std::chrono::milliseconds timeout) const {
    if (!PollFor(fd_, POLLIN, timeout))
        return RawSocket();
    return RawSocket(::accept(fd_, nullptr, nullptr));
}

std::string RawSocket::ReadExactly(size_t n, std::chrono::milliseconds timeout) const {
    std::string out;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < n) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !PollFor(fd_, POLLIN, left))
            break;
        char buf[65536];
        ssize_t got = ::recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
        if (got <= 0)
            break;
        out.append(buf, static_cast<size_t>(got));
    }
    return out;
}

std::optional<std::string> RawSocket::ReadDatagram(std::chrono::milliseconds timeout,
                                                   LONG* fromPort) const {
    if (!PollFor(fd_, POLLIN, timeout))
        return std::nullopt;
    char buf[65536];
    sockaddr_in from{};
    socklen_t len = sizeof from;
    ssize_t got = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
    if (got < 0)
        return std::nullopt;
    if (fromPort)
        *fromPort = ntohs(from.sin_port);
    return std::string(buf, static_cast<size_t>(got));
}

bool RawSocket::Readable(std::chrono::milliseconds timeout) const {
    return PollFor(fd_, POLLIN, timeout);
}

void RawSocket::Write(std::string_view bytes) const {
    ASSERT_EQ(::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
}

void RawSocket::WriteTo(LONG port, std::string_view bytes) const {
    sockaddr_in a = Loopback(port);
    ASSERT_EQ(
        ::sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a),
        static_cast<ssize_t>(bytes.size()));
}

void RawSocket::Reset() {
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    ::close(fd_);
    fd_ = -1;
}

Datagram ReceiveDatagram(IOVSocket* socket) {
    Datagram d;
    Bstr host;
    Variant data;
    VARIANT_BOOL ok = VARIANT_FALSE;
    socket->ReceiveFrom(host.Out(), &d.port, &data, &ok);
    d.ok = Flag(ok);
    d.host = host.ToUtf8();
    d.data = std::string(CByteArrayVariant(data).View());
    return d;
}

}  // namespace ov::sock::test
