#include "server/tests/server_process.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace ovt {

Port::Port() {
    fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    number = ntohs(a.sin_port);
}

void Port::Free() {
    if (fd >= 0)
        close(fd);
    fd = -1;
}

Program::Program(const std::vector<std::string>& args, const std::string& dataHome) {
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

Program::~Program() {
    Kill();
    unlink(logPath_.c_str());
}

int Program::Wait() {
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

void Program::Signal(int sig) {
    kill(pid_, sig);
}

void Program::Kill() {
    if (pid_ > 0 && !exited_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        exited_ = true;
    }
}

std::string Program::Log() const {
    std::ifstream in(logPath_);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool Answers(TestClient& c) {
    for (int i = 0; i < 100; ++i) {
        uint16_t seq = c.Send(OV_CCMD_HANDSHACK_SERVER);
        // Briefly: a handshake sent before the program bound its port is lost.
        if (c.WaitReply(OV_CCMD_HANDSHACK_SERVER, seq, 200))
            return true;
    }
    return false;
}

std::optional<std::string> Finish(TestClient& c, uint16_t command, uint16_t seq) {
    uint32_t packet = c.LastPacketSeq();
    bool acked = false;
    for (int i = 0; i < 100 && !acked; ++i) {
        acked = c.WaitAck(packet, 100);
        if (!acked)
            c.Resend();
    }
    if (!acked)
        return std::nullopt;
    return c.WaitReply(command, seq, 1000);
}

int ExpectEachToldArrivedOnce(const std::vector<bool>& succeeded,
                              const std::map<std::string, int>& arrived) {
    int told = 0;
    for (size_t i = 0; i < succeeded.size(); ++i) {
        std::string text = "m" + std::to_string(i);
        auto it = arrived.find(text);
        int count = it == arrived.end() ? 0 : it->second;
        EXPECT_LE(count, 1) << text << " arrived twice";
        if (succeeded[i]) {
            ++told;
            EXPECT_EQ(count, 1) << text << " was reported sent but did not arrive";
        }
    }
    return told;
}

std::optional<std::string> Deliver(TestClient& c, uint16_t command, const std::string& body) {
    uint16_t seq = c.Send(command, body);
    return Finish(c, command, seq);
}

}  // namespace ovt
