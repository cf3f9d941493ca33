// A server on a free loopback port, run on its own thread with a manual clock (protocol time
// passes only through Advance), and helpers to make users and ask it things.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "server/server.h"
#include "server/tests/decode.h"
#include "server/tests/test_client.h"
#include "server/tests/test_database.h"

namespace ovt {

// Log lines kept for inspection; written by the server's thread.
class RecordingLog {
public:
    ov::server::Log log{[this](std::string_view line) {
        std::lock_guard<std::mutex> lock(mutex_);
        lines_.emplace_back(line);
    }};
    bool Contains(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& l : lines_) {
            if (l.find(part) != std::string::npos)
                return true;
        }
        return false;
    }
    int Count(const std::string& part) {
        std::lock_guard<std::mutex> lock(mutex_);
        int n = 0;
        for (const auto& l : lines_)
            n += l.find(part) != std::string::npos;
        return n;
    }

private:
    std::mutex mutex_;
    std::vector<std::string> lines_;
};

struct Account {
    uint32_t pin = 0;
    std::string name;
    std::string password;
};

class ServerFixture : public ::testing::Test {
protected:
    ServerFixture();
    void SetUp() override;
    void TearDown() override;

    TestClient& NewClient();
    // Registers (with a login name unless name is empty) and returns the account.
    Account Register(const std::string& name, uint32_t mode = 0, const std::string& nick = "");
    // Logs the client in; it then carries the PIN and login ID, and has sent a keep-alive
    // with them, which starts the session.
    void Login(TestClient& c, const Account& a, uint32_t status = OV_ONLINE_STATUS_ONLINE);
    // A new client logged in as a new user.
    TestClient& Online(const std::string& name, uint32_t mode = 0, Account* account = nullptr);
    // Sends a command and returns its reply body (a failure and "" when none comes).
    std::string Ask(TestClient& c, uint16_t command, const std::string& body = {});
    void Advance(int64_t ms);

    TestDatabase database;  // first made, last gone: it outlives the server
    ov::server::ManualClock clock;
    RecordingLog log;
    ov::server::ServerConfig config;
    std::unique_ptr<ov::server::Server> server;
    std::vector<std::unique_ptr<TestClient>> clients;
};

}  // namespace ovt
