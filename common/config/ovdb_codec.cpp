#include "common/config/ovdb_codec.h"

#include <cstdint>
#include <random>

namespace ov::config {

namespace {

// Files written with another key cannot be read.
constexpr std::string_view kKey = "Orvane.Settings/Key#2001!";
static_assert(kKey.size() == 25);

constexpr uint16_t kLengthMask = 0x004C;
constexpr std::string_view kMagic = "OVDB";

// Random noise for the low nibbles, avoiding the values that would make the byte look like a
// zero, CR or LF to a careless reader.
uint8_t Noise(std::minstd_rand& rng, bool first) {
    uint8_t n = static_cast<uint8_t>(rng() & 0x0F);
    if (first && n == 0)
        return 8;
    if (n == 13)
        return 12;
    if (n == 10)
        return 15;
    return n;
}

}  // namespace

bool EncodeScrambled(const std::vector<std::string>& lines, std::string* out) {
    for (const std::string& line : lines) {
        if (line.size() > kMaxScrambledLine || line.find('\0') != std::string::npos)
            return false;
    }
    std::minstd_rand rng(std::random_device{}());
    std::string data(kMagic);
    for (const std::string& line : lines) {
        const uint16_t word = static_cast<uint16_t>(line.size()) ^ kLengthMask;
        data.push_back(static_cast<char>(word & 0xFF));
        data.push_back(static_cast<char>(word >> 8));
        for (size_t i = 0; i < line.size(); ++i) {
            const uint8_t c = static_cast<uint8_t>(line[i]);
            const uint8_t k = static_cast<uint8_t>(kKey[i % kKey.size()]) & 0x0F;
            data.push_back(static_cast<char>((((c >> 4) ^ k) << 4) | Noise(rng, true)));
            data.push_back(static_cast<char>((((c & 0x0F) ^ k) << 4) | Noise(rng, false)));
        }
    }
    *out = std::move(data);
    return true;
}

bool DecodeScrambled(std::string_view data, std::vector<std::string>* lines) {
    // The magic is written but not checked.
    size_t pos = kMagic.size();
    while (pos + 2 <= data.size()) {
        const uint16_t word = static_cast<uint8_t>(data[pos]) |
                              static_cast<uint16_t>(static_cast<uint8_t>(data[pos + 1]) << 8);
        const int16_t length = static_cast<int16_t>(word ^ kLengthMask);
        pos += 2;
        if (length < 0 || static_cast<size_t>(length) > kMaxScrambledRecord)
            return false;
        const size_t bytes = 2 * static_cast<size_t>(length);
        if (data.size() - pos < bytes)
            return true;  // cut short: what came before stands
        std::string line;
        for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
            const uint8_t k = static_cast<uint8_t>(kKey[i % kKey.size()]) & 0x0F;
            const uint8_t high = (static_cast<uint8_t>(data[pos + 2 * i]) >> 4) ^ k;
            const uint8_t low = (static_cast<uint8_t>(data[pos + 2 * i + 1]) >> 4) ^ k;
            const char c = static_cast<char>((high << 4) | low);
            if (c == '\0')
                break;
            line.push_back(c);
        }
        pos += bytes;
        if (!line.empty())
            lines->push_back(std::move(line));
    }
    return true;
}

}  // namespace ov::config
