#include "server/cluster_event.h"

#include <charconv>
#include <vector>

namespace ov::server {

namespace {

constexpr std::string_view kVersion = "ov1";

// The fields each kind carries, in order, by the letters below.
struct Layout {
    ClusterEvent::Kind kind;
    const char* fields;
};

enum Field : char {
    kPin = 'p',
    kLoginId = 'l',
    kIp = 'i',
    kPort = 'o',
    kStatus = 's',
    kBefore = 'b',
    kTerminal = 't',
    kGroup = 'g',
    kType = 'y',
    kMode = 'm',
    kCommand = 'c',
    kTarget = 'r',
    kId = 'd',
    kProcess = 'x',
    kFlag = 'f',
    kBytes = 'B',
};

const Layout kLayouts[] = {
    {ClusterEvent::kSessionStart, "pliost"}, {ClusterEvent::kSessionEnd, "plsf"},
    {ClusterEvent::kStatus, "psb"},          {ClusterEvent::kProfile, "p"},
    {ClusterEvent::kGroupEnter, "gympfB"},   {ClusterEvent::kGroupLeave, "gpf"},
    {ClusterEvent::kGroupMessage, "gpB"},    {ClusterEvent::kDirect, "pcB"},
    {ClusterEvent::kStoredMessage, "pd"},    {ClusterEvent::kBuddyRequest, "pr"},
    {ClusterEvent::kBuddyAnswer, "pd"},      {ClusterEvent::kProcessGone, "x"},
};

const char* FieldsOf(char kind) {
    for (const Layout& l : kLayouts) {
        if (l.kind == kind)
            return l.fields;
    }
    return nullptr;
}

uint32_t* Number32(ClusterEvent& e, char field) {
    switch (field) {
        case kPin:
            return &e.pin;
        case kLoginId:
            return &e.loginId;
        case kIp:
            return &e.ip;
        case kPort:
            return &e.port;
        case kStatus:
            return &e.status;
        case kBefore:
            return &e.before;
        case kTerminal:
            return &e.terminal;
        case kGroup:
            return &e.group;
        case kType:
            return &e.type;
        case kMode:
            return &e.mode;
        case kCommand:
            return &e.command;
        case kTarget:
            return &e.target;
        default:
            return nullptr;
    }
}

const char kHex[] = "0123456789abcdef";

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

template <typename T>
bool ParseNumber(std::string_view text, T* out) {
    if (text.empty())
        return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), *out);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string Encode(const ClusterEvent& e) {
    const char* fields = FieldsOf(e.kind);
    std::string out(kVersion);
    out += ' ';
    out += std::to_string(e.origin);
    out += ' ';
    out += static_cast<char>(e.kind);
    ClusterEvent copy = e;
    for (const char* f = fields; f && *f; ++f) {
        out += ' ';
        switch (*f) {
            case kId:
                out += std::to_string(e.id);
                break;
            case kProcess:
                out += std::to_string(e.process);
                break;
            case kFlag:
                out += e.flag ? '1' : '0';
                break;
            case kBytes:
                out += 'x';  // an empty string still makes a field
                for (unsigned char c : e.bytes) {
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                }
                break;
            default:
                out += std::to_string(*Number32(copy, *f));
                break;
        }
    }
    return out;
}

std::optional<ClusterEvent> DecodeClusterEvent(std::string_view line) {
    std::vector<std::string_view> words;
    size_t start = 0;
    while (start <= line.size()) {
        size_t space = line.find(' ', start);
        if (space == std::string_view::npos)
            space = line.size();
        words.push_back(line.substr(start, space - start));
        start = space + 1;
        if (words.size() > 16)
            return std::nullopt;
    }
    if (words.size() < 3 || words[0] != kVersion || words[2].size() != 1)
        return std::nullopt;
    const char* fields = FieldsOf(words[2][0]);
    if (!fields || words.size() != 3 + std::string_view(fields).size())
        return std::nullopt;
    ClusterEvent e;
    e.kind = static_cast<ClusterEvent::Kind>(words[2][0]);
    if (!ParseNumber(words[1], &e.origin))
        return std::nullopt;
    for (size_t i = 0; fields[i]; ++i) {
        std::string_view w = words[3 + i];
        bool ok = false;
        switch (fields[i]) {
            case kId:
                ok = ParseNumber(w, &e.id);
                break;
            case kProcess:
                ok = ParseNumber(w, &e.process);
                break;
            case kFlag:
                ok = w == "0" || w == "1";
                e.flag = w == "1";
                break;
            case kBytes:
                ok = !w.empty() && w[0] == 'x' && w.size() % 2 == 1;
                for (size_t k = 1; ok && k < w.size(); k += 2) {
                    int hi = HexValue(w[k]), lo = HexValue(w[k + 1]);
                    ok = hi >= 0 && lo >= 0;
                    e.bytes += static_cast<char>(hi << 4 | lo);
                }
                break;
            default:
                ok = ParseNumber(w, Number32(e, fields[i]));
                break;
        }
        if (!ok)
            return std::nullopt;
    }
    return e;
}

}  // namespace ov::server
