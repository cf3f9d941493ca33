#include "server/server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>

#include "server/postgres.h"
#include "server/postgres_cluster.h"

namespace ov::server {

namespace {

constexpr int kMaxPollMs = 1000;
constexpr int kReceiveBurst = 256;  // datagrams per wake-up before timers get their turn
constexpr int kSocketBuffer = 4 << 20;
constexpr int64_t kFinishWorkMs = 10'000;

// For a server listening on every address: a number for this host, from its name.
uint32_t HostId() {
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    uint32_t h = 2166136261u;  // FNV-1a
    for (const char* p = name; *p; ++p)
        h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return h;
}

std::string BindError(const Endpoint& ep, int err) {
    switch (err) {
        case EADDRINUSE:
            return "cannot listen on " + ep.ToString() +
                   ": the port is in use (is another server running?)";
        case EADDRNOTAVAIL:
            return "cannot listen on " + ep.ToString() + ": no such local address";
        case EACCES:
            return "cannot listen on " + ep.ToString() + ": permission denied";
        default:
            return "cannot listen on " + ep.ToString() + ": " + std::strerror(err);
    }
}

}  // namespace

Server::Server(ServerConfig config, const Clock* clock, Log* log)
    : config_(std::move(config)), clock_(clock ? clock : &systemClock_) {
    if (!log) {
        ownLog_ = std::make_unique<Log>();
        log = ownLog_.get();
    }
    log_ = log;
}

Server::~Server() {
    Stop();
    Join();
    core_.reset();
    if (fd_ >= 0)
        close(fd_);
    if (wakeFd_ >= 0)
        close(wakeFd_);
}

bool Server::Open(std::string* error) {
    if (core_)
        return true;
    store_ = Store::Open(config_.databasePath, error);
    if (!store_)
        return false;

    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = std::string("cannot create a UDP socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(config_.listen.ip);
    addr.sin_port = htons(config_.listen.port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        *error = BindError(config_.listen, errno);
        close(fd);
        return false;
    }
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    bound_.ip = ntohl(addr.sin_addr.s_addr);
    bound_.port = ntohs(addr.sin_port);
    // Large buffers absorb bursts (a group message fans out to hundreds of members). The
    // forcing variants pass the system's cap where the process may do so.
    int size = kSocketBuffer;
    if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
    }
    if (setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &size, sizeof size) != 0) {
        setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    }
    int on = 1;
    // With a wildcard address, the handshake names the address each client reached.
    if (bound_.ip == 0)
        setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    fd_ = fd;
    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);

    ServerConfig coreConfig = config_;
    coreConfig.listen = bound_;  // a requested port 0 is now a real one
    core_ = std::make_unique<ServerCore>(
        coreConfig, *store_, *clock_, *log_,
        [this](const Endpoint& to, std::string_view d) { Transmit(to, d); }, [this] { Wake(); });
    if (IsPostgresUrl(config_.databasePath)) {
        // Known to the others by its address, which stays the same across restarts, so that
        // a restarted server takes up its own sessions.
        uint64_t self = uint64_t{bound_.ip != 0 ? bound_.ip : HostId()} << 16 | bound_.port;
        cluster_ = PostgresCluster::Open(config_.databasePath, self, error);
        if (!cluster_)
            return false;
        core_->SetCluster(cluster_.get());
    }
    core_->Restore();
    log_->Printf("listening on %s, database %s", bound_.ToString().c_str(),
                 RedactedUrl(config_.databasePath).c_str());
    return true;
}

void Server::Transmit(const Endpoint& to, std::string_view datagram) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(to.ip);
    addr.sin_port = htons(to.port);
    ssize_t n = sendto(fd_, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr*>(&addr),
                       sizeof addr);
    // A full buffer loses the datagram like the network would; retransmission covers it.
    if (n < 0)
        ++sendFailures_;
}

void Server::ReceiveAll() {
    static thread_local char buffer[65536];
    for (int i = 0; i < kReceiveBurst; ++i) {
        sockaddr_in from{};
        iovec iov{buffer, sizeof buffer};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))];
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        ssize_t n = recvmsg(fd_, &msg, 0);
        if (n < 0)
            return;  // EAGAIN: drained (other errors: ICMP reports, nothing to do)
        uint32_t localIp = 0;
        for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
            if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO) {
                in_pktinfo info;
                std::memcpy(&info, CMSG_DATA(c), sizeof info);
                localIp = ntohl(info.ipi_addr.s_addr);
            }
        }
        Endpoint ep{ntohl(from.sin_addr.s_addr), ntohs(from.sin_port)};
        core_->OnDatagram(ep, std::string_view(buffer, static_cast<size_t>(n)), localIp);
    }
}

void Server::RunTasks() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        tasks.swap(tasks_);
    }
    for (auto& t : tasks)
        t();
}

void Server::Run() {
    if (!core_)
        return;
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        looping_ = true;
    }
    while (!stop_.load()) {
        int64_t now = clock_->NowMs();
        int64_t deadline = core_->NextDeadline();
        int timeout = kMaxPollMs;
        if (deadline != INT64_MAX) {
            timeout = static_cast<int>(std::clamp<int64_t>(deadline - now, 0, kMaxPollMs));
        }
        pollfd fds[3] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}, {-1, POLLIN, 0}};
        if (cluster_)
            fds[2].fd = cluster_->Fd();
        int ready = poll(fds, 3, timeout);
        if (ready > 0 && (fds[1].revents & POLLIN)) {
            uint64_t count;
            while (read(wakeFd_, &count, sizeof count) > 0) {
            }
        }
        RunTasks();
        core_->RunCompletions();
        if (ready > 0 && (fds[0].revents & POLLIN))
            ReceiveAll();
        // Every turn: events may also have been read while this server published its own.
        if (cluster_) {
            for (const ClusterEvent& e : cluster_->Receive())
                core_->OnClusterEvent(e);
        }
        core_->Tick();
    }
    // Registrations and password changes under way are written before the end.
    if (!core_->FinishPasswordWork(kFinishWorkMs))
        log_->Printf("stopped with password checks unfinished");
    log_->Printf("stopped: %zu sessions kept for the next start", core_->Stats().sessions);
    {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        looping_ = false;
    }
    RunTasks();  // calls queued before the loop ended; later ones run on their own thread
}

bool Server::Start(std::string* error) {
    if (!Open(error))
        return false;
    stop_ = false;
    {
        // From here on Call queues its work for the loop, even before the thread runs: run
        // directly, it would race with the loop's first datagrams.
        std::lock_guard<std::mutex> lock(tasksMutex_);
        looping_ = true;
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Server::Stop() {
    stop_ = true;
    Wake();
}

void Server::Join() {
    if (thread_.joinable())
        thread_.join();
}

void Server::Wake() {
    if (wakeFd_ < 0)
        return;
    uint64_t one = 1;
    ssize_t n = write(wakeFd_, &one, sizeof one);
    (void)n;
}

void Server::Call(const std::function<void(ServerCore&)>& fn) {
    if (!core_)
        return;
    std::promise<void> done;
    bool queued = false;
    if (std::this_thread::get_id() != thread_.get_id()) {
        std::lock_guard<std::mutex> lock(tasksMutex_);
        if (looping_) {
            tasks_.push_back([&] {
                fn(*core_);
                done.set_value();
            });
            queued = true;
        }
    }
    if (!queued) {
        fn(*core_);
        return;
    }
    Wake();
    done.get_future().wait();
}

CoreStats Server::Stats() {
    CoreStats s;
    Call([&](ServerCore& core) { s = core.Stats(); });
    return s;
}

}  // namespace ov::server
