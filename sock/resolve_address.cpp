#include "sock/resolve_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/interfaces/ovsock.h"
#include "sock/winsock_error.h"

namespace ov::sock {

namespace {

// The common form, four decimal parts without leading zeros, read directly; nothing for any
// other text, which inet_aton then reads (it takes a leading zero for octal).
std::optional<in_addr_t> ParsePlainDotted(std::string_view text) {
    uint32_t address = 0;
    size_t i = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (i >= text.size() || text[i] != '.')
                return std::nullopt;
            ++i;
        }
        const size_t start = i;
        unsigned value = 0;
        while (i < text.size() && i - start < 3 && text[i] >= '0' && text[i] <= '9')
            value = value * 10 + static_cast<unsigned>(text[i++] - '0');
        const size_t digits = i - start;
        if (digits == 0 || value > 255 || (digits > 1 && text[start] == '0'))
            return std::nullopt;
        address = address << 8 | value;
    }
    if (i != text.size())
        return std::nullopt;
    return htonl(address);
}

}  // namespace

std::optional<in_addr_t> ParseDottedIPv4(std::string_view text) {
    if (auto plain = ParsePlainDotted(text)) {
        if (*plain == INADDR_NONE)
            return std::nullopt;
        return plain;
    }
    // inet_aton stops at the first blank and accepts what precedes it; a literal here is the
    // whole text, so blanks and embedded zeros are refused first.
    if (text.empty())
        return std::nullopt;
    for (char c : text) {
        if (c == '\0' || std::isspace(static_cast<unsigned char>(c)))
            return std::nullopt;
    }
    std::string copy(text);
    in_addr addr{};
    if (::inet_aton(copy.c_str(), &addr) == 0 || addr.s_addr == INADDR_NONE)
        return std::nullopt;
    return addr.s_addr;
}

std::string FormatDottedIPv4(in_addr_t address) {
    // By hand: inet_ntop formats through sprintf, which costs more than the rest of a
    // received datagram's way to its caller.
    char text[INET_ADDRSTRLEN];
    size_t n = 0;
    const auto* bytes = reinterpret_cast<const unsigned char*>(&address);  // network order
    for (int part = 0; part < 4; ++part) {
        if (part > 0)
            text[n++] = '.';
        const unsigned value = bytes[part];
        if (value >= 100)
            text[n++] = static_cast<char>('0' + value / 100);
        if (value >= 10)
            text[n++] = static_cast<char>('0' + value / 10 % 10);
        text[n++] = static_cast<char>('0' + value % 10);
    }
    return std::string(text, n);
}

namespace {
std::atomic<NameLookup> g_lookup{SystemNameLookup};
}  // namespace

int SystemNameLookup(const char* name, in_addr* address) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* list = nullptr;
    int rc = ::getaddrinfo(name, nullptr, &hints, &list);
    if (rc == 0 && list == nullptr)
        rc = EAI_NONAME;
    if (rc == 0)
        *address = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
    if (list)
        ::freeaddrinfo(list);
    return rc;
}

NameLookup SetNameLookup(NameLookup lookup) {
    return g_lookup.exchange(lookup ? lookup : SystemNameLookup);
}

bool ResolveAddress(std::string_view host, LONG port, bool mayLookUp,
                    const LookupObserver& observer, sockaddr_in* out) {
    std::memset(out, 0, sizeof *out);
    out->sin_family = AF_INET;
    // Ports travel as 16 bits; larger values wrap as they did in the platform's htons.
    out->sin_port = htons(static_cast<uint16_t>(port));

    if (host.empty() && !mayLookUp) {
        out->sin_addr.s_addr = htonl(INADDR_ANY);
        return true;
    }
    if (auto literal = ParseDottedIPv4(host)) {
        out->sin_addr.s_addr = *literal;
        return true;
    }
    if (!mayLookUp) {
        SetSocketError(OVSOCK_ERR_INVAL);
        return false;
    }

    if (observer)
        observer(LookupStep::kStart, {});
    std::string name(host);
    errno = 0;
    int rc = g_lookup.load()(name.c_str(), &out->sin_addr);
    if (rc != 0) {
        SetSocketError(WinsockErrorFromLookup(rc, errno));
        if (observer)
            observer(LookupStep::kFailed, {});
        return false;
    }
    if (observer)
        observer(LookupStep::kResolved, FormatDottedIPv4(out->sin_addr.s_addr));
    return true;
}

}  // namespace ov::sock
