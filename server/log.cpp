#include "server/log.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace ov::server {

Log::Log()
    : sink_([](std::string_view line) {
          char stamp[32];
          std::time_t now = std::time(nullptr);
          std::tm tm{};
          localtime_r(&now, &tm);
          std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &tm);
          std::fprintf(stderr, "%s %.*s\n", stamp, static_cast<int>(line.size()), line.data());
      }) {}

namespace {

// Control bytes (below 0x20, and 0x7F) as \xNN, so that names and other texts from the
// network cannot start log lines of their own or send terminal sequences. Bytes from 0x80 up
// are code page 936 text and stay as they are.
std::string Escaped(std::string_view text) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

}  // namespace

void Log::Printf(const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (n < 0)
        return;
    sink_(Escaped(
        std::string_view(buffer, std::min<size_t>(static_cast<size_t>(n), sizeof buffer - 1))));
}

void Log::Dropped(int64_t nowMs, const std::string& from, std::string_view why) {
    if (windowStart_ == INT64_MIN || nowMs - windowStart_ >= kWindowMs) {
        if (suppressed_ > 0) {
            Printf("%llu further bad datagrams were dropped without a log line",
                   static_cast<unsigned long long>(suppressed_));
        }
        windowStart_ = nowMs;
        inWindow_ = 0;
        suppressed_ = 0;
    }
    if (inWindow_ < kBurst) {
        ++inWindow_;
        Printf("dropped datagram from %s: %.*s", from.c_str(), static_cast<int>(why.size()),
               why.data());
    } else {
        ++suppressed_;
    }
}

}  // namespace ov::server
