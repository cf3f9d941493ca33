// End to end: two client kernels (OVKernel.so through orvane-console) talk to each other
// through the server on loopback - registration, login, status, buddies with and without
// authorisation, black list, messages (also one kept for an offline user), a group chat, a
// point-to-point request and a password change.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>

#include "common/protocol/vocabulary.h"
#include "server/server.h"
#include "sock/tests/danted_process.h"

namespace {

namespace fs = std::filesystem;

std::string Hex(const void* data, size_t size) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    const auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        out += digits[p[i] >> 4];
        out += digits[p[i] & 15];
    }
    return out;
}

std::string UserRecord(uint32_t mask, const char* name, const char* password, uint32_t mode) {
    OV_USER_INFO u;
    std::memset(&u, 0, sizeof u);
    u.nMask = mask;
    std::strncpy(u.sUserName, name, sizeof u.sUserName - 1);
    std::strncpy(u.sPassword, password, sizeof u.sPassword - 1);
    u.nMode = mode;
    u.nIcon = 3;
    return "hex:" + Hex(&u, sizeof u);
}

// One orvane-console process, driven through pipes.
class Console {
public:
    Console(uint16_t port, const std::string& registry) {
        int in[2], out[2];
        if (pipe(in) != 0 || pipe(out) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(in[0], 0);
            dup2(out[1], 1);
            int null = open("/dev/null", O_WRONLY);
            dup2(null, 2);
            setenv("ORVANE_REGISTRY", registry.c_str(), 1);
            // Port 0: no handshake at start, the test makes it itself.
            std::string server = "127.0.0.1:" + std::to_string(port);
            if (port != 0)
                execl(ORVANE_CONSOLE_PATH, ORVANE_CONSOLE_PATH, "--server", server.c_str(),
                      "--decode", static_cast<char*>(nullptr));
            else
                execl(ORVANE_CONSOLE_PATH, ORVANE_CONSOLE_PATH, "--decode",
                      static_cast<char*>(nullptr));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        stdin_ = in[1];
        stdout_ = out[0];
        fcntl(stdout_, F_SETFL, O_NONBLOCK);
    }
    ~Console() {
        if (stdin_ >= 0) {
            Write("quit");
            close(stdin_);
        }
        for (int i = 0; i < 300 && pid_ > 0; ++i) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            usleep(10'000);
        }
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (stdout_ >= 0)
            close(stdout_);
    }

    void Write(const std::string& line) {
        std::string l = line + "\n";
        ssize_t n = write(stdin_, l.data(), l.size());
        (void)n;
    }
    // Sends a call and returns its "= value" (the command's sequence number).
    std::string Call(const std::string& line) {
        Write(line);
        std::string result = Expect("^(= |error )");
        return result.rfind("= ", 0) == 0 ? result.substr(2) : result;
    }
    // The first line not yet taken that matches; "" after a bounded wait.
    std::string Expect(const std::string& pattern) {
        std::regex re(pattern);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        for (;;) {
            for (size_t i = 0; i < lines_.size(); ++i) {
                if (!taken_[i] && std::regex_search(lines_[i], re)) {
                    taken_[i] = true;
                    last_ = i;
                    return lines_[i];
                }
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no line matching " << pattern << "\n" << Transcript();
                return {};
            }
            ReadSome(50);
        }
    }
    // The decoded lines that followed the line Expect returned last.
    std::string Details() {
        std::string out;
        for (size_t i = last_ + 1; i < lines_.size() && lines_[i].rfind("  ", 0) == 0; ++i) {
            out += lines_[i] + "\n";
        }
        return out;
    }
    // Whether a line matching has arrived (without waiting).
    bool Seen(const std::string& pattern) {
        ReadSome(0);
        std::regex re(pattern);
        for (size_t i = 0; i < lines_.size(); ++i) {
            if (!taken_[i] && std::regex_search(lines_[i], re))
                return true;
        }
        return false;
    }
    std::string Transcript() const {
        std::string all;
        for (const auto& l : lines_)
            all += l + "\n";
        return all;
    }

private:
    void ReadSome(int timeoutMs) {
        pollfd p{stdout_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0)
            return;
        char buf[4096];
        ssize_t n;
        while ((n = read(stdout_, buf, sizeof buf)) > 0) {
            partial_.append(buf, static_cast<size_t>(n));
            size_t nl;
            while ((nl = partial_.find('\n')) != std::string::npos) {
                lines_.push_back(partial_.substr(0, nl));
                taken_.push_back(false);
                partial_.erase(0, nl + 1);
            }
        }
    }

    pid_t pid_ = -1;
    int stdin_ = -1, stdout_ = -1;
    std::string partial_;
    std::vector<std::string> lines_;
    std::vector<bool> taken_;
    size_t last_ = 0;
};

class EndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::exists(ORVANE_CONSOLE_PATH))
            GTEST_SKIP() << "orvane-console is not built";
        char name[] = "/tmp/ovserver-e2e-XXXXXX";
        dir_ = mkdtemp(name);
        config_.listen = {0x7F000001, 0};
        config_.passwordCost = ov::server::PasswordCost::kMinimal;
        server_ = std::make_unique<ov::server::Server>(config_, nullptr, &log_);
        std::string error;
        ASSERT_TRUE(server_->Start(&error)) << error;
    }
    void TearDown() override {
        if (server_) {
            server_->Stop();
            server_->Join();
        }
        if (!dir_.empty())
            fs::remove_all(dir_);
    }
    std::unique_ptr<Console> Open() {
        auto c = std::make_unique<Console>(server_->Port(), dir_ + "/registry");
        std::string seq = c->Expect("^= ").substr(2);  // the handshake made at start
        c->Expect("^event OnHandshakeServerReply " + seq + " 0 1 ");
        return c;
    }
    // A console whose kernel reaches the server through a SOCKS5 proxy on 127.0.0.1.
    std::unique_ptr<Console> OpenThroughProxy(int proxyPort, int authMethod,
                                              const std::string& user,
                                              const std::string& password) {
        auto c = std::make_unique<Console>(0, dir_ + "/registry");
        c->Write("SetProxy 2 \"127.0.0.1\" " + std::to_string(proxyPort) + " " +
                 std::to_string(authMethod) + " \"" + user + "\" \"" + password + "\"");
        c->Expect("^=$");
        std::string seq =
            c->Call("HandshakeServer \"127.0.0.1\" " + std::to_string(server_->Port()));
        c->Expect("^event OnHandshakeServerReply " + seq + " 0 1 ");
        return c;
    }
    // Two kernels register, log in and exchange a message both ways.
    void RegisterLoginAndTalk(Console& a, Console& b) {
        std::string seq = a.Call("RegisterUser " + UserRecord(0x2006, "alice", "pw-a", 0));
        a.Expect("^event OnRegisterUserReply " + seq + " 0 10001 ");
        seq = b.Call("RegisterUser " + UserRecord(0x2006, "bob", "pw-b", 0));
        b.Expect("^event OnRegisterUserReply " + seq + " 0 10002 ");
        Login(a, "0 \"alice\" \"pw-a\" 65535 0", "10001");
        Login(b, "0 \"bob\" \"pw-b\" 65535 0", "10002");
        seq = a.Call("SendToUser 10002 1 19760112 0 \"through the proxy\"");
        a.Expect("^event OnSendToUserReply " + seq + " 0$");
        b.Expect("^event OnUserMessageReceived 10001 10002 19760112 0 ");
        EXPECT_NE(b.Details().find("text \"through the proxy\""), std::string::npos);
        seq = b.Call("SendToUser 10001 1 19730420 0 \"and back\"");
        b.Expect("^event OnSendToUserReply " + seq + " 0$");
        a.Expect("^event OnUserMessageReceived 10002 10001 19730420 0 ");
    }
    // Logs in and returns once the reply says so and the client has asked for its buddy
    // tree, as the program does at once: the server counts a session from its client's first
    // word under the new login.
    void Login(Console& c, const std::string& args, const std::string& pin) {
        std::string seq = c.Call("Login " + args);
        c.Expect("^event OnLoginReply " + seq + " 0 \\d+ " + pin + " ");
        seq = c.Call("RequestBuddyTree");
        c.Expect("^event OnRequestBuddyTreeReply " + seq + " 0 ");
    }

    ov::server::ServerConfig config_;
    ov::server::Log log_ = ov::server::Log::Silent();
    std::unique_ptr<ov::server::Server> server_;
    std::string dir_;
};

TEST_F(EndToEnd, TwoKernelsThroughTheServer) {
    auto a = Open();
    auto b = Open();

    // Registration: one login name given, one assigned.
    std::string seq = a->Call("RegisterUser " + UserRecord(0x2006, "alice", "pw-a", 0));
    a->Expect("^event OnRegisterUserReply " + seq + " 0 10001 ");
    EXPECT_NE(a->Details().find("text \"alice\""), std::string::npos);
    seq = b->Call("RegisterUser " + UserRecord(0x2004, "", "pw-b", 0));
    b->Expect("^event OnRegisterUserReply " + seq + " 0 10002 ");
    EXPECT_NE(b->Details().find("text \"10002\""), std::string::npos);

    Login(*a, "0 \"alice\" \"pw-a\" 65535 0", "10001");
    Login(*b, "10002 \"\" \"pw-b\" 65535 0", "10002");

    // Alice adds Bob, who asks no authorisation: he gets the notice; she sees his status.
    seq = a->Call("AddUserToBuddyTree 10002 \"\" \"Bob\" 0 1");
    a->Expect("^event OnAddUserToBuddyTreeReply " + seq + " 0 10002$");
    b->Expect("^event OnAddBuddyNotice ");
    EXPECT_NE(b->Details().find("nPin=10001 sUserName=\"alice\""), std::string::npos);
    b->Call("ChangeOnlineStatus 2");
    a->Expect("^event OnBuddyStatusChanged 10002 2$");

    // Alice now wants authorisation: Bob must ask with a message; she refuses, then accepts.
    seq = a->Call("UpdateSelfUserInfo " + UserRecord(0x2000, "", "", OV_UMODE_BUDDY_AUTH));
    a->Expect("^event OnUpdateSelfUserInfoReply " + seq + " 0$");
    seq = b->Call("AddUserToBuddyTree 10001 \"\" \"Alice\" 0 1");
    b->Expect("^event OnAddUserToBuddyTreeReply " + seq + " 32 ");
    seq = b->Call("AddUserToBuddyTree 10001 \"please\" \"Alice\" 0 1");
    b->Expect("^event OnAddUserToBuddyTreeReply " + seq + " 6 ");
    a->Expect("^event OnAddBuddyRequest ");
    EXPECT_NE(a->Details().find("text \"please\""), std::string::npos);
    a->Call("ReplyAddBuddyRequest 10002 0");
    b->Expect("^event OnAddBuddyAccept 0 ");
    seq = b->Call("AddUserToBuddyTree 10001 \"please, really\" \"Alice\" 0 1");
    b->Expect("^event OnAddUserToBuddyTreeReply " + seq + " 6 ");
    a->Expect("^event OnAddBuddyRequest ");
    a->Call("ReplyAddBuddyRequest 10002 1");
    b->Expect("^event OnAddBuddyAccept 1 ");
    seq = b->Call("RequestBuddyTree");
    b->Expect("^event OnRequestBuddyTreeReply " + seq + " 0 1 ");
    EXPECT_NE(b->Details().find("nBuddyNodeID=10001 sDisplayName=\"Alice\""), std::string::npos);

    // Messages both ways.
    seq = a->Call("SendToUser 10002 1 19760112 0 \"hello bob\"");
    a->Expect("^event OnSendToUserReply " + seq + " 0$");
    b->Expect("^event OnUserMessageReceived 10001 10002 19760112 0 ");
    EXPECT_NE(b->Details().find("text \"hello bob\""), std::string::npos);
    seq = b->Call("SendToUser 10001 0 19730420 0 \"hi alice\"");
    b->Expect("^event OnSendToUserReply " + seq + " 0$");
    a->Expect("^event OnUserMessageReceived 10002 10001 19730420 0 ");

    // Black-listed, Alice is refused.
    seq = b->Call("AddToBlackList 10001 \"alice\"");
    b->Expect("^event OnCommandSent " + seq + "$");
    seq = a->Call("SendToUser 10002 1 19760112 0 \"let me\"");
    a->Expect("^event OnSendToUserReply " + seq + " 24$");
    seq = b->Call("RemoveFromBlackList 10001");
    b->Expect("^event OnCommandSent " + seq + "$");

    // A site group and its chat.
    seq = a->Call("EnterGroup 1 0 \"example.com\" \"\"");
    std::string entered = a->Expect("^event OnEnterGroupReply " + seq + " 0 1 \\d+ 1 0$");
    std::string group = entered.substr(0, entered.rfind(" 1 0"));
    group = group.substr(group.rfind(' ') + 1);
    seq = b->Call("EnterGroup 1 0 \"example.com\" \"\"");
    b->Expect("^event OnEnterGroupReply " + seq + " 0 1 " + group + " 2 0$");
    a->Expect("^event OnUserEnterGroup 1 " + group + " ");
    seq = a->Call("SendToGroup 1 " + group + " 2 19760112 0 \"hi group\"");
    a->Expect("^event OnSendToGroupReply " + seq + " 0$");
    b->Expect("^event OnGroupMessageReceived 10001 1 " + group + " 19760112 0 ");
    EXPECT_NE(b->Details().find("text \"hi group\""), std::string::npos);

    // A point-to-point request reaches Bob with Alice's address and port.
    seq = a->Call("RequestPTPConnection 10002 19770101 0 16777343 5555 \"file.txt\"");
    a->Expect("^event OnRequestPTPConnectionReply " + seq + " 0$");
    b->Expect("^event OnPTPConnectionRequest 10001 .* 19770101 0 16777343 5555 ");

    // Bob goes offline; a saved message waits for his next login and comes once.
    b->Call("Logout");
    a->Expect("^event OnBuddyStatusChanged 10002 0$");
    a->Expect("^event OnUserLeaveGroup 1 " + group + " 10002$");
    seq = a->Call("SendToUser 10002 1 19760112 0 \"while you were away\"");
    a->Expect("^event OnSendToUserReply " + seq + " 0$");
    Login(*b, "10002 \"\" \"pw-b\" 65535 0", "10002");
    b->Expect("^event OnUserMessageReceived 10001 10002 19760112 0 ");
    EXPECT_NE(b->Details().find("text \"while you were away\""), std::string::npos);
    b->Call("Logout");
    Login(*b, "10002 \"\" \"pw-b\" 65535 0", "10002");
    seq = b->Call("RequestOnlineUserStat");
    b->Expect("^event OnRequestOnlineUserStatReply " + seq + " 0 2 2$");
    EXPECT_FALSE(b->Seen("^event OnUserMessageReceived 10001 10002 19760112 0 "))
        << b->Transcript();

    // Password change by name; the old one no longer works.
    seq = a->Call("ChangePassword 0 \"alice\" \"pw-a\" \"new-a\"");
    a->Expect("^event OnChangePasswordReply " + seq + " 0$");
    seq = a->Call("Login 0 \"alice\" \"pw-a\" 65535 0");
    a->Expect("^event OnLoginReply " + seq + " 5 ");
    Login(*a, "0 \"alice\" \"new-a\" 65535 0", "10001");
}

// Both kernels through danted, an independent SOCKS5 proxy: their UDP goes through its relay.
TEST_F(EndToEnd, TwoKernelsThroughASocks5ProxyWithoutAuthentication) {
    if (ov::testing::DantedProcess::Program().empty())
        GTEST_SKIP() << "danted (dante-server) is not installed";
    ov::testing::DantedProcess proxy(false);
    ASSERT_TRUE(proxy.Started()) << proxy.Log();
    auto a = OpenThroughProxy(proxy.Port(), 0, "", "");
    auto b = OpenThroughProxy(proxy.Port(), 0, "", "");
    RegisterLoginAndTalk(*a, *b);
}

TEST_F(EndToEnd, TwoKernelsThroughASocks5ProxyWithUserNameAndPassword) {
    if (ov::testing::DantedProcess::Program().empty())
        GTEST_SKIP() << "danted (dante-server) is not installed";
    if (geteuid() != 0)
        GTEST_SKIP() << "making the proxy's system account needs root";
    const std::string user = "ovproxy" + std::to_string(getpid() % 100000);
    ov::testing::TemporaryAccount account(user, "s3cret-pw");
    ASSERT_TRUE(account.Made());
    ov::testing::DantedProcess proxy(true);
    ASSERT_TRUE(proxy.Started()) << proxy.Log();

    auto a = OpenThroughProxy(proxy.Port(), 2, user, "s3cret-pw");
    auto b = OpenThroughProxy(proxy.Port(), 2, user, "s3cret-pw");
    RegisterLoginAndTalk(*a, *b);
}

}  // namespace
