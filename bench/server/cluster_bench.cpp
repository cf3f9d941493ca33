// Servers past one machine: messages per second and delivery latency (p50/p99) through
// orvane-server processes, read beside the baseline of one server on SQLite in the same run:
//   1. one process on SQLite (the baseline: the default deployment);
//   2. one process on PostgreSQL;
//   3. two processes on one PostgreSQL database, every sender at one and its partner at the
//      other (each message crosses through LISTEN/NOTIFY);
//   4. two processes, each pair of partners at the same one (half the pairs at each).
// The PostgreSQL cluster is made for the run (scripts/pg_cluster.sh) unless --pg names one.
//
//   cluster_bench [--seconds S] [--clients N] [--pg postgresql://...]
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/server/chat_client.h"
#include "common/protocol/vocabulary.h"
#include "server/postgres.h"

extern char** environ;

namespace {

using ovbench::ChatClient;
using ovbench::Figures;
using ovbench::LoadClient;

uint16_t FreePort() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

// One orvane-server process, stopped with SIGTERM at the end.
class ServerProcess {
public:
    ServerProcess(uint16_t port, const std::string& db) : port_(port) {
        std::vector<std::string> args{
            ORVANE_SERVER_PATH, "--listen", "127.0.0.1:" + std::to_string(port), "--db", db,
            "--password-cost",  "minimal"};
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t files;
        posix_spawn_file_actions_init(&files);
        posix_spawn_file_actions_addopen(&files, 2, "/dev/null", O_WRONLY, 0);
        if (posix_spawn(&pid_, argv[0], &files, nullptr, argv.data(), environ) != 0) {
            std::perror("orvane-server");
            std::exit(1);
        }
        posix_spawn_file_actions_destroy(&files);
        LoadClient probe(port);
        for (int i = 0; i < 100; ++i) {
            if (!probe.Call(OV_CCMD_HANDSHACK_SERVER, {}).empty())
                return;
        }
        std::fprintf(stderr, "orvane-server on port %u did not answer\n", port);
        std::exit(1);
    }
    ~ServerProcess() {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
    uint16_t Port() const { return port_; }

private:
    pid_t pid_ = -1;
    uint16_t port_;
};

// Clients in pairs: pair i's sender talks to server sendAt(i), its partner to partnerAt(i).
template <typename SendAt, typename PartnerAt>
Figures Pairs(int pairs, double seconds, SendAt sendAt, PartnerAt partnerAt, const char* tag) {
    std::vector<ChatClient> sims(static_cast<size_t>(pairs) * 2);
    for (int i = 0; i < pairs * 2; ++i) {
        uint16_t port = i < pairs ? sendAt(i) : partnerAt(i - pairs);
        sims[i].client = std::make_unique<LoadClient>(port);
        if (!ovbench::RegisterAndLogIn(sims[i], std::string(tag) + std::to_string(i))) {
            std::fprintf(stderr, "%s: login %d failed\n", tag, i);
            std::exit(1);
        }
    }
    for (int i = 0; i < pairs; ++i) {
        sims[i].sender = true;
        sims[i].partner = sims[i + pairs].client->pin;
    }
    // The servers hear of each other's logins a moment later.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    return ovbench::Converse(sims, seconds);
}

bool Exec(const std::string& url, const std::string& sql) {
    std::string error;
    auto db = ov::server::PostgresDatabase::Open(url, &error);
    return db && db->Exec(sql.c_str());
}

// A fresh schema of the cluster, as a URL the servers can use.
std::string Schema(const std::string& base, const std::string& name) {
    Exec(base, "DROP SCHEMA IF EXISTS " + name + " CASCADE");
    if (!Exec(base, "CREATE SCHEMA " + name)) {
        std::fprintf(stderr, "cannot use %s\n", base.c_str());
        std::exit(1);
    }
    return base + (base.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" +
           name;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 3.0;
    int clients = 100;
    std::string pg;
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string a = argv[i];
        if (a == "--seconds")
            seconds = std::atof(argv[i + 1]);
        if (a == "--clients")
            clients = std::atoi(argv[i + 1]);
        if (a == "--pg")
            pg = argv[i + 1];
    }
    int pairs = std::max(1, clients / 2);
    char dirName[] = "/tmp/orvane-cluster-bench-XXXXXX";
    std::string dir = mkdtemp(dirName);
    // Where the cluster's owner (postgres, when run as root) can reach it: not in dir (0700).
    std::string cluster = "/tmp/orvane-cluster-bench-pg-" + std::to_string(getpid());
    bool ownCluster = pg.empty();
    if (ownCluster) {
        std::string start = std::string(ORVANE_PG_CLUSTER) + " start " + cluster;
        if (std::system(start.c_str()) != 0) {
            std::fprintf(stderr, "no PostgreSQL cluster (see scripts/pg_cluster.sh)\n");
            return 1;
        }
        std::ifstream(cluster + "/url") >> pg;
    }

    std::printf(
        "orvane-server on SQLite and on PostgreSQL: loopback, %u cores, %d clients "
        "(%d sending), %.1f s per figure\n",
        std::thread::hardware_concurrency(), pairs * 2, pairs, seconds);
    std::printf("%-44s | %12s %9s %9s | %8s %8s\n", "", "messages/s", "lat p50", "lat p99", "rate",
                "p99");
    std::printf("%-44s | %12s %9s %9s | %8s %8s\n", "", "", "us", "us", "/SQLite", "/SQLite");
    Figures base;
    auto row = [&](const char* name, const Figures& f) {
        std::printf("%-44s | %12.0f %9.1f %9.1f | %8.2f %8.2f\n", name, f.perSecond, f.p50us,
                    f.p99us, f.perSecond / base.perSecond, f.p99us / base.p99us);
        if (f.resent)
            std::printf("%-44s   (resent after loss: %llu)\n", "",
                        static_cast<unsigned long long>(f.resent));
        std::fflush(stdout);
    };
    std::fflush(stdout);
    {
        ServerProcess s(FreePort(), dir + "/bench.db");
        base = Pairs(
            pairs, seconds, [&](int) { return s.Port(); }, [&](int) { return s.Port(); }, "sqlite");
        row("1 process, SQLite (baseline)", base);
    }
    {
        ServerProcess s(FreePort(), Schema(pg, "bench_one"));
        row("1 process, PostgreSQL", Pairs(
                                         pairs, seconds, [&](int) { return s.Port(); },
                                         [&](int) { return s.Port(); }, "one"));
    }
    {
        std::string url = Schema(pg, "bench_cross");
        ServerProcess a(FreePort(), url), b(FreePort(), url);
        row("2 processes, PostgreSQL, partners apart",
            Pairs(
                pairs, seconds, [&](int) { return a.Port(); }, [&](int) { return b.Port(); },
                "cross"));
    }
    {
        std::string url = Schema(pg, "bench_near");
        ServerProcess a(FreePort(), url), b(FreePort(), url);
        auto at = [&](int i) { return i % 2 == 0 ? a.Port() : b.Port(); };
        row("2 processes, PostgreSQL, partners together", Pairs(pairs, seconds, at, at, "near"));
    }
    if (ownCluster) {
        std::string stop = std::string(ORVANE_PG_CLUSTER) + " stop " + cluster;
        if (std::system(stop.c_str()) != 0)
            std::fprintf(stderr, "the cluster in %s did not stop\n", cluster.c_str());
    }
    std::string clean = "rm -rf " + dir;
    return std::system(clean.c_str()) == 0 ? 0 : 1;
}
