#include "shell/diagnostics/system_report.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "shell/diagnostics/loaded_modules.h"
#include "shell/diagnostics/report_text.h"
#include "shell/diagnostics/task_list.h"

namespace ov::diagnostics {

namespace {

std::string Trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\"'");
    const auto last = text.find_last_not_of(" \t\"'\r\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

// The "key=value" or "key : value" lines of a file; the first value of each key counts.
std::map<std::string, std::string> KeyValues(const char* path, char separator) {
    std::map<std::string, std::string> values;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto at = line.find(separator);
        if (at == std::string::npos)
            continue;
        values.try_emplace(Trimmed(line.substr(0, at)), Trimmed(line.substr(at + 1)));
    }
    return values;
}

std::string MegaBytes(unsigned long long bytes) {
    return std::to_string(bytes / (1024 * 1024)) + " MB";
}

// The printer CUPS names as the default, asked through the library when it is installed (it
// is loaded here, so a machine without it needs nothing).
std::string CupsDefaultPrinter() {
    // Loaded once and kept: the library keeps state per thread that would be lost with it.
    static void* const cups = ::dlopen("libcups.so.2", RTLD_NOW | RTLD_LOCAL);
    if (cups == nullptr)
        return {};
    std::string name;
    using GetDefault = const char* (*)();
    if (auto get = reinterpret_cast<GetDefault>(::dlsym(cups, "cupsGetDefault"))) {
        if (const char* n = get())
            name = n;
    }
    return name;
}

// The options lpoptions keeps for a printer ("media", "orientation-requested").
std::map<std::string, std::string> PrinterOptions(const std::string& printer) {
    std::map<std::string, std::string> options;
    std::vector<std::string> files = {"/etc/cups/lpoptions"};
    if (const char* home = std::getenv("HOME"))
        files.push_back(std::string(home) + "/.cups/lpoptions");
    for (const std::string& file : files) {  // the user's own come last and win
        std::ifstream in(file);
        std::string word;
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string kind;
            std::string name;
            words >> kind >> name;
            if ((kind != "Default" && kind != "Dest") || name != printer)
                continue;
            while (words >> word) {
                const auto eq = word.find('=');
                if (eq != std::string::npos)
                    options[word.substr(0, eq)] = word.substr(eq + 1);
            }
        }
    }
    return options;
}

}  // namespace

std::string DefaultPrinterText() {
    const std::string printer = CupsDefaultPrinter();
    if (printer.empty())
        return "\r\nno printer\r\n";
    const auto options = PrinterOptions(printer);
    const auto media = options.find("media");
    const std::string paper = media == options.end() ? "Unknown" : media->second;
    const auto orientation = options.find("orientation-requested");
    const std::string turned = orientation == options.end() ? "Unknown"
                               : orientation->second == "3" ? "Portrait"
                               : orientation->second == "4" ? "Landscape"
                                                            : "Unknown";
    // A PWG media name carries its size: "iso_a4_210x297mm", "na_letter_8.5x11in".
    double width = 0;
    double height = 0;
    char unit[3] = {};
    const auto sizeAt = paper.rfind('_');
    if (sizeAt != std::string::npos &&
        std::sscanf(paper.c_str() + sizeAt + 1, "%lfx%lf%2s", &width, &height, unit) == 3) {
        const bool inches = std::string(unit) == "in";
        const char* units = inches ? "1/1000Inch" : "1/100mm";
        const long w = static_cast<long>(width * (inches ? 1000 : 100));
        const long h = static_cast<long>(height * (inches ? 1000 : 100));
        char line[512];
        std::snprintf(line, sizeof line,
                      "\r\nDevice %s, Paper %s, Orientation %s, Paper Size : Horiz = %ld %s, Vert "
                      "= %ld %s,\r\n Margins : Top = %ld %s, Bottom = %ld %s, Left = %ld %s, "
                      "Right = %ld %s\r\n",
                      printer.c_str(), paper.c_str(), turned.c_str(), w, units, h, units, 0L, units,
                      0L, units, 0L, units, 0L, units);
        return line;
    }
    return "\r\nDevice " + printer + ", Paper " + paper + ", Orientation " + turned + "\r\n";
}

std::string OperatingSystemText() {
    auto release = KeyValues("/etc/os-release", '=');
    std::string text = release.count("PRETTY_NAME") ? release["PRETTY_NAME"] : "Linux";
    utsname names{};
    if (::uname(&names) == 0) {
        text += std::string(" version ") + names.release + " " + names.version + " (" +
                names.machine + ")";
    }
    return text + "\r\n";
}

std::string ProcessorText() {
    auto cpu = KeyValues("/proc/cpuinfo", ':');
    unsigned count = 0;
    {
        std::ifstream in("/proc/cpuinfo");
        std::string line;
        while (std::getline(in, line))
            count += line.rfind("processor", 0) == 0 ? 1 : 0;
    }
    auto field = [&](const char* key) {
        return cpu.count(key) ? cpu[key] : std::string("unknown");
    };
    std::string mhz = field("cpu MHz");
    if (const auto dot = mhz.find('.'); dot != std::string::npos)
        mhz.resize(dot);
    return "Processor : " + field("vendor_id") + ", " + field("model name") + ", " + mhz +
           " MHz, Family " + field("cpu family") + " Model " + field("model") + " Stepping " +
           field("stepping") + ", " + std::to_string(count) + " processors\r\n";
}

std::string DrivesText() {
    std::string text;
    std::ifstream mounts("/proc/self/mounts");
    std::string device, point, type, rest;
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        // Drives are the file systems on devices (and the overlay a container's root is).
        if (device.rfind("/dev/", 0) != 0 && type != "overlay")
            continue;
        if (point.rfind("/proc", 0) == 0 || point.rfind("/sys", 0) == 0)
            continue;
        struct statvfs fs {};
        if (::statvfs(point.c_str(), &fs) != 0)
            continue;
        const unsigned long long unit = fs.f_frsize;
        text += "(" + point + ") " + type + " " + device + " : " + MegaBytes(fs.f_bavail * unit) +
                " free of " + MegaBytes(fs.f_blocks * unit) + "\r\n";
    }
    return text;
}

std::string SystemReportText(const std::string& header) {
    std::string text = header;
    text += DefaultPrinterText();
    // The system's libraries stand where the C library was loaded from.
    std::string libraries = "/usr/lib";
    for (const LoadedModule& m : LoadedModules()) {
        if (m.path.find("/libc.so") != std::string::npos)
            libraries = m.path.substr(0, m.path.rfind('/'));
    }
    text += "系统目录: " + libraries + "\r\n";
    text += "Windows目录: /\r\n";
    text += OperatingSystemText();
    text += ProcessorText();
    text += DrivesText();
    {
        ReportText out(&text);
        out.Put("\r\nLoaded Modules : \r\n");
        WriteModuleList(out, LoadedModules());
        out.Put("\r\nRunning Tasks : \r\n");
        WriteTaskList(out);
    }
    const char* home = std::getenv("HOME");
    struct statvfs fs {};
    if (::statvfs(home != nullptr ? home : "/", &fs) == 0) {
        text += "\r\nFree Disk Space : " +
                MegaBytes(static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize) + "\r\n";
    }
    return text;
}

}  // namespace ov::diagnostics
