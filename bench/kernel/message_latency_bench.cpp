// Message latency between two client kernels through the reference server, all in this
// process on loopback: from the SendToUser call in the sender's kernel until the receiver's
// kernel raises OnUserMessageReceived for it. Beside it, in the same run, a raw two-hop UDP
// relay (sender socket -> relay socket that forwards each datagram -> receiver socket) with
// datagrams of the same sizes: the kernel's command datagram on the first hop, the server's
// message datagram on the second.
//
//   cmake --preset release >/dev/null
//   cmake --build build/release -j2 --target message_latency_bench
//   build/release/bin/message_latency_bench [messages] [burst]      # defaults 2000 and 200
//
// Two modes, each over the same number of messages:
//   one at a time: the next message is sent once the previous one has arrived;
//   burst:         `burst` messages sent back to back, then the next burst once all have
//                  arrived; each message's latency counts from its own send.
// The first 20 messages of each path warm it up and are not counted. Figures are p50, p99
// and mean in microseconds, with the ratio kernel / raw. The kernels run on real time (the
// process clock); the server keeps its accounts in memory.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <numeric>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/byte_array_variant.h"
#include "common/events/event_sink.h"
#include "common/interfaces/ovkernel.h"
#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"
#include "platform/com/registration.h"
#include "server/server.h"

using namespace ov;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kWarmUp = 20;
constexpr auto kPatience = std::chrono::seconds(30);  // per message or per burst
constexpr char kStyle[] =
    "<Font=FONT(\"Arial\",12,0,0,0);MsgClr=RGB(0,0,0);BkClr=RGB(255,255,255);>";

// The text of message i: the style header a client puts in front, then ~40 bytes of body
// that carry the number, so that the receiver can tell which message arrived.
std::string MessageText(int i) {
    char body[64];
    std::snprintf(body, sizeof body, "#%06d see you at the north gate at three", i);
    return std::string(kStyle) + body;
}

// The number of a message from its text (or from a relayed datagram holding the text), -1
// when there is none.
int MessageNumber(std::string_view text) {
    size_t at = text.find('#');
    if (at == std::string_view::npos || text.size() - at < 7)
        return -1;
    int n = 0;
    for (size_t k = at + 1; k < at + 7; ++k) {
        if (text[k] < '0' || text[k] > '9')
            return -1;
        n = n * 10 + (text[k] - '0');
    }
    return n;
}

// Arrival times by message number, written by whichever thread hears a message; a message
// heard twice counts once.
class Arrivals {
public:
    void Reset(int n) {
        std::lock_guard<std::mutex> lock(mutex_);
        at_.assign(static_cast<size_t>(n), Clock::time_point{});
        count_ = 0;
    }
    void Arrived(int i) {
        auto now = Clock::now();
        std::lock_guard<std::mutex> lock(mutex_);
        if (i < 0 || static_cast<size_t>(i) >= at_.size())
            return;
        if (at_[static_cast<size_t>(i)] != Clock::time_point{}) {
            ++duplicates_;
            return;
        }
        at_[static_cast<size_t>(i)] = now;
        ++count_;
        changed_.notify_all();
    }
    bool WaitFor(int count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, [&] { return count_ >= count; });
    }
    Clock::time_point At(int i) {
        std::lock_guard<std::mutex> lock(mutex_);
        return at_[static_cast<size_t>(i)];
    }
    long Duplicates() {
        std::lock_guard<std::mutex> lock(mutex_);
        return duplicates_;
    }

private:
    std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    std::vector<Clock::time_point> at_;
    int count_ = 0;
    long duplicates_ = 0;  // over every run
};

struct Figures {
    double p50 = 0, p99 = 0, mean = 0, max = 0;
    bool complete = true;
};

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty())
        return 0;
    size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::clamp<size_t>(rank, 1, sorted.size()) - 1];
}

// Sends messages 0 .. kWarmUp + n - 1 through send(i), `window` at a time, each window once
// the previous one has wholly arrived; returns the latencies of all but the warm-up ones.
Figures Measure(Arrivals& arrivals, int n, int window, const std::function<void(int)>& send) {
    const int total = kWarmUp + n;
    arrivals.Reset(total);
    std::vector<Clock::time_point> sent(static_cast<size_t>(total));
    Figures f;
    // The warm-up goes one at a time whatever the mode.
    for (int i = 0; i < kWarmUp; ++i) {
        sent[static_cast<size_t>(i)] = Clock::now();
        send(i);
        if (!arrivals.WaitFor(i + 1)) {
            f.complete = false;
            return f;
        }
    }
    for (int first = kWarmUp; first < total; first += window) {
        const int end = std::min(total, first + window);
        for (int i = first; i < end; ++i) {
            sent[static_cast<size_t>(i)] = Clock::now();
            send(i);
        }
        if (!arrivals.WaitFor(end)) {
            f.complete = false;
            return f;
        }
    }
    std::vector<double> us;
    us.reserve(static_cast<size_t>(n));
    for (int i = kWarmUp; i < total; ++i)
        us.push_back(
            std::chrono::duration<double, std::micro>(arrivals.At(i) - sent[static_cast<size_t>(i)])
                .count());
    std::sort(us.begin(), us.end());
    f.p50 = Percentile(us, 0.50);
    f.p99 = Percentile(us, 0.99);
    f.mean = std::accumulate(us.begin(), us.end(), 0.0) / static_cast<double>(us.size());
    f.max = us.back();
    return f;
}

// ---- The baseline: a raw two-hop UDP relay on loopback ----

int BoundUdp(sockaddr_in* address) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    *address = a;
    timeval tv{0, 200'000};  // lets the threads see the stop flag
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

class RawRelay {
public:
    // Datagrams of firstHop bytes go to the relay, which sends one of secondHop bytes (the
    // same bytes, cut or padded with zeros) on to the receiver.
    RawRelay(Arrivals& arrivals, size_t firstHop, size_t secondHop)
        : arrivals_(arrivals), firstHop_(firstHop), secondHop_(secondHop) {
        sender_ = BoundUdp(&senderAddress_);
        relay_ = BoundUdp(&relayAddress_);
        receiver_ = BoundUdp(&receiverAddress_);
        relayThread_ = std::thread([this] { Relay(); });
        receiverThread_ = std::thread([this] { Receive(); });
    }
    ~RawRelay() {
        stop_ = true;
        relayThread_.join();
        receiverThread_.join();
        for (int fd : {sender_, relay_, receiver_})
            close(fd);
    }

    void Send(int i) {
        std::string datagram = MessageText(i);
        datagram.resize(firstHop_, '\0');
        sendto(sender_, datagram.data(), datagram.size(), 0,
               reinterpret_cast<const sockaddr*>(&relayAddress_), sizeof relayAddress_);
    }

private:
    void Relay() {
        constexpr size_t kLargest = 2048;
        std::vector<char> buf(std::max(secondHop_, kLargest));
        while (!stop_) {
            ssize_t r = recv(relay_, buf.data(), kLargest, 0);
            if (r <= 0)
                continue;
            std::fill(buf.begin() + r, buf.end(), '\0');
            sendto(relay_, buf.data(), secondHop_, 0,
                   reinterpret_cast<const sockaddr*>(&receiverAddress_), sizeof receiverAddress_);
        }
    }
    void Receive() {
        std::vector<char> buf(std::max<size_t>(secondHop_, 2048));
        while (!stop_) {
            ssize_t r = recv(receiver_, buf.data(), buf.size(), 0);
            if (r > 0)
                arrivals_.Arrived(MessageNumber(std::string_view(buf.data(), size_t(r))));
        }
    }

    Arrivals& arrivals_;
    const size_t firstHop_, secondHop_;
    int sender_ = -1, relay_ = -1, receiver_ = -1;
    sockaddr_in senderAddress_{}, relayAddress_{}, receiverAddress_{};
    std::atomic<bool> stop_{false};
    std::thread relayThread_, receiverThread_;
};

// ---- The kernels ----

// One client: a kernel through the runtime and the events the bench waits for, heard on the
// kernel's own threads (connected agile).
class Client final : public OVServiceEventHandler {
public:
    Client(Arrivals* arrivals, uint16_t serverPort) : arrivals_(arrivals) {
        if (FAILED(CoCreateInstance(CLSID_OVService, &kernel_)))
            return;
        events_.Connect(kernel_.Get(), true);
        LONG ok = 0;
        kernel_->Init(Bstr::Empty(), 0, &ok);
        LONG seq = 0;
        kernel_->HandshakeServer(Bstr::FromUtf8("127.0.0.1"), serverPort, &seq);
    }
    ~Client() {
        if (kernel_)
            kernel_->Deinit();
        events_.Disconnect();
    }

    // Registers the user and logs in as it. The PIN, or 0 on failure.
    LONG RegisterAndLogin(const char* name, const char* password) {
        if (!kernel_)
            return 0;
        OV_USER_INFO u;
        std::memset(&u, 0, sizeof u);
        u.nMask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD | OV_UFLD_NICKNAME;
        std::strncpy(u.sUserName, name, sizeof u.sUserName - 1);
        std::strncpy(u.sNickName, name, sizeof u.sNickName - 1);
        std::strncpy(u.sPassword, password, sizeof u.sPassword - 1);
        CByteArrayVariant record(&u, sizeof u);
        LONG seq = 0;
        kernel_->RegisterUser(record.Variant(), &seq);
        if (!Wait([&] { return registered_; }) || pin_ == 0)
            return 0;
        kernel_->Login(pin_, Bstr::FromUtf8(name), Bstr::FromUtf8(password),
                       OV_ONLINE_STATUS_ONLINE, 0, &seq);
        if (!Wait([&] { return loggedIn_; }) || !loginOk_)
            return 0;
        return pin_;
    }

    void Send(LONG to, int i) {
        CByteArrayVariant text(MessageText(i));
        LONG seq = 0;
        kernel_->SendToUser(to, OV_MSGT_SAVE, OV_COMPONENT_MESSAGER, 0, text.Variant(), &seq);
    }

    void OnRegisterUserReply(LONG, OVErrorCodeEnum eError, LONG nPin, std::string_view) override {
        std::lock_guard<std::mutex> lock(mutex_);
        registered_ = true;
        pin_ = eError == OV_ERR_NONE ? nPin : 0;
        changed_.notify_all();
    }
    void OnLoginReply(LONG, OVErrorCodeEnum eError, LONG, LONG, LONG) override {
        std::lock_guard<std::mutex> lock(mutex_);
        loggedIn_ = true;
        loginOk_ = eError == OV_ERR_NONE;
        changed_.notify_all();
    }
    void OnUserMessageReceived(LONG, LONG, LONG, LONG, std::string_view varMessage, LONG) override {
        if (arrivals_)
            arrivals_->Arrived(MessageNumber(varMessage));
    }

private:
    bool Wait(const std::function<bool()>& done) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, kPatience, done);
    }

    Arrivals* const arrivals_;  // where received messages are counted; null: nowhere
    ComPtr<IOVService> kernel_;
    std::mutex mutex_;  // guards the reply fields below
    std::condition_variable changed_;
    bool registered_ = false;
    LONG pin_ = 0;
    bool loggedIn_ = false;
    bool loginOk_ = false;
    OVServiceEventConnection events_{this};  // last: disconnected before the rest goes
};

// The sizes of the datagrams one message makes: the command from the sender, the
// notification to the receiver.
size_t CommandDatagramSize(const std::string& text) {
    wire::Writer w;
    wire::WriteRequestHeader(w, wire::RequestHeader{1, OV_CCMD_SENDTO_USR, 1, 0, 0, 1});
    w.U32(OV_MSGT_SAVE), w.U32(OV_COMPONENT_MESSAGER), w.U32(0);
    w.Payload(text);
    w.U32(1), w.U32(10001);
    return w.Size();
}
size_t MessageDatagramSize(const std::string& text) {
    wire::Writer w;
    wire::WriteServerHeader(w, wire::ServerHeader{1, OV_SCMD_MESSAGE, 1, 0});
    w.U32(10001), w.U16(0), w.U32(10002), w.U32(OV_COMPONENT_MESSAGER), w.U32(0);
    w.Text(text, OV_MSG_SIZE);
    w.U32(0);
    return w.Size();
}

void Print(const char* what, const Figures& kernel, const Figures& raw) {
    std::printf("%-14s | %9.1f %9.1f %9.1f %9.1f | %9.1f %9.1f %9.1f | %7.2f %7.2f%s\n", what,
                kernel.p50, kernel.p99, kernel.mean, kernel.max, raw.p50, raw.p99, raw.mean,
                raw.p50 > 0 ? kernel.p50 / raw.p50 : 0, raw.p99 > 0 ? kernel.p99 / raw.p99 : 0,
                kernel.complete && raw.complete ? "" : "  (INCOMPLETE)");
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const int burst = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    auto dir =
        std::filesystem::temp_directory_path() / ("ovlatency-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("ORVANE_REGISTRY", (dir / "registry").c_str(), 1);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (const char* lib : {"OVSock.so", "OVKernel.so"})
        RegisterServerLibrary(GetProgramDirectory() + lib);

    server::ServerConfig config;
    config.listen.port = 0;
    config.passwordCost = server::PasswordCost::kMinimal;
    server::Log quiet{[](std::string_view) {}};
    server::Server server(config, nullptr, &quiet);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "server: %s\n", error.c_str());
        return 1;
    }

    Arrivals kernelArrivals, rawArrivals;
    Figures kernelOne, kernelBurst, rawOne, rawBurst;
    bool ready = false;
    {
        Client alice(nullptr, server.Port());
        Client bob(&kernelArrivals, server.Port());
        LONG alicePin = alice.RegisterAndLogin("alice", "secret1");
        LONG bobPin = bob.RegisterAndLogin("bob", "secret2");
        ready = alicePin != 0 && bobPin != 0;
        if (ready) {
            auto send = [&](int i) { alice.Send(bobPin, i); };
            kernelOne = Measure(kernelArrivals, n, 1, send);
            kernelBurst = Measure(kernelArrivals, n, burst, send);
        } else {
            std::fprintf(stderr, "registration or login failed\n");
        }
    }
    server.Stop();
    server.Join();
    if (!ready)
        return 1;

    const std::string sample = MessageText(0);
    const size_t firstHop = CommandDatagramSize(sample), secondHop = MessageDatagramSize(sample);
    {
        RawRelay relay(rawArrivals, firstHop, secondHop);
        auto send = [&](int i) { relay.Send(i); };
        rawOne = Measure(rawArrivals, n, 1, send);
        rawBurst = Measure(rawArrivals, n, burst, send);
    }

    std::printf(
        "message latency, kernel -> server -> kernel on loopback, %d messages of %zu "
        "bytes of text, %u cores\n",
        n, sample.size(), std::thread::hardware_concurrency());
    std::printf(
        "baseline: raw UDP relay, datagrams of %zu bytes (first hop) and %zu bytes "
        "(second hop)\n",
        firstHop, secondHop);
    std::printf("%-14s | %9s %9s %9s %9s | %9s %9s %9s | %7s %7s\n", "", "kernel", "", "", "",
                "raw relay", "", "", "ratio", "");
    std::printf("%-14s | %9s %9s %9s %9s | %9s %9s %9s | %7s %7s\n", "microseconds", "p50", "p99",
                "mean", "max", "p50", "p99", "mean", "p50", "p99");
    Print("one at a time", kernelOne, rawOne);
    char label[32];
    std::snprintf(label, sizeof label, "bursts of %d", burst);
    Print(label, kernelBurst, rawBurst);
    long duplicates = kernelArrivals.Duplicates();
    if (duplicates > 0)
        std::printf("messages the receiving kernel reported twice: %ld\n", duplicates);

    CoUninitialize();
    std::filesystem::remove_all(dir);
    return kernelOne.complete && kernelBurst.complete && rawOne.complete && rawBurst.complete ? 0
                                                                                              : 1;
}
