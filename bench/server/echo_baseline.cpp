#include "bench/server/echo_baseline.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

using namespace std::chrono;

namespace ovbench {

int64_t NowNs() {
    return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count();
}

Figures Summarise(std::vector<int64_t>& latencies, double seconds, uint64_t resent) {
    Figures f;
    f.perSecond = static_cast<double>(latencies.size()) / seconds;
    f.resent = resent;
    if (!latencies.empty()) {
        std::sort(latencies.begin(), latencies.end());
        f.p50us = static_cast<double>(latencies[latencies.size() / 2]) / 1000.0;
        f.p99us = static_cast<double>(latencies[latencies.size() * 99 / 100]) / 1000.0;
    }
    return f;
}

Figures EchoBaseline(int senders, double seconds) {
    int server = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(server, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    getsockname(server, reinterpret_cast<sockaddr*>(&addr), &len);
    timeval tv{0, 100'000};
    setsockopt(server, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    std::atomic<bool> stop{false};
    std::thread echo([&] {
        char buf[2048];
        while (!stop) {
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            ssize_t n =
                recvfrom(server, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fl);
            if (n > 0)
                sendto(server, buf, static_cast<size_t>(n), 0, reinterpret_cast<sockaddr*>(&from),
                       fl);
        }
    });
    std::vector<int> fds;
    int ep = epoll_create1(0);
    for (int i = 0; i < senders; ++i) {
        int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
        epoll_event ev{EPOLLIN, {.u32 = static_cast<uint32_t>(i)}};
        epoll_ctl(ep, EPOLL_CTL_ADD, fd, &ev);
        fds.push_back(fd);
    }
    // Each sender keeps one 64-byte datagram (carrying its send time) in flight.
    std::vector<int64_t> sentAt(senders, 0);
    auto ping = [&](int i) {
        char msg[64] = {};
        sentAt[i] = NowNs();
        std::memcpy(msg, &sentAt[i], sizeof(int64_t));
        send(fds[i], msg, sizeof msg, 0);
    };
    std::vector<int64_t> rtts;
    uint64_t resent = 0;
    int64_t start = NowNs();
    int64_t end = start + static_cast<int64_t>(seconds * 1e9);
    for (int i = 0; i < senders; ++i)
        ping(i);
    epoll_event events[256];
    while (NowNs() < end) {
        int n = epoll_wait(ep, events, 256, 1);
        for (int k = 0; k < n; ++k) {
            int i = static_cast<int>(events[k].data.u32);
            char buf[64];
            while (recv(fds[i], buf, sizeof buf, 0) == 64) {
                int64_t t;
                std::memcpy(&t, buf, sizeof t);
                if (t == sentAt[i]) {
                    rtts.push_back(NowNs() - t);
                    ping(i);
                }
            }
        }
        int64_t now = NowNs();
        for (int i = 0; i < senders; ++i) {
            if (now - sentAt[i] > 200'000'000) {  // lost in a full buffer
                ++resent;
                ping(i);
            }
        }
    }
    double elapsed = static_cast<double>(NowNs() - start) / 1e9;
    stop = true;
    echo.join();
    for (int fd : fds)
        close(fd);
    close(ep);
    close(server);
    return Summarise(rtts, elapsed, resent);
}

}  // namespace ovbench
