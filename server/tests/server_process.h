// The orvane-server program run as a process of its own, for tests of the program itself:
// its options, its log, its end by a signal, and what a killed server leaves behind.
//
//   Port port;                   // a free UDP port (bound until Free)
//   port.Free();
//   Program server({"--listen", "127.0.0.1:" + std::to_string(port.number), "--db", path});
//   TestClient c(port.number);
//   ASSERT_TRUE(Answers(c)) << server.Log();
//   server.Kill();               // SIGKILL, and waits for it
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "server/tests/test_client.h"

namespace ovt {

// A UDP port bound by this test (so that it is busy) or freed again for the server.
struct Port {
    Port();
    ~Port() { Free(); }
    void Free();
    int fd;
    uint16_t number;
};

class Program {
public:
    explicit Program(const std::vector<std::string>& args, const std::string& dataHome = "");
    ~Program();
    // The exit status, waiting at most a bounded time (-1 if it is still running).
    int Wait();
    void Signal(int sig);
    // Ends it at once, as a crash would, and waits for it.
    void Kill();
    std::string Log() const;

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string logPath_;
};

// Handshakes until the program answers (it may still be starting), within a bounded time.
bool Answers(TestClient& c);

// Keeps sending the last command, the same bytes as a client's kernel does, until the server
// acknowledges it (bounded); then waits a little for its reply.
std::optional<std::string> Finish(TestClient& c, uint16_t command, uint16_t seq);
// Of the messages "m0", "m1", ...: none arrived twice, and each whose sender was told it
// succeeded arrived. Returns how many were told.
int ExpectEachToldArrivedOnce(const std::vector<bool>& succeeded,
                              const std::map<std::string, int>& arrived);
// Sends a command and finishes it.
std::optional<std::string> Deliver(TestClient& c, uint16_t command, const std::string& body);

}  // namespace ovt
