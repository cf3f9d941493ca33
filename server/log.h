// The server's log: one line per event of interest (sessions starting and ending, dropped
// datagrams, given-up deliveries). Lines go to a sink - stderr by default, a recorder in tests.
// Dropped datagrams are logged at a bounded rate so that a flood cannot flood the log too.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace ov::server {

class Log {
public:
    using Sink = std::function<void(std::string_view line)>;

    Log();  // time-stamped lines on stderr
    explicit Log(Sink sink) : sink_(std::move(sink)) {}
    static Log Silent() {
        return Log(Sink([](std::string_view) {}));
    }

    // One line; control characters in it (from names and other texts of clients) come out
    // as \xNN, so that a line is always one line.
    void Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A line about a bad datagram; at most kBurst of them per window, then one summary.
    void Dropped(int64_t nowMs, const std::string& from, std::string_view why);

    static constexpr int kBurst = 20;
    static constexpr int64_t kWindowMs = 10'000;

private:
    Sink sink_;
    int64_t windowStart_ = INT64_MIN;
    int inWindow_ = 0;
    uint64_t suppressed_ = 0;
};

}  // namespace ov::server
