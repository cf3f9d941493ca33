// Debian's dante-server (danted) as an independent SOCKS5 proxy for tests: started in the
// foreground as a child of the test with a generated configuration on a free loopback port,
// and stopped and reaped by the destructor. Header-only, so that any test binary can use it.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace ov::testing {

class DantedProcess {
public:
    // The danted program on the PATH (or in the sbin directories a user's PATH may lack);
    // empty when it is not installed.
    static std::string Program() {
        std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
        path += ":/usr/sbin:/usr/local/sbin:/sbin";
        size_t start = 0;
        while (start <= path.size()) {
            size_t end = path.find(':', start);
            if (end == std::string::npos)
                end = path.size();
            std::filesystem::path candidate =
                std::filesystem::path(path.substr(start, end - start)) / "danted";
            if (end > start && ::access(candidate.c_str(), X_OK) == 0)
                return candidate.string();
            start = end + 1;
        }
        return {};
    }

    // Starts a proxy on 127.0.0.1 that asks for no authentication or, with usernameMethod,
    // for the user name and password of a system account. Started() tells whether it runs.
    explicit DantedProcess(bool usernameMethod) {
        const std::string program = Program();
        if (program.empty())
            return;
        char name[] = "/tmp/ov-danted-XXXXXX";
        if (::mkdtemp(name) == nullptr)
            return;
        dir_ = name;
        port_ = FreePort();
        const std::string config = (dir_ / "danted.conf").string();
        {
            std::ofstream out(config);
            out << "logoutput: " << (dir_ / "danted.log").string() << "\n"
                << "internal: 127.0.0.1 port = " << port_ << "\n"
                << "external: 127.0.0.1\n"
                << "clientmethod: none\n"
                << "socksmethod: " << (usernameMethod ? "username" : "none") << "\n"
                << "user.privileged: root\n"
                << "user.unprivileged: nobody\n"
                << "client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }\n"
                << "socks pass { from: 127.0.0.0/8 to: 127.0.0.0/8\n"
                << "  command: connect udpassociate bindreply udpreply\n"
                << "  log: connect }\n";  // so that a test can see its connection went through
        }
        const std::string pidFile = (dir_ / "danted.pid").string();
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);  // its own group, so that its helper processes end with it
            ::execl(program.c_str(), program.c_str(), "-f", config.c_str(), "-p", pidFile.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Ready once it accepts connections; bounded, and given up when it ended.
        for (int i = 0; i < 250 && pid_ > 0; ++i) {
            if (::waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            if (Accepts()) {
                started_ = true;
                break;
            }
            ::usleep(20'000);
        }
    }

    ~DantedProcess() {
        if (pid_ > 0) {
            ::kill(-pid_, SIGTERM);
            bool reaped = false;
            for (int i = 0; i < 250 && !reaped; ++i) {
                reaped = ::waitpid(pid_, nullptr, WNOHANG) == pid_;
                if (!reaped)
                    ::usleep(20'000);
            }
            if (!reaped) {
                ::kill(-pid_, SIGKILL);
                ::waitpid(pid_, nullptr, 0);
            }
            // Its helpers follow it within moments; none is left behind.
            bool groupLeft = true;
            for (int i = 0; i < 250 && (groupLeft = ::kill(-pid_, 0) == 0); ++i)
                ::usleep(20'000);
            if (groupLeft)
                ::kill(-pid_, SIGKILL);
        }
        if (!dir_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(dir_, ignored);
        }
    }
    DantedProcess(const DantedProcess&) = delete;
    DantedProcess& operator=(const DantedProcess&) = delete;

    bool Started() const { return started_; }
    int Port() const { return port_; }
    // What danted logged, for failure messages.
    std::string Log() const {
        std::ifstream in(dir_ / "danted.log");
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    static int FreePort() {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        int port = 0;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
        ::close(fd);
        return port;
    }
    bool Accepts() const {
        int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port_));
        bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        ::close(fd);
        return ok;
    }

    std::filesystem::path dir_;
    int port_ = 0;
    pid_t pid_ = -1;
    bool started_ = false;
};

// A system account for the proxy's user-name method, removed again by the destructor. Only
// root can make one; Made() tells whether it exists.
class TemporaryAccount {
public:
    TemporaryAccount(std::string name, std::string password) : name_(std::move(name)) {
        if (::geteuid() != 0)
            return;
        std::string add = "useradd -M -s /usr/sbin/nologin " + name_ + " >/dev/null 2>&1";
        if (std::system(add.c_str()) != 0)
            return;
        made_ = true;
        FILE* chpasswd = ::popen("chpasswd >/dev/null 2>&1", "w");
        if (chpasswd == nullptr) {
            return;
        }
        std::fprintf(chpasswd, "%s:%s\n", name_.c_str(), password.c_str());
        passwordSet_ = ::pclose(chpasswd) == 0;
    }
    ~TemporaryAccount() {
        if (made_) {
            std::string del = "userdel " + name_ + " >/dev/null 2>&1";
            (void)std::system(del.c_str());
        }
    }
    TemporaryAccount(const TemporaryAccount&) = delete;
    TemporaryAccount& operator=(const TemporaryAccount&) = delete;

    bool Made() const { return made_ && passwordSet_; }

private:
    std::string name_;
    bool made_ = false;
    bool passwordSet_ = false;
};

}  // namespace ov::testing
