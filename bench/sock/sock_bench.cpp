// Socket objects against plain blocking sockets, in the same run, over loopback:
//  1. a 64 MiB TCP stream in 4096-byte Send packets, each queued only when the previous one's
//     completion event arrives (as file transfer sends), beside a blocking send loop of
//     4096-byte writes;
//  2. a 16 MiB TCP stream, event-gated as in 1., through danted (a SOCKS5 proxy started for
//     the run, when installed) beside the same stream sent directly ("proxy");
//  3. UDP round trips (SendTo -> peer's OnDataAvailable -> ReceiveFrom -> echo -> back),
//     median and 99th percentile, beside a plain sendto/recvfrom echo.
// The stream figures are the best of five runs of each kind. Round trips of the two kinds
// alternate trip by trip, so both meet the same load; the figures are those of the run whose
// ratio is the median of five.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/interfaces/ovsock.h"
#include "platform/com/com.h"
#include "sock/tests/danted_process.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kStreamBytes = 64u << 20;
constexpr size_t kProxyStreamBytes = 16u << 20;
constexpr size_t kChunk = 4096;
constexpr int kRuns = 5;
constexpr int kRoundTrips = 5000;
constexpr int kWarmUp = 200;
constexpr size_t kDatagram = 64;

sockaddr_in Loopback(uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

uint16_t PortOf(int fd) {
    sockaddr_in a{};
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int Listener() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fd, 1);
    return fd;
}

int BoundUdp() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a = Loopback(0);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    return fd;
}

// Accepts one connection and reads kStreamBytes from it; the time the last byte came.
Clock::time_point Drain(int listener, size_t bytes = kStreamBytes) {
    int fd = accept(listener, nullptr, nullptr);
    std::vector<char> buf(1 << 16);
    size_t total = 0;
    while (total < bytes) {
        ssize_t n = recv(fd, buf.data(), buf.size(), 0);
        if (n <= 0)
            break;
        total += static_cast<size_t>(n);
    }
    auto end = Clock::now();
    close(fd);
    if (total != bytes)
        std::fprintf(stderr, "stream short: %zu bytes\n", total);
    return end;
}

double MegabytesPerSecond(Clock::duration d, size_t bytes = kStreamBytes) {
    return static_cast<double>(bytes) / (1 << 20) / std::chrono::duration<double>(d).count();
}

// A free-threaded sink that hands each event to a function, on the socket's thread.
class Sink final : public DispatchObject<Sink, IDispatch, IAgileObject> {
public:
    std::function<void()> onData;
    std::function<void(LONG, SHORT)> onSendProgress;
    std::function<void()> onEstablished;

    static const DispatchTable<Sink>& DispatchMap() {
        static const DispatchTable<Sink> table{
            DispEvent(OVSOCK_DISPID_ON_DATA_AVAILABLE, "OnDataAvailable", &Sink::OnDataAvailable),
            DispEvent(OVSOCK_DISPID_ON_SEND_PROGRESS, "OnSendProgress", &Sink::OnSendProgress),
            DispEvent(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED, "OnConnectionEstablished",
                      &Sink::OnConnectionEstablished),
        };
        return table;
    }
    void OnDataAvailable() {
        if (onData)
            onData();
    }
    void OnSendProgress(LONG id, LONG, LONG, SHORT complete) {
        if (onSendProgress)
            onSendProgress(id, complete);
    }
    void OnConnectionEstablished() {
        if (onEstablished)
            onEstablished();
    }
};

class Latch {
public:
    // Notifies after letting go of the mutex: woken while it is still held, the waiter would
    // block on it once more, and the round trip would be charged a wake-up of the harness.
    void Set() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            set_ = true;
        }
        cv_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return set_; });
        set_ = false;
    }

private:
    std::mutex mutex_;  // guards set_
    std::condition_variable cv_;
    bool set_ = false;
};

ComPtr<IOVSocket> NewSocket(OVSOCKTypeEnum type, Sink* sink) {
    ComPtr<IOVSocket> s;
    if (FAILED(CoCreateInstance(CLSID_OVSocket, &s)) || !s) {
        std::fprintf(stderr, "cannot create OVSocket\n");
        std::exit(1);
    }
    OVSOCKErrorCodeEnum e;
    s->InitializeSocket(&e);
    DWORD cookie = 0;
    AtlAdvise(s.Get(), sink->GetUnknown(), DIID_IOVSocketEvents, &cookie);
    VARIANT_BOOL ok;
    s->Create(type, &ok);
    return s;
}

Clock::duration PlainStream() {
    int listener = Listener();
    Clock::time_point end;
    std::thread reader([&] { end = Drain(listener); });
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to = Loopback(PortOf(listener));
    connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to);
    std::vector<char> chunk(kChunk, 'p');
    auto start = Clock::now();
    for (size_t sent = 0; sent < kStreamBytes; sent += kChunk) {
        if (send(fd, chunk.data(), kChunk, 0) != static_cast<ssize_t>(kChunk))
            break;
    }
    reader.join();
    close(fd);
    close(listener);
    return end - start;
}

// With proxyPort, through the SOCKS5 proxy on 127.0.0.1 at that port.
Clock::duration EventGatedStream(size_t bytes = kStreamBytes, int proxyPort = 0) {
    int listener = Listener();
    Clock::time_point end;
    std::thread reader([&] { end = Drain(listener, bytes); });
    ComPtr<Sink> sink = MakeComObject<Sink>();
    Latch connected;
    sink->onEstablished = [&] { connected.Set(); };
    ComPtr<IOVSocket> socket = NewSocket(OVSOCK_TCP, sink.Get());
    CByteArrayVariant chunk(std::string(kChunk, 'e'));
    std::atomic<size_t> queued{0};
    auto sendNext = [&] {
        if (queued.fetch_add(kChunk) >= bytes)
            return;
        LONG id = 0;
        socket->Send(chunk.Variant(), &id);
    };
    // The next packet is queued by the completion event of the previous one.
    sink->onSendProgress = [&](LONG, SHORT complete) {
        if (complete)
            sendNext();
    };
    VARIANT_BOOL ok;
    if (proxyPort != 0) {
        // Connected when Connect returns, without an event.
        socket->SetProxy(OVSOCK_ACCESS_SOCKS5, Bstr::FromUtf8("127.0.0.1"), proxyPort,
                         OVSOCK_AUTH_NONE, Bstr::Empty(), Bstr::Empty());
        socket->Connect(Bstr::FromUtf8("127.0.0.1"), PortOf(listener), &ok);
        if (!ok) {
            std::fprintf(stderr, "cannot connect through the proxy\n");
            std::exit(1);
        }
    } else {
        socket->Connect(Bstr::FromUtf8("127.0.0.1"), PortOf(listener), &ok);
        connected.Wait();
    }
    auto start = Clock::now();
    sendNext();
    reader.join();
    socket->Close();
    socket.Reset();
    close(listener);
    return end - start;
}

struct Percentiles {
    double median;
    double p99;
};

Percentiles Summarise(std::vector<double> micros) {
    std::sort(micros.begin(), micros.end());
    return {micros[micros.size() / 2], micros[micros.size() * 99 / 100]};
}

// Round trips of both kinds, alternated trip by trip so that both see the same load.
struct RoundTripFigures {
    Percentiles plain;
    Percentiles objects;
};

RoundTripFigures RoundTrips() {
    // Plain: a blocking echo thread, and a caller that sends and blocks in recv.
    int plainEcho = BoundUdp();
    int plainCaller = BoundUdp();
    std::thread echoer([&] {
        char buf[2048];
        for (;;) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            ssize_t n =
                recvfrom(plainEcho, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
            if (n <= 0)
                break;
            sendto(plainEcho, buf, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from),
                   len);
        }
    });
    sockaddr_in plainTo = Loopback(PortOf(plainEcho));
    std::vector<char> plainPayload(kDatagram, 'u');

    // Objects: the echo answers in its OnDataAvailable on the socket's thread; the caller
    // takes the answer in its own OnDataAvailable, where the trip's time is read. The latch
    // comes before the sockets, so that it outlives the socket threads that set it.
    Clock::time_point answeredAt;
    Latch answered;
    ComPtr<Sink> echoSink = MakeComObject<Sink>();
    ComPtr<Sink> callerSink = MakeComObject<Sink>();
    ComPtr<IOVSocket> echo = NewSocket(OVSOCK_UDP, echoSink.Get());
    ComPtr<IOVSocket> caller = NewSocket(OVSOCK_UDP, callerSink.Get());
    VARIANT_BOOL ok;
    echo->Bind(Bstr::FromUtf8("127.0.0.1"), 0, &ok);
    caller->Bind(Bstr::FromUtf8("127.0.0.1"), 0, &ok);
    LONG echoPort = 0;
    echo->get_LocalPort(&echoPort);
    IOVSocket* echoRaw = echo.Get();
    echoSink->onData = [echoRaw] {
        Bstr host;
        LONG port = 0;
        Variant data;
        VARIANT_BOOL got = VARIANT_FALSE;
        echoRaw->ReceiveFrom(host.Out(), &port, &data, &got);
        if (got == VARIANT_TRUE) {
            LONG id = 0;
            echoRaw->SendTo(host, port, data, &id);
        }
    };
    IOVSocket* callerRaw = caller.Get();
    callerSink->onData = [&] {
        Bstr host;
        LONG port = 0;
        Variant data;
        VARIANT_BOOL got = VARIANT_FALSE;
        callerRaw->ReceiveFrom(host.Out(), &port, &data, &got);
        if (got == VARIANT_TRUE) {
            answeredAt = Clock::now();
            answered.Set();
        }
    };
    CByteArrayVariant payload(std::string(kDatagram, 'o'));
    Bstr target = Bstr::FromUtf8("127.0.0.1");

    std::vector<double> plainMicros, objectMicros;
    char buf[2048];
    for (int i = 0; i < kWarmUp + kRoundTrips; ++i) {
        auto t0 = Clock::now();
        sendto(plainCaller, plainPayload.data(), plainPayload.size(), 0,
               reinterpret_cast<sockaddr*>(&plainTo), sizeof plainTo);
        recv(plainCaller, buf, sizeof buf, 0);
        auto t1 = Clock::now();

        auto t2 = Clock::now();
        LONG id = 0;
        caller->SendTo(target, echoPort, payload.Variant(), &id);
        answered.Wait();
        if (i >= kWarmUp) {
            plainMicros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
            objectMicros.push_back(
                std::chrono::duration<double, std::micro>(answeredAt - t2).count());
        }
    }

    echo->Close();
    caller->Close();
    shutdown(plainEcho, SHUT_RDWR);
    echoer.join();
    close(plainEcho);
    close(plainCaller);
    return {Summarise(std::move(plainMicros)), Summarise(std::move(objectMicros))};
}

}  // namespace

// Arguments: "stream" or "udp" runs that benchmark alone (for profiling); none runs both.
int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    const bool stream = only.empty() || only == "stream";
    const bool udp = only.empty() || only == "udp";
    const bool proxy = only.empty() || only == "proxy";
    auto dir =
        std::filesystem::temp_directory_path() / ("ovsock-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("ORVANE_REGISTRY", (dir / "registry").c_str(), 1);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(RegisterServerLibrary(GetProgramDirectory() + "OVSock.so"))) {
        std::fprintf(stderr, "cannot register OVSock.so\n");
        return 1;
    }

    Clock::duration plain = Clock::duration::max(), gated = Clock::duration::max();
    std::vector<RoundTripFigures> roundTrips;
    Percentiles rawRtt{}, objectRtt{};
    for (int run = 0; run < kRuns; ++run) {
        if (stream) {
            plain = std::min(plain, PlainStream());
            gated = std::min(gated, EventGatedStream());
        }
        if (udp)
            roundTrips.push_back(RoundTrips());
    }
    if (udp) {
        // The run whose median ratio is the median of all runs.
        auto ratio = [](const RoundTripFigures& f) { return f.objects.median / f.plain.median; };
        std::sort(roundTrips.begin(), roundTrips.end(),
                  [&](const auto& a, const auto& b) { return ratio(a) < ratio(b); });
        rawRtt = roundTrips[roundTrips.size() / 2].plain;
        objectRtt = roundTrips[roundTrips.size() / 2].objects;
    }

    if (proxy) {
        ov::testing::DantedProcess danted(false);
        if (!danted.Started()) {
            std::printf("TCP stream through a SOCKS5 proxy: skipped, danted is not available\n");
        } else {
            Clock::duration direct = Clock::duration::max(), proxied = Clock::duration::max();
            for (int run = 0; run < kRuns; ++run) {
                direct = std::min(direct, EventGatedStream(kProxyStreamBytes));
                proxied = std::min(proxied, EventGatedStream(kProxyStreamBytes, danted.Port()));
            }
            double directMBs = MegabytesPerSecond(direct, kProxyStreamBytes);
            double proxiedMBs = MegabytesPerSecond(proxied, kProxyStreamBytes);
            std::printf(
                "TCP stream, 16 MiB in 4096-byte packets gated on completion (best of %d)\n",
                kRuns);
            std::printf("  direct                        %8.1f MB/s\n", directMBs);
            std::printf("  through danted (SOCKS5)       %8.1f MB/s\n", proxiedMBs);
            std::printf("  ratio proxied / direct        %8.2f\n", proxiedMBs / directMBs);
        }
    }
    if (stream) {
        double plainMBs = MegabytesPerSecond(plain);
        double gatedMBs = MegabytesPerSecond(gated);
        std::printf("TCP stream, 64 MiB in 4096-byte packets (best of %d)\n", kRuns);
        std::printf("  plain blocking send loop      %8.1f MB/s\n", plainMBs);
        std::printf("  Send gated on completion      %8.1f MB/s\n", gatedMBs);
        std::printf("  ratio gated / plain           %8.2f\n", gatedMBs / plainMBs);
    }
    if (udp) {
        std::printf(
            "UDP round trip, %zu-byte datagrams, %d trips of each kind, alternated "
            "(the run of median ratio of %d)\n",
            kDatagram, kRoundTrips, kRuns);
        std::printf("  plain sendto/recvfrom echo    median %7.1f us   p99 %7.1f us\n",
                    rawRtt.median, rawRtt.p99);
        std::printf("  SendTo/OnDataAvailable echo   median %7.1f us   p99 %7.1f us\n",
                    objectRtt.median, objectRtt.p99);
        std::printf("  ratio objects / plain         median %7.2f      p99 %7.2f\n",
                    objectRtt.median / rawRtt.median, objectRtt.p99 / rawRtt.p99);
    }

    CoUninitialize();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
