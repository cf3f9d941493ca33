#include "shell/diagnostics/diagnostics_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

#include "shell/diagnostics/report_text.h"

namespace ov::diagnostics {

DiagnosticsLog::DiagnosticsLog(std::filesystem::path file, Encode encode)
    : file_(std::move(file)), encode_(std::move(encode)) {}

void DiagnosticsLog::Write(std::string_view text) {
    char stamp[64];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "[%Y-%m-%d %H:%M:%S]\r\n", &local);
    std::string entry = stamp;
    entry += encode_ ? encode_(text) : std::string(text);
    if (entry.size() < 2 || entry.compare(entry.size() - 2, 2, "\r\n") != 0)
        entry += "\r\n";

    std::lock_guard lock(mutex_);
    RotateLocked(entry.size());
    const int fd = ::open(file_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return;  // a log that cannot be written must not stop what it reports on
    {
        ReportText out(fd);
        out.Put(entry);
    }
    ::close(fd);
}

void DiagnosticsLog::RotateLocked(std::uintmax_t adding) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(file_, ec);
    if (ec || size == 0 || size + adding <= kRotateAt)
        return;
    auto numbered = [this](int n) {
        std::filesystem::path p = file_;
        p += "." + std::to_string(n);
        return p;
    };
    std::filesystem::remove(numbered(kKeptFiles - 1), ec);
    for (int n = kKeptFiles - 2; n >= 1; --n)
        std::filesystem::rename(numbered(n), numbered(n + 1), ec);
    std::filesystem::rename(file_, numbered(1), ec);
}

}  // namespace ov::diagnostics
