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
#include "server/tests/test_client.h"

namespace ovt {
namespace {

namespace fs = std::filesystem;

// A UDP port bound by this test (so that it is busy) or freed again for the server.
struct Port {
    Port() {
        fd = socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t len = sizeof a;
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
        number = ntohs(a.sin_port);
    }
    ~Port() { Free(); }
    void Free() {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    int fd;
    uint16_t number;
};

class Program {
public:
    Program(const std::vector<std::string>& args, const std::string& dataHome = "") {
        char name[] = "/tmp/ovserver-log-XXXXXX";
        int fd = mkstemp(name);
        logPath_ = name;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fd, 2);
            if (!dataHome.empty())
                setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(ORVANE_SERVER_PATH)};
            for (const auto& a : args)
                argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        close(fd);
    }
    ~Program() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        unlink(logPath_.c_str());
    }
    // The exit status, waiting at most a bounded time (-1 if it is still running).
    int Wait() {
        for (int i = 0; i < 500; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    void Signal(int sig) { kill(pid_, sig); }
    std::string Log() const {
        std::ifstream in(logPath_);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }

private:
    pid_t pid_ = -1;
    bool exited_ = false;
    std::string logPath_;
};

// Handshakes until the program answers (it may still be starting), within a bounded time.
bool Answers(TestClient& c) {
    for (int i = 0; i < 50; ++i) {
        uint16_t seq = c.Send(OV_CCMD_HANDSHACK_SERVER);
        c.Poll(100);
        if (c.WaitReply(OV_CCMD_HANDSHACK_SERVER, seq))
            return true;
    }
    return false;
}

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
