// The orvane-server program: its errors for a busy port and a database it cannot use, the
// log lines of sessions, the default database, and a clean stop on SIGTERM.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "server/tests/decode.h"
#include "server/tests/server_process.h"
#include "server/tests/test_client.h"

namespace ovt {
namespace {

namespace fs = std::filesystem;
TEST(ServerProgram, RefusesABusyPortAndAnUnusableDatabase) {
    Port busy;
    Program taken({"--listen", "127.0.0.1:" + std::to_string(busy.number), "--db", ":memory:"});
    EXPECT_EQ(taken.Wait(), 1);
    EXPECT_NE(taken.Log().find("the port is in use"), std::string::npos) << taken.Log();

    Port free;
    free.Free();
    Program noDb({"--listen", "127.0.0.1:" + std::to_string(free.number), "--db",
                  "/nonexistent-dir/orvane.db"});
    EXPECT_EQ(noDb.Wait(), 1);
    EXPECT_NE(noDb.Log().find("cannot open database /nonexistent-dir/orvane.db"), std::string::npos)
        << noDb.Log();

    Program bad({"--listen", "nowhere"});
    EXPECT_EQ(bad.Wait(), 2);
}

TEST(ServerProgram, ServesLogsSessionsAndStopsOnSigterm) {
    char name[] = "/tmp/ovserver-home-XXXXXX";
    std::string home = mkdtemp(name);
    Port port;
    port.Free();
    {
        // No --db: the database goes to the data home.
        Program server(
            {"--listen", "127.0.0.1:" + std::to_string(port.number), "--password-cost", "minimal"},
            home);
        TestClient c(port.number);
        ASSERT_TRUE(Answers(c)) << server.Log();
        body::User u;
        u.mask = OV_UFLD_USERNAME | OV_UFLD_PASSWORD;
        u.userName = "alice";
        u.password = "pw";
        uint16_t seq = c.Send(OV_CCMD_USR_REGISTER, body::Register(u));
        auto reg = c.WaitReply(OV_CCMD_USR_REGISTER, seq);
        ASSERT_TRUE(reg);
        seq = c.Send(OV_CCMD_USR_LOGIN, body::Login(0, "alice", "pw"));
        auto login = decode::LoginReply(*c.WaitReply(OV_CCMD_USR_LOGIN, seq));
        ASSERT_EQ(login->error, OV_ERR_NONE);
        c.pin = login->pin;
        c.loginId = login->loginId;
        c.Send(OV_CCMD_USR_LOGOUT);
        ASSERT_TRUE(c.WaitAck(c.LastPacketSeq()));
        c.Sync();
        server.Signal(SIGTERM);
        EXPECT_EQ(server.Wait(), 0);
        std::string log = server.Log();
        EXPECT_NE(log.find("session start: PIN 10001 (alice)"), std::string::npos) << log;
        EXPECT_NE(log.find("session end: PIN 10001 (alice)"), std::string::npos) << log;
        EXPECT_NE(log.find("stopping"), std::string::npos) << log;
    }
    EXPECT_TRUE(fs::exists(home + "/orvane/orvane-server.db"));
    // Password hashes inside: for the owner's eyes only.
    auto mode = [](const std::string& path) {
        return fs::status(path).permissions() & fs::perms::all;
    };
    EXPECT_EQ(mode(home + "/orvane"), fs::perms::owner_all);
    EXPECT_EQ(mode(home + "/orvane/orvane-server.db"),
              fs::perms::owner_read | fs::perms::owner_write);
    fs::remove_all(home);
}

}  // namespace
}  // namespace ovt
