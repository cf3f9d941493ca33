// Commands per second through one kernel against a loopback server that acknowledges and
// answers every command, beside the same server's raw request/answer rate measured in the
// same run; and the memory one initialised kernel costs.
//
//   kernel_bench [commands]
#include <arpa/inet.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "common/interfaces/ovkernel.h"
#include "common/protocol/wire.h"
#include "kernel/tests/scripted_peer.h"

using namespace ov;
using Clock = std::chrono::steady_clock;

namespace {

long RssKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return kib;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

class ReplyCounter final : public ComObject<ReplyCounter, IDispatch, IAgileObject> {
public:
    HRESULT GetTypeInfoCount(UINT* n) override {
        *n = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPCOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                   UINT*) override {
        if (id == OV_DISPID_ON_HANDSHAKE_SERVER_REPLY) {
            std::lock_guard<std::mutex> lock(mutex);
            ++replies;
            changed.notify_all();
        }
        return S_OK;
    }
    bool WaitFor(long n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return replies >= n; });
    }
    std::mutex mutex;  // guards replies
    std::condition_variable changed;
    long replies = 0;
};

// The raw baseline: one request datagram, then wait for the acknowledgement and the answer.
double RawRate(uint16_t port, int n) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval tv{2, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    char buf[2048];
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        wire::Writer w;
        wire::WriteRequestHeader(
            w, wire::RequestHeader{1, OV_CCMD_HANDSHACK_SERVER, static_cast<uint32_t>(i + 1), 0, 0,
                                   static_cast<uint16_t>(i + 1)});
        sendto(fd, w.Bytes().data(), w.Size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        for (int got = 0; got < 2;) {
            ssize_t r = recv(fd, buf, sizeof buf, 0);
            if (r < 0)
                break;
            ++got;
            if (r >= 10) {  // acknowledge the answer, as a client must
                std::string ack = wire::ClientAck(wire::LoadU32(buf + 4), 0, 0);
                sendto(fd, ack.data(), ack.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
            }
        }
    }
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    close(fd);
    return n / seconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 5000;
    auto dir =
        std::filesystem::temp_directory_path() / ("ovkernel-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    setenv("ORVANE_REGISTRY", (dir / "registry").c_str(), 1);
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    for (const char* lib : {"OVSock.so", "OVKernel.so"})
        RegisterServerLibrary(GetProgramDirectory() + lib);

    kernel::testing::ScriptedPeer peer;
    peer.OnCommand(OV_CCMD_HANDSHACK_SERVER, [](uint16_t, uint32_t, const std::string&) {
        wire::Writer w;
        w.U16(OV_ERR_NONE);
        w.U16(0);
        return std::vector<std::string>{w.Bytes()};
    });

    double raw = RawRate(peer.Port(), n);

    // Memory of initialised kernels (the socket's threads included), averaged over a few.
    long before = RssKiB();
    std::vector<ComPtr<IOVService>> kernels(8);
    for (auto& k : kernels) {
        CoCreateInstance(CLSID_OVService, &k);
        LONG ok = 0;
        Bstr any = Bstr::Empty();
        k->Init(any, 0, &ok);
    }
    long perKernel = (RssKiB() - before) / static_cast<long>(kernels.size());
    for (auto& k : kernels)
        k->Deinit();
    kernels.clear();

    ComPtr<IOVService> kernel;
    CoCreateInstance(CLSID_OVService, &kernel);
    ComPtr<ReplyCounter> counter = MakeComObject<ReplyCounter>();
    DWORD cookie = 0;
    AtlAdvise(kernel.Get(), counter->GetUnknown(), DIID_IOVServiceEvents, &cookie);
    LONG ok = 0;
    Bstr any = Bstr::Empty(), host = Bstr::FromUtf8("127.0.0.1");
    kernel->Init(any, 0, &ok);
    auto start = Clock::now();
    for (int i = 0; i < n; ++i) {
        LONG seq = 0;
        kernel->HandshakeServer(host, peer.Port(), &seq);
    }
    bool all = counter->WaitFor(n);
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double rate = n / seconds;
    kernel->Deinit();

    std::printf("kernel commands (acknowledged and answered): %d in %.3f s = %.0f commands/s%s\n",
                n, seconds, rate, all ? "" : " (INCOMPLETE)");
    std::printf("raw UDP request/answer with the same server:  %.0f exchanges/s\n", raw);
    std::printf("ratio kernel/raw: %.2f\n", rate / raw);
    std::printf("memory of one initialised kernel: %ld KiB RSS\n", perKernel);
    kernel.Reset();
    peer.Stop();
    CoUninitialize();
    std::filesystem::remove_all(dir);
    return all ? 0 : 1;
}
