// A child program run by a test: its input and output through pipes, every wait bounded.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace ov::diagnostics::testing {

class ChildProcess {
public:
    explicit ChildProcess(std::vector<std::string> args) {
        int in[2];
        int out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        input_ = in[1];
        output_ = out[0];
    }
    ~ChildProcess() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            Wait(std::chrono::seconds(10));
        }
        CloseInput();
        if (output_ >= 0)
            close(output_);
    }
    bool Started() const { return pid_ > 0; }

    // The next line of its output without the line end; empty at its end or after the wait.
    std::string ReadLine(std::chrono::milliseconds wait = std::chrono::seconds(20)) {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            const auto end = buffered_.find('\n');
            if (end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 1);
                return line;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{output_, POLLIN, 0};
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return {};
            char chunk[256];
            const ssize_t n = read(output_, chunk, sizeof chunk);
            if (n <= 0)
                return {};
            buffered_.append(chunk, static_cast<std::size_t>(n));
        }
    }
    void CloseInput() {
        if (input_ >= 0)
            close(input_);
        input_ = -1;
    }
    void Kill(int signo) { kill(pid_, signo); }
    // The wait status once it ended; -1 when it was still running after the wait.
    int Wait(std::chrono::milliseconds wait) {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            int status = 0;
            const pid_t r = waitpid(pid_, &status, WNOHANG);
            if (r == pid_) {
                exited_ = true;
                return status;
            }
            if (r < 0 || std::chrono::steady_clock::now() >= until)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

private:
    pid_t pid_ = -1;
    int input_ = -1;
    int output_ = -1;
    bool exited_ = false;
    std::string buffered_;
};

}  // namespace ov::diagnostics::testing
