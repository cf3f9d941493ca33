#include "sock/resolve_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/interfaces/ovsock.h"
#include "sock/winsock_error.h"

namespace ov::sock {

std::optional<in_addr_t> ParseDottedIPv4(std::string_view text) {
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
    in_addr addr{};
    addr.s_addr = address;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return text;
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
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;  // one entry per address, not one per socket type
    addrinfo* list = nullptr;
    std::string name(host);
    int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0 || list == nullptr) {
        SetSocketError(WinsockErrorFromLookup(rc, errno));
        if (list)
            ::freeaddrinfo(list);
        if (observer)
            observer(LookupStep::kFailed, {});
        return false;
    }
    out->sin_addr = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
    ::freeaddrinfo(list);
    if (observer)
        observer(LookupStep::kResolved, FormatDottedIPv4(out->sin_addr.s_addr));
    return true;
}

}  // namespace ov::sock
