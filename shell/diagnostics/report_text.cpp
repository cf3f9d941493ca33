#include "shell/diagnostics/report_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ov::diagnostics {

ReportText& ReportText::Put(std::string_view text) {
    for (char c : text)
        Put(c);
    return *this;
}

ReportText& ReportText::Put(char c) {
    if (used_ == sizeof buffer_)
        Flush();
    buffer_[used_++] = c;
    return *this;
}

ReportText& ReportText::Hex(uint64_t value, int digits, bool upper) {
    const char* alphabet = upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char text[16];
    int n = 0;
    do {
        text[n++] = alphabet[value & 0xF];
        value >>= 4;
    } while (value != 0 && n < 16);
    for (int i = n; i < digits && i < 16; ++i)
        Put('0');
    while (n > 0)
        Put(text[--n]);
    return *this;
}

ReportText& ReportText::Dec(uint64_t value) {
    char text[20];
    int n = 0;
    do {
        text[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0)
        Put(text[--n]);
    return *this;
}

ReportText& ReportText::SignedDec(int64_t value) {
    if (value < 0) {
        Put('-');
        return Dec(0 - static_cast<uint64_t>(value));
    }
    return Dec(static_cast<uint64_t>(value));
}

void ReportText::Flush() {
    if (into_ != nullptr) {
        into_->append(buffer_, used_);
        used_ = 0;
        return;
    }
    std::size_t done = 0;
    while (done < used_) {
        const ssize_t n = ::write(fd_, buffer_ + done, used_ - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok_ = false;  // a full disk loses the rest of the report, not the program
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    used_ = 0;
}

bool WritePrivateFile(const std::string& path, std::string_view text) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool ok = false;
    {
        ReportText out(fd);
        out.Put(text);
        out.Flush();
        ok = out.Ok();
    }
    return ::close(fd) == 0 && ok;
}

}  // namespace ov::diagnostics
