#include "shell/diagnostics/raw_report.h"

#include <charconv>
#include <fstream>
#include <sstream>

#include "shell/diagnostics/call_stack.h"
#include "shell/diagnostics/loaded_modules.h"
#include "shell/diagnostics/symbolizer.h"

namespace ov::diagnostics {

namespace {

constexpr std::string_view kCallStackHeading = "------------- Call Stack ----------------\r\n";
constexpr std::string_view kAddress = "    address: ";

}  // namespace

std::optional<RawReport> ParseRawReport(std::string_view raw) {
    const std::size_t stack = raw.find(kCallStackHeading);
    if (stack == std::string_view::npos)
        return std::nullopt;
    const std::size_t map = raw.find(kMemoryMapHeading, stack);
    if (map == std::string_view::npos)
        return std::nullopt;
    RawReport report;
    report.before = raw.substr(0, stack);
    report.memoryMap = raw.substr(map + kMemoryMapHeading.size());
    std::string_view lines =
        raw.substr(stack + kCallStackHeading.size(), map - stack - kCallStackHeading.size());
    while (!lines.empty()) {
        const std::size_t end = lines.find("\r\n");
        const std::string_view line = lines.substr(0, end);
        lines = end == std::string_view::npos ? std::string_view() : lines.substr(end + 2);
        if (line.substr(0, kAddress.size()) != kAddress)
            continue;
        const std::string_view digits = line.substr(kAddress.size());
        uintptr_t address = 0;
        const auto [ptr, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), address, 16);
        if (ec == std::errc() && ptr == digits.data() + digits.size())
            report.frames.push_back(address);
    }
    return report;
}

std::string FinishRawReport(std::string_view raw) {
    const std::optional<RawReport> report = ParseRawReport(raw);
    if (!report)
        return std::string(raw);
    std::string text(report->before);
    std::vector<Frame> frames;
    if (const auto names = Symbolizer::ForMemoryMap(report->memoryMap)) {
        frames = names->Resolve(report->frames.data(), static_cast<int>(report->frames.size()));
    } else {
        for (uintptr_t address : report->frames)
            frames.push_back(Frame{address, {}, {}, 0, {}});
    }
    ReportText out(&text);
    WriteCallStack(out, frames);
    out.Flush();
    return text;
}

std::vector<std::filesystem::path> FinishRawReports(const std::filesystem::path& directory) {
    std::vector<std::filesystem::path> done;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ec)) {
        if (entry.path().extension() != ".raw")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream raw;
        raw << in.rdbuf();
        std::filesystem::path finished = entry.path();
        finished.replace_extension(".txt");
        if (WritePrivateFile(finished.string(), FinishRawReport(raw.str()))) {
            std::filesystem::remove(entry.path(), ec);
            done.push_back(finished);
        }
    }
    return done;
}

void WriteMemoryMapSection(ReportText& out) {
    out.Put(kMemoryMapHeading);
    CopyMemoryMap(out);
}

}  // namespace ov::diagnostics
