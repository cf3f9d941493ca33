// File transfer throughput on loopback: one file of random bytes (256 MiB by default) from a
// FileSender to a FileReceiver, both in this thread's single-threaded apartment as in the
// send and receive windows, with the short timers (the pauses of 1 and 100 ms) fired at once
// and the long ones never. Beside it, in the same run, plain POSIX sockets doing the same
// work: a sender thread that reads the file in 4096-byte chunks and sends each with one
// blocking send() once the previous one returned, and a receiver thread that reads the
// stream and writes it to a file. A third line puts the receiver in an apartment of its own
// on a second thread, as two clients are, to show what sharing one thread costs.
//
//   cmake --preset release >/dev/null
//   cmake --build build/release -j2 --target transfer_bench
//   build/release/bin/transfer_bench [--quick] [--mib N] [--only protocol|two|plain]
//
// Figures: MB/s (MiB per second) of each path, the median of 5 runs (1 with --quick) and the
// range of the runs; runs of the kinds alternate, so all meet the same load. The received file of
// the first run of each kind is checked against the sent one (size and hash). Memory stays bounded:
// both sides hold one chunk or one read buffer at a time, and each run's received file is removed.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/com/apartment.h"
#include "platform/com/registration.h"
#include "transfer/file_receiver.h"
#include "transfer/file_sender.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace ov::transfer;

constexpr auto kPatience = std::chrono::seconds(120);  // per run

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// The test folder, removed with everything in it however main ends.
struct ScratchFolder {
    fs::path path;
    ~ScratchFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

double MegabytesPerSecond(uint64_t bytes, Clock::duration d) {
    return static_cast<double>(bytes) / (1 << 20) / std::chrono::duration<double>(d).count();
}

// A 64-bit hash of a file's bytes, read in blocks (FNV-1a over 8-byte words, tail bytewise).
std::optional<uint64_t> HashFile(const fs::path& path, uint64_t* size) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::vector<uint8_t> block(1 << 20);
    uint64_t h = 0xcbf29ce484222325ull;
    *size = 0;
    for (;;) {
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        std::size_t i = 0;
        for (; i + 8 <= static_cast<std::size_t>(n); i += 8) {
            uint64_t word;
            std::memcpy(&word, block.data() + i, 8);
            h = (h ^ word) * 0x100000001b3ull;
        }
        for (; i < static_cast<std::size_t>(n); ++i)
            h = (h ^ block[i]) * 0x100000001b3ull;
        *size += static_cast<uint64_t>(n);
    }
    ::close(fd);
    return h;
}

bool WriteRandomFile(const fs::path& path, uint64_t bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    std::mt19937_64 random(20261208);
    std::vector<uint64_t> block((1 << 20) / 8);
    for (uint64_t written = 0; written < bytes;) {
        for (uint64_t& word : block)
            word = random();
        const std::size_t n =
            static_cast<std::size_t>(std::min<uint64_t>(bytes - written, block.size() * 8));
        if (::write(fd, block.data(), n) != static_cast<ssize_t>(n)) {
            ::close(fd);
            return false;
        }
        written += n;
    }
    return ::close(fd) == 0;
}

// ---- The protocol objects ----

// Virtual time: the objects' timers are only recorded; the loop fires the short ones.
class BenchTimers final : public TransferTimers {
public:
    void Arm(int id, int ms) override { armed_[id] = ms; }
    void Kill(int id) override { armed_.erase(id); }
    std::vector<int> TakeShort() {
        std::vector<int> due;
        for (auto it = armed_.begin(); it != armed_.end();) {
            if (it->second <= kFirstRequestDelayMs) {
                due.push_back(it->first);
                it = armed_.erase(it);
            } else {
                ++it;
            }
        }
        return due;
    }

private:
    std::map<int, int> armed_;
};

struct SenderSide final : SenderListener {
    void OnSenderConnected() override {}
    void OnSenderProgress() override {}
    void OnSenderClose() override { closed = true; }
    bool closed = false;
};

struct ReceiverSide final : ReceiverListener {
    void OnReceiverProgress() override {}
    void OnReceiverFileExists(const std::string&) override { trouble = true; }
    void OnReceiverNameRefused(const std::string&, NameRefusal) override { trouble = true; }
    void OnReceiverCannotCreate(const std::string&) override { trouble = true; }
    void OnReceiverFailed(ReceiveFailure) override { trouble = true; }
    void OnReceiverComplete() override { completeAt = Clock::now(); }
    void OnReceiverClose() override {}
    std::optional<Clock::time_point> completeAt;
    bool trouble = false;
};

// A sender of source listening on 127.0.0.1 with its offer made; null when it cannot start.
std::unique_ptr<FileSender> OfferedSender(PosixTransferFiles& files, const fs::path& source,
                                          BenchTimers& timers, SenderSide& side) {
    SenderSelection selection = SelectFiles(files, {source.string()});
    if (selection.error != SelectionError::kNone)
        return nullptr;
    auto sender = std::make_unique<FileSender>(std::move(selection), files, timers, side);
    if (!sender->Listen("127.0.0.1"))
        return nullptr;
    sender->Offered();
    return sender;
}

// One transfer of source into folder; its duration, or nothing when it failed.
std::optional<Clock::duration> ProtocolRun(const fs::path& source, const fs::path& folder) {
    PosixTransferFiles files;
    BenchTimers senderTimers, receiverTimers;
    SenderSide senderSide;
    ReceiverSide receiverSide;
    auto sender = OfferedSender(files, source, senderTimers, senderSide);
    if (!sender)
        return std::nullopt;
    auto receiver = std::make_unique<FileReceiver>(sender->LocalIP(), sender->LocalPort(), files,
                                                   receiverTimers, receiverSide);
    if (!receiver->Initialize())
        return std::nullopt;

    auto apartment = Apartment::Current();
    auto done = [&] { return receiverSide.completeAt.has_value() || receiverSide.trouble; };
    const auto start = Clock::now();
    if (!receiver->Start(folder.string()))
        return std::nullopt;
    while (!done() && Clock::now() - start < kPatience) {
        bool fired = false;
        for (int id : senderTimers.TakeShort()) {
            sender->OnTimer(id);
            fired = true;
        }
        for (int id : receiverTimers.TakeShort()) {
            receiver->OnTimer(id);
            fired = true;
        }
        if (!fired)
            apartment->PumpUntil(done, std::chrono::milliseconds(5));
    }
    receiver.reset();
    sender.reset();
    // Events the closed sockets posted before they went.
    apartment->PumpUntil([] { return false; }, std::chrono::milliseconds(20));
    if (!receiverSide.completeAt || receiverSide.trouble)
        return std::nullopt;
    return *receiverSide.completeAt - start;
}

// The same transfer with the receiver in an apartment of its own on a second thread, as two
// clients are: shows what sharing one thread costs. Its duration, or nothing on failure.
std::optional<Clock::duration> TwoApartmentRun(const fs::path& source, const fs::path& folder) {
    PosixTransferFiles files;
    BenchTimers senderTimers;
    SenderSide senderSide;
    auto sender = OfferedSender(files, source, senderTimers, senderSide);
    if (!sender)
        return std::nullopt;

    std::atomic<bool> finished{false};
    std::optional<Clock::duration> took;
    std::thread receiving([&, ip = sender->LocalIP(), port = sender->LocalPort()] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        {
            PosixTransferFiles receiverFiles;
            BenchTimers receiverTimers;
            ReceiverSide receiverSide;
            FileReceiver receiver(ip, port, receiverFiles, receiverTimers, receiverSide);
            auto apartment = Apartment::Current();
            auto done = [&] { return receiverSide.completeAt.has_value() || receiverSide.trouble; };
            const auto start = Clock::now();
            if (receiver.Initialize() && receiver.Start(folder.string())) {
                while (!done() && Clock::now() - start < kPatience) {
                    const std::vector<int> due = receiverTimers.TakeShort();
                    for (int id : due)
                        receiver.OnTimer(id);
                    if (due.empty())
                        apartment->PumpUntil(done, std::chrono::milliseconds(5));
                }
            }
            if (receiverSide.completeAt && !receiverSide.trouble)
                took = *receiverSide.completeAt - start;
        }
        CoUninitialize();
        finished = true;
    });
    auto apartment = Apartment::Current();
    while (!finished) {
        const std::vector<int> due = senderTimers.TakeShort();
        for (int id : due)
            sender->OnTimer(id);
        if (due.empty())
            apartment->PumpUntil([&] { return finished.load(); }, std::chrono::milliseconds(5));
    }
    receiving.join();
    sender.reset();
    apartment->PumpUntil([] { return false; }, std::chrono::milliseconds(20));
    return took;
}

// ---- The plain pattern ----

std::optional<Clock::duration> PlainRun(const fs::path& source, const fs::path& target) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(listener);
        return std::nullopt;
    }
    const uint64_t size = fs::file_size(source);
    bool received = false;
    Clock::time_point end;
    const auto start = Clock::now();
    // The receiver: accepts, reads what is there and writes it, until the whole file is in.
    std::thread receiver([&] {
        const int fd = ::accept(listener, nullptr, nullptr);
        const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        std::vector<uint8_t> buffer(1 << 16);
        uint64_t got = 0;
        bool ok = fd >= 0 && out >= 0;
        while (ok && got < size) {
            const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
            ok = n > 0 && ::write(out, buffer.data(), static_cast<std::size_t>(n)) == n;
            got += ok ? static_cast<uint64_t>(n) : 0;
        }
        received = ok && ::close(out) == 0;
        end = Clock::now();
        if (fd >= 0)
            ::close(fd);
    });
    // The sender: one 4096-byte read and one blocking send at a time.
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    bool sent =
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && in >= 0;
    uint8_t chunk[kChunkSize];
    while (sent) {
        const ssize_t n = ::read(in, chunk, sizeof chunk);
        if (n <= 0) {
            sent = n == 0;
            break;
        }
        sent = ::send(fd, chunk, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
    }
    if (!sent)
        ::shutdown(fd, SHUT_RDWR);
    receiver.join();
    if (in >= 0)
        ::close(in);
    ::close(fd);
    ::close(listener);
    if (!sent || !received)
        return std::nullopt;
    return end - start;
}

bool SameFile(const char* what, const fs::path& received, uint64_t size, uint64_t hash) {
    uint64_t gotSize = 0;
    const std::optional<uint64_t> got = HashFile(received, &gotSize);
    if (got && *got == hash && gotSize == size)
        return true;
    std::fprintf(stderr, "%s: the received file differs (%llu bytes)\n", what,
                 static_cast<unsigned long long>(gotSize));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 5;
    uint64_t mib = 256;
    std::string only;  // one kind alone, for profiling
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            runs = 1;
        else if (std::strcmp(argv[i], "--mib") == 0 && i + 1 < argc)
            mib = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else {
            std::fprintf(stderr, "usage: %s [--quick] [--mib N] [--only protocol|two|plain]\n",
                         argv[0]);
            return 2;
        }
    }
    const uint64_t bytes = mib << 20;
    const ScratchFolder scratch{fs::temp_directory_path() /
                                ("ovtransfer-bench-" + std::to_string(getpid()))};
    const fs::path& dir = scratch.path;
    fs::create_directories(dir / "save");
    setenv("ORVANE_REGISTRY", (dir / "registry").c_str(), 1);
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(RegisterServerLibrary(GetProgramDirectory() + "OVSock.so"))) {
        std::fprintf(stderr, "cannot register OVSock.so\n");
        return 1;
    }

    const fs::path source = dir / "random.bin";
    uint64_t size = 0;
    std::optional<uint64_t> hash;
    if (!WriteRandomFile(source, bytes) || !(hash = HashFile(source, &size))) {
        std::fprintf(stderr, "cannot write %s\n", source.c_str());
        return 1;
    }

    std::vector<double> protocol, twoApartments, plain;
    bool ok = true;
    for (int run = 0; run < runs && ok; ++run) {
        if (only.empty() || only == "protocol") {
            const fs::path received = dir / "save" / source.filename();
            const std::optional<Clock::duration> p = ProtocolRun(source, dir / "save");
            ok = p && (run > 0 || SameFile("protocol objects", received, size, *hash));
            fs::remove(received);
            if (!ok)
                break;
            protocol.push_back(MegabytesPerSecond(bytes, *p));
        }
        if (only.empty() || only == "two") {
            const fs::path received = dir / "save" / source.filename();
            const std::optional<Clock::duration> t = TwoApartmentRun(source, dir / "save");
            ok = t && (run > 0 || SameFile("two apartments", received, size, *hash));
            fs::remove(received);
            if (!ok)
                break;
            twoApartments.push_back(MegabytesPerSecond(bytes, *t));
        }
        if (only.empty() || only == "plain") {
            const fs::path plainTarget = dir / "plain.bin";
            const std::optional<Clock::duration> q = PlainRun(source, plainTarget);
            ok = q && (run > 0 || SameFile("plain sockets", plainTarget, size, *hash));
            fs::remove(plainTarget);
            if (ok)
                plain.push_back(MegabytesPerSecond(bytes, *q));
        }
    }
    CoUninitialize();
    if (!ok) {
        std::fprintf(stderr, "a transfer failed\n");
        return 1;
    }

    std::printf(
        "file transfer on loopback, %llu MiB of random bytes in 4096-byte chunks, "
        "median of %d (range), %u cores\n",
        static_cast<unsigned long long>(mib), runs, std::thread::hardware_concurrency());
    auto line = [](const char* what, const std::vector<double>& v) {
        if (!v.empty())
            std::printf("  %-44s %8.1f MB/s  (%.1f - %.1f)\n", what, Median(v),
                        *std::min_element(v.begin(), v.end()),
                        *std::max_element(v.begin(), v.end()));
    };
    line("FileSender -> FileReceiver (one apartment)", protocol);
    line("the same, receiver in its own apartment", twoApartments);
    line("plain sockets, same reads, sends, writes", plain);
    if (!plain.empty()) {
        if (!protocol.empty())
            std::printf("  %-44s %8.2f\n", "ratio one apartment / plain",
                        Median(protocol) / Median(plain));
        if (!twoApartments.empty())
            std::printf("  %-44s %8.2f\n", "ratio own apartments / plain",
                        Median(twoApartments) / Median(plain));
    }
    return 0;
}
