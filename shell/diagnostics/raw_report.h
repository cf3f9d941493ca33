// An exception report as a signal handler leaves it: complete but for the names of the call
// stack's addresses, with a copy of the process's memory map at the end. Whoever comes after
// (the next start, a test's parent process) names the frames from that map and writes the
// finished report beside it.
//
//   for (const auto& done : FinishRawReports(reportDirectory)) ...   // x.raw -> x.txt
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "shell/diagnostics/report_text.h"

namespace ov::diagnostics {

inline constexpr std::string_view kMemoryMapHeading =
    "------------- Memory Map ----------------\r\n";

struct RawReport {
    std::string_view before;  // everything up to the call stack section
    std::vector<uintptr_t> frames;
    std::string_view memoryMap;  // as /proc/<pid>/maps had it
};

// Null when the text is not a raw report (no call stack or no memory map section).
std::optional<RawReport> ParseRawReport(std::string_view raw);
// The finished report: the frames named, the memory map left out. A text that is not a raw
// report comes back as it is.
std::string FinishRawReport(std::string_view raw);
// Finishes every "*.raw" file of the directory into a ".txt" of the same name (mode 0600) and
// removes the raw one. Returns the finished reports.
std::vector<std::filesystem::path> FinishRawReports(const std::filesystem::path& directory);

// The memory map section a handler appends (heading and copy).
void WriteMemoryMapSection(ReportText& out);

}  // namespace ov::diagnostics
