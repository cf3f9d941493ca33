// Messaging while many clients log in at once. 50 logged-in clients exchange messages (half
// of them send, each to its partner, one command in flight as the client's kernel does, one
// message every 10 ms each - or as fast as they are acknowledged with --interval-ms 0):
// first alone, then while 200 other clients send their logins at the same moment, with the
// production password cost. Prints the messaging clients' delivery latency (p50/p99) in both
// phases beside the raw UDP echo of the same run, and how long the burst of logins took.
//
//   login_burst_bench [--seconds S] [--messaging 50] [--logins 200] [--interval-ms 10]
#include <sodium.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/chat_client.h"
#include "bench/server/echo_baseline.h"
#include "bench/server/load_client.h"
#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"
#include "server/server.h"
#include "server/store.h"

using ovbench::Figures;
using ovbench::Incoming;
using ovbench::LoadClient;
using ovbench::NowNs;

namespace {

// Accounts made straight in a database file, all with one hash of "pw" at the production
// cost (making 250 hashes one by one would take longer than the measurement).
bool MakeAccounts(const std::string& path, int count) {
    std::string error;
    auto store = ov::server::Store::Open(path, &error);
    if (!store) {
        std::fprintf(stderr, "database: %s\n", error.c_str());
        return false;
    }
    char hash[crypto_pwhash_STRBYTES];
    if (sodium_init() < 0 || crypto_pwhash_str(hash, "pw", 2, crypto_pwhash_OPSLIMIT_INTERACTIVE,
                                               crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0) {
        return false;
    }
    for (int i = 0; i < count; ++i) {
        ov::server::UserRecord u;
        u.userName = "user" + std::to_string(i);
        if (store->CreateUser(&u, hash) == 0)
            return false;
    }
    return true;
}

using Sim = ovbench::ChatClient;

struct Burst {
    std::vector<std::unique_ptr<LoadClient>> clients;
    int answered = 0;
    int refused = 0;
    int64_t startNs = 0;
    double seconds = 0;  // until the last login was answered
};

// Drives the messaging clients (each sender one message per intervalNs, or as fast as acknowledged
// when 0) until endNs, or - with a burst - until every login of the
// burst is answered. Returns the delivery latencies (ns).
std::vector<int64_t> Drive(std::vector<Sim>& sims, int64_t intervalNs, Burst* burst,
                           int64_t endNs) {
    int ep = epoll_create1(0);
    size_t n = sims.size();
    for (size_t i = 0; i < n; ++i) {
        epoll_event ev{EPOLLIN, {.u64 = i}};
        epoll_ctl(ep, EPOLL_CTL_ADD, sims[i].client->Fd(), &ev);
    }
    if (burst) {
        for (size_t i = 0; i < burst->clients.size(); ++i) {
            epoll_event ev{EPOLLIN, {.u64 = n + i}};
            epoll_ctl(ep, EPOLL_CTL_ADD, burst->clients[i]->Fd(), &ev);
        }
    }
    for (Sim& s : sims) {
        if (s.sender)
            s.SendTimed();
    }
    std::vector<int64_t> latencies;
    epoll_event events[256];
    Incoming in;
    // With a burst, messages sent before its last login is answered count, also when they
    // arrive after it (a blocked server delivers them all at the end).
    int64_t sentBefore = INT64_MAX;
    while (NowNs() < endNs) {
        if (burst && sentBefore == INT64_MAX &&
            burst->answered + burst->refused == static_cast<int>(burst->clients.size())) {
            sentBefore = NowNs();
            burst->seconds = static_cast<double>(sentBefore - burst->startNs) / 1e9;
            endNs = std::min(endNs, sentBefore + 2'000'000'000);
        }
        int ready = epoll_wait(ep, events, 256, 1);
        for (int k = 0; k < ready; ++k) {
            size_t i = events[k].data.u64;
            if (i >= n) {
                LoadClient& c = *burst->clients[i - n];
                while (c.Receive(&in)) {
                    if (!in.isAck && in.command == OV_CCMD_USR_LOGIN) {
                        bool ok = in.body.size() >= 2 && ov::wire::LoadU16(in.body.data()) == 0;
                        ++(ok ? burst->answered : burst->refused);
                    }
                }
                continue;
            }
            Sim& s = sims[i];
            while (s.client->Receive(&in)) {
                if (in.isAck) {
                    if (s.sender && in.packetSeq == s.inflight) {
                        s.inflight = 0;
                        if (intervalNs == 0)
                            s.SendTimed();
                    }
                } else if (auto sent = ovbench::SentTime(in); sent && *sent < sentBefore) {
                    latencies.push_back(NowNs() - *sent);
                }
            }
        }
        int64_t now = NowNs();
        for (Sim& s : sims) {
            if (!s.sender)
                continue;
            if (s.inflight == 0 && now - s.sentNs >= intervalNs) {
                s.SendTimed();
            } else if (s.inflight != 0 && now - s.sentNs > 500'000'000) {
                s.sentNs = now;  // the kernel would retransmit too
                s.client->Resend();
            }
        }
    }
    close(ep);
    return latencies;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 5.0;
    int messaging = 50, logins = 200;
    double intervalMs = 10;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        if (a == "--messaging")
            messaging = std::atoi(argv[i + 1]);
        if (a == "--logins")
            logins = std::atoi(argv[i + 1]);
        if (a == "--interval-ms")
            intervalMs = std::atof(argv[i + 1]);
    }
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);

    char dir[] = "/tmp/login_burst_XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    std::string path = std::string(dir) + "/accounts.db";
    if (!MakeAccounts(path, messaging + logins))
        return 1;

    Figures echo = ovbench::EchoBaseline(std::max(1, messaging / 2), seconds);

    ov::server::ServerConfig config;
    config.listen = {0x7F000001, 0};
    config.databasePath = path;
    config.passwordCost = ov::server::PasswordCost::kInteractive;
    ov::server::Log log = ov::server::Log::Silent();
    ov::server::Server server(config, nullptr, &log);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "server: %s\n", error.c_str());
        return 1;
    }
    const uint32_t firstPin = ov::server::Store::kFirstPin;

    // The messaging clients log in one by one, before anything is measured.
    std::vector<Sim> sims(messaging);
    for (int i = 0; i < messaging; ++i) {
        Sim& s = sims[i];
        s.client = std::make_unique<LoadClient>(server.Port());
        if (!s.LogIn(firstPin + i)) {
            std::fprintf(stderr, "login %d failed\n", i);
            return 1;
        }
    }
    int half = messaging / 2;
    for (int i = 0; i < half; ++i) {
        sims[i].sender = true;
        sims[i].partner = sims[i + half].client->pin;
    }

    auto interval = static_cast<int64_t>(intervalMs * 1e6);
    int64_t start = NowNs();
    std::vector<int64_t> quietLat =
        Drive(sims, interval, nullptr, start + static_cast<int64_t>(seconds * 1e9));
    Figures quiet = ovbench::Summarise(quietLat, static_cast<double>(NowNs() - start) / 1e9, 0);

    // Each burst client from an address of its own, as clients of many homes would be.
    Burst burst;
    for (int i = 0; i < logins; ++i) {
        uint32_t ip = 0x7F010000u + static_cast<uint32_t>(i / 250) * 256 + 1 + i % 250;
        burst.clients.push_back(std::make_unique<LoadClient>(server.Port(), ip));
    }
    start = NowNs();
    burst.startNs = start;
    for (int i = 0; i < logins; ++i)
        burst.clients[i]->Send(OV_CCMD_USR_LOGIN, ovbench::LoginBody(firstPin + messaging + i));
    std::vector<int64_t> burstLat = Drive(sims, interval, &burst, start + 600'000'000'000LL);
    double burstSeconds = burst.seconds;
    Figures during = ovbench::Summarise(burstLat, burstSeconds, 0);

    server.Stop();
    server.Join();
    std::remove(path.c_str());
    rmdir(dir);

    std::printf(
        "login burst: %d messaging clients (a message per %.0f ms per sender), %d logins "
        "at once, %u cores\n",
        messaging, intervalMs, logins, std::thread::hardware_concurrency());
    std::printf("%-28s %10s %10s %12s\n", "", "p50 us", "p99 us", "per second");
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "udp echo (baseline)", echo.p50us, echo.p99us,
                echo.perSecond);
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "messages, no burst", quiet.p50us, quiet.p99us,
                quiet.perSecond);
    std::printf("%-28s %10.1f %10.1f %12.0f\n", "messages, during the burst", during.p50us,
                during.p99us, during.perSecond);
    std::printf(
        "p99 during / without the burst: %.2f; burst %.2f s, %d logins answered, %d "
        "refused\n",
        quiet.p99us > 0 ? during.p99us / quiet.p99us : 0.0, burstSeconds, burst.answered,
        burst.refused);
    return 0;
}
