// orvane-server as a library: the server logic (ServerCore) on a UDP socket, run by one
// thread with a poll loop. Tests and benchmarks start it on a thread of their own:
//
//   ServerConfig config;                    // 127.0.0.1:9999, ":memory:" database
//   config.listen.port = 0;                 // any free port
//   Server server(config);
//   std::string error;
//   if (!server.Start(&error)) FAIL() << error;
//   SendTo("127.0.0.1", server.Port(), ...);
//   server.Stop();
//   server.Join();
//
// The program (main.cpp) calls Open and Run on its main thread instead.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "server/clock.h"
#include "server/cluster.h"
#include "server/config.h"
#include "server/core.h"
#include "server/log.h"
#include "server/store.h"

namespace ov::server {

class Server {
public:
    // clock and log may be null (the system clock; time-stamped lines on stderr); when given
    // they must outlive the server.
    explicit Server(ServerConfig config, const Clock* clock = nullptr, Log* log = nullptr);
    ~Server();  // stops and joins
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the database and binds the socket. False, with a sentence in *error, when the
    // port is taken or the database cannot be opened for writing.
    bool Open(std::string* error);
    // The loop, on the calling thread, until Stop.
    void Run();
    // Open (unless done) and Run on a thread the server owns.
    bool Start(std::string* error);
    // Ends Run soon; callable from any thread.
    void Stop();
    void Join();
    // Lets the loop read the clock again at once (after a ManualClock has been advanced).
    void Wake();
    // Runs fn on the loop's thread with the core and waits for it; directly when the loop
    // is not running. For tests and measurements.
    void Call(const std::function<void(ServerCore&)>& fn);

    uint16_t Port() const { return bound_.port; }
    Endpoint Address() const { return bound_; }
    CoreStats Stats();
    uint64_t SendFailures() const { return sendFailures_.load(); }

private:
    void Transmit(const Endpoint& to, std::string_view datagram);
    void ReceiveAll();
    void RunTasks();

    ServerConfig config_;
    SystemClock systemClock_;
    const Clock* clock_;
    std::unique_ptr<Log> ownLog_;
    Log* log_;
    std::unique_ptr<Store> store_;
    std::unique_ptr<Cluster> cluster_;  // with servers sharing a PostgreSQL database
    std::unique_ptr<ServerCore> core_;
    int fd_ = -1;
    int wakeFd_ = -1;
    Endpoint bound_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> looping_{false};
    std::atomic<uint64_t> sendFailures_{0};
    std::mutex tasksMutex_;
    std::vector<std::function<void()>> tasks_;
};

}  // namespace ov::server
