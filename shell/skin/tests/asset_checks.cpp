#include "shell/skin/tests/asset_checks.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace ov::skin {

namespace {

uint32_t Le32(std::string_view b, size_t at) {
    return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 |
           uint32_t(uint8_t(b[at + 2])) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}

uint16_t Le16(std::string_view b, size_t at) {
    return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8);
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

// Whitespace-separated words, as the C library's "%s" reads them.
std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        const size_t start = i;
        while (i < text.size() && !std::isspace(static_cast<unsigned char>(text[i])))
            ++i;
        if (i > start)
            words.push_back(text.substr(start, i - start));
    }
    return words;
}

}  // namespace

bool ReadWav(std::string_view b, WavInfo* info, std::string* problem) {
    *info = WavInfo();
    if (b.size() < 12 || b.substr(0, 4) != "RIFF" || b.substr(8, 4) != "WAVE") {
        *problem = "not a RIFF WAVE file";
        return false;
    }
    std::string_view data;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= b.size()) {
        const std::string_view id = b.substr(at, 4);
        const uint32_t length = Le32(b, at + 4);
        if (length > b.size() - at - 8) {
            *problem = "chunk " + std::string(id) + " runs past the end of the file";
            return false;
        }
        const std::string_view body = b.substr(at + 8, length);
        if (id == "fmt ") {
            if (length < 16 || Le16(body, 0) != 1) {
                *problem = "not PCM";
                return false;
            }
            info->channels = Le16(body, 2);
            info->sampleRate = int(Le32(body, 4));
            info->bitsPerSample = Le16(body, 14);
            haveFormat = true;
        } else if (id == "data") {
            data = body;
        }
        at += 8 + length + (length & 1);
    }
    if (!haveFormat || data.data() == nullptr) {
        *problem = "no fmt or data chunk";
        return false;
    }
    if (info->bitsPerSample != 16 || info->channels < 1 || info->channels > 2 ||
        info->sampleRate < 8000 || info->sampleRate > 96000) {
        *problem = "not 16-bit mono or stereo at a usual rate";
        return false;
    }
    const size_t count = data.size() / 2;
    double sum = 0;
    for (size_t i = 0; i < count; ++i) {
        const int v = int16_t(Le16(data, i * 2));
        sum += double(v) * v;
        info->peak = std::max(info->peak, std::abs(v));
    }
    info->seconds = double(count) / info->channels / info->sampleRate;
    info->rms = count ? std::sqrt(sum / double(count)) / 32768.0 : 0;
    return true;
}

std::vector<ListRecord> ReadList(std::string_view text, bool hexCode, int names) {
    std::vector<ListRecord> records;
    const std::vector<std::string_view> words = Words(text);
    size_t i = 0;
    while (i + size_t(names) < words.size()) {
        const std::string number(words[i]);
        char* end = nullptr;
        const unsigned long code = std::strtoul(number.c_str(), &end, hexCode ? 16 : 10);
        if (end == number.c_str() || *end != '\0')
            break;
        ListRecord record;
        record.code = unsigned(code);
        for (int n = 1; n <= names; ++n)
            record.names.emplace_back(words[i + size_t(n)]);
        records.push_back(std::move(record));
        i += size_t(names) + 1;
    }
    return records;
}

std::vector<SearchCategory> ReadSearchCatalogue(std::string_view text) {
    std::vector<SearchCategory> categories;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (line.empty() || line.front() == ';')
            continue;
        if (line == ":end")
            break;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            categories.push_back(
                {std::string(line.substr(
                     1, close == std::string_view::npos ? std::string_view::npos : close - 1)),
                 {}});
            continue;
        }
        if (line.substr(0, 6) != "search")
            continue;
        SearchEntry entry;
        const std::string afterSeven(line.size() > 7 ? line.substr(7) : std::string_view());
        entry.number = std::atoi(afterSeven.c_str());
        const size_t c1 = line.find(',');
        const size_t c2 = c1 == std::string_view::npos ? c1 : line.find(',', c1 + 1);
        const size_t c3 = c2 == std::string_view::npos ? c2 : line.find(',', c2 + 1);
        const size_t close = line.rfind(')');
        if (c3 == std::string_view::npos || close == std::string_view::npos || close < c3)
            continue;
        entry.name = Trim(line.substr(c1 + 1, c2 - c1 - 1));
        entry.key = Trim(line.substr(c2 + 1, c3 - c2 - 1));
        entry.urlTemplate = Trim(line.substr(c3 + 1, close - c3 - 1));
        if (categories.empty())
            categories.push_back({"", {}});
        categories.back().entries.push_back(std::move(entry));
    }
    return categories;
}

}  // namespace ov::skin
