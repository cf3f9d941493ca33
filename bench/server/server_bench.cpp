// Server benchmarks, printed beside a baseline measured in the same run:
//  1. Messages per second and delivery latency (p50/p99) from clients to clients through the
//     server, with 2, 100 and 1000 logged-in simulated clients (half of them send, each to
//     its partner, one command in flight as the client's kernel does); beside it the raw UDP
//     echo of this machine with as many senders (rate and round trip).
//  2. Server memory per logged-in session (resident memory grown by logging sessions in).
//
//   server_bench [--seconds S] [--clients 2,100,1000] [--sessions N]
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/chat_client.h"
#include "bench/server/echo_baseline.h"
#include "bench/server/load_client.h"
#include "common/protocol/vocabulary.h"
#include "common/protocol/wire.h"
#include "server/core.h"
#include "server/server.h"

using namespace std::chrono;
using ovbench::EchoBaseline;
using ovbench::Figures;
using ovbench::LoadClient;

namespace {

// ---- messages through the server ----

using Sim = ovbench::ChatClient;

Figures Messages(int clients, double seconds) {
    ov::server::ServerConfig config;
    config.listen = {0x7F000001, 0};
    config.passwordCost = ov::server::PasswordCost::kMinimal;
    ov::server::Log log = ov::server::Log::Silent();
    ov::server::Server server(config, nullptr, &log);
    std::string error;
    if (!server.Start(&error)) {
        std::fprintf(stderr, "server: %s\n", error.c_str());
        std::exit(1);
    }
    std::vector<Sim> sims(clients);
    for (int i = 0; i < clients; ++i) {
        sims[i].client = std::make_unique<LoadClient>(server.Port());
        if (!ovbench::RegisterAndLogIn(sims[i], "load" + std::to_string(i))) {
            std::fprintf(stderr, "login %d failed\n", i);
            std::exit(1);
        }
    }
    int half = clients / 2;
    for (int i = 0; i < half; ++i) {
        sims[i].sender = true;
        sims[i].partner = sims[i + half].client->pin;
    }
    Figures figures = ovbench::Converse(sims, seconds);
    server.Stop();
    server.Join();
    return figures;
}

// ---- memory per session ----

long RssKiB() {
    FILE* f = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void SessionMemory(int sessions) {
    ov::server::ServerConfig config;
    config.passwordCost = ov::server::PasswordCost::kMinimal;
    config.hashWorkers = 0;  // driven without a loop: passwords are checked inline
    ov::server::ManualClock clock;
    ov::server::Log log = ov::server::Log::Silent();
    std::string error;
    auto store = ov::server::Store::Open(":memory:", &error);
    struct Ack {
        ov::server::Endpoint to;
        uint32_t seq, pin, loginId;
    };
    std::vector<Ack> toAck;
    // Acknowledged as a client does: with the PIN and login ID of the login reply once read,
    // which starts the session.
    uint32_t pin = 0, loginId = 0;
    ov::server::ServerCore core(
        config, *store, clock, log, [&](const ov::server::Endpoint& to, std::string_view d) {
            if (d.size() <= 8)
                return;
            toAck.push_back({to, ov::wire::LoadU32(d.data() + 4), pin, loginId});
            if (ov::wire::LoadU16(d.data() + 2) == OV_CCMD_USR_LOGIN && d.size() >= 26) {
                pin = ov::wire::LoadU32(d.data() + 16);
                loginId = ov::wire::LoadU32(d.data() + 20);
            }
        });
    ov::server::SodiumHasher hasher(ov::server::PasswordCost::kMinimal);
    std::string hash = hasher.Hash("pw");
    for (int i = 0; i < sessions; ++i) {
        ov::server::UserRecord u;
        u.userName = "mem" + std::to_string(i);
        u.nickName = "nick" + std::to_string(i);
        store->CreateUser(&u, hash);
    }
    auto login = [&](int i) {
        ov::wire::Writer w;
        ov::wire::WriteRequestHeader(w, {1, OV_CCMD_USR_LOGIN, 1001, 0, 0, 1001});
        w.Raw(ovbench::LoginBody(static_cast<uint32_t>(ov::server::Store::kFirstPin + i)));
        ov::server::Endpoint from{0x7F000001u + static_cast<uint32_t>(i / 60000),
                                  static_cast<uint16_t>(1024 + i % 60000)};
        pin = loginId = 0;
        core.OnDatagram(from, w.Bytes());
        for (const Ack& a : toAck)
            core.OnDatagram(a.to, ov::wire::ClientAck(a.seq, a.pin, a.loginId));
        toAck.clear();
    };
    // Warm the allocator and the database's cache with a first batch, then measure.
    int warm = sessions / 10;
    for (int i = 0; i < warm; ++i)
        login(i);
    long before = RssKiB();
    for (int i = warm; i < sessions; ++i)
        login(i);
    long after = RssKiB();
    int measured = sessions - warm;
    std::printf(
        "memory per logged-in session: %.0f bytes (%d sessions, resident +%ld KiB; "
        "server total %zu sessions)\n",
        static_cast<double>(after - before) * 1024.0 / measured, measured, after - before,
        core.Stats().sessions);
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 2.0;
    std::vector<int> counts{2, 100, 1000};
    int sessions = 20000;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        if (a == "--sessions")
            sessions = std::atoi(argv[i + 1]);
        if (a == "--clients") {
            counts.clear();
            for (char* p = argv[i + 1]; *p;) {
                counts.push_back(static_cast<int>(std::strtol(p, &p, 10)));
                if (*p == ',')
                    ++p;
            }
        }
    }
    rlimit lim{};
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);

    std::printf("orvane-server benchmark: loopback, %u cores, %.1f s per figure\n",
                std::thread::hardware_concurrency(), seconds);
    std::printf("%8s %8s | %12s %9s %9s | %12s %9s %9s | %9s %9s\n", "clients", "senders", "echo/s",
                "rtt p50", "rtt p99", "messages/s", "lat p50", "lat p99", "rate", "p50");
    std::printf("%8s %8s | %12s %9s %9s | %12s %9s %9s | %9s %9s\n", "", "", "(baseline)", "us",
                "us", "(server)", "us", "us", "msg/echo", "lat/rtt");
    for (int n : counts) {
        int senders = std::max(1, n / 2);
        Figures echo = EchoBaseline(senders, seconds);
        Figures msg = Messages(n, seconds);
        std::printf("%8d %8d | %12.0f %9.1f %9.1f | %12.0f %9.1f %9.1f | %9.2f %9.2f\n", n, senders,
                    echo.perSecond, echo.p50us, echo.p99us, msg.perSecond, msg.p50us, msg.p99us,
                    msg.perSecond / echo.perSecond, msg.p50us / echo.p50us);
        if (echo.resent || msg.resent) {
            std::printf("%8s %8s   (resent after loss: echo %llu, messages %llu)\n", "", "",
                        static_cast<unsigned long long>(echo.resent),
                        static_cast<unsigned long long>(msg.resent));
        }
        std::fflush(stdout);
    }
    SessionMemory(sessions);
    return 0;
}
