// Report text written to a file descriptor with nothing but write(2), so that a signal handler
// may use it: no allocation, no locale, no stdio. Text is gathered in a small buffer and goes
// out when it fills, on Flush and when the writer goes.
//
// Outside handlers it may gather into a string instead.
//
//   ReportText out(fd);
//   out.Put("Register RAX : 0x").Hex(value, 16).Put("\r\n");
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ov::diagnostics {

class ReportText {
public:
    explicit ReportText(int fd) : fd_(fd) {}
    explicit ReportText(std::string* into) : into_(into) {}
    ~ReportText() { Flush(); }
    ReportText(const ReportText&) = delete;
    ReportText& operator=(const ReportText&) = delete;

    ReportText& Put(std::string_view text);
    ReportText& Put(char c);
    // digits: at least that many, zero-filled; upper: A-F rather than a-f.
    ReportText& Hex(uint64_t value, int digits, bool upper = false);
    ReportText& Dec(uint64_t value);
    ReportText& SignedDec(int64_t value);
    void Flush();
    // False once a write failed (a full disk): the rest of the text was lost.
    bool Ok() const { return ok_; }

private:
    int fd_ = -1;
    std::string* into_ = nullptr;
    char buffer_[2048];
    std::size_t used_ = 0;
    bool ok_ = true;
};

// Writes text as the whole file at path, created 0600 (reports may hold what was in memory).
// Not for signal handlers (the path is a string).
bool WritePrivateFile(const std::string& path, std::string_view text);

}  // namespace ov::diagnostics
