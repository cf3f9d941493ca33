// The diagnostics log: orvane.log in the data home, what went wrong without stopping the
// program (component errors, the reports written). Each entry gets a time line; the file is
// rotated at 1 MiB to orvane.log.1 and orvane.log.2, so three files at most. Files are 0600.
// Safe to call from any thread.
//
//   DiagnosticsLog log(dataHome / "orvane.log", Utf8ToCp936);
//   log.Write("捕获到COM组件异常错误:\r\n...");
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace ov::diagnostics {

class DiagnosticsLog {
public:
    using Encode = std::function<std::string(std::string_view utf8)>;
    static constexpr std::uintmax_t kRotateAt = 1024 * 1024;
    static constexpr int kKeptFiles = 3;

    // encode turns the UTF-8 text into the file's bytes; as it is when null.
    explicit DiagnosticsLog(std::filesystem::path file, Encode encode = {});

    void Write(std::string_view text);
    const std::filesystem::path& File() const { return file_; }

private:
    void RotateLocked(std::uintmax_t adding);

    const std::filesystem::path file_;
    const Encode encode_;
    std::mutex mutex_;  // guards the files: one entry and one rotation at a time
};

}  // namespace ov::diagnostics
