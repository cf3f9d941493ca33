#include "kernel/server_address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

namespace ov::kernel {

std::optional<uint32_t> ParseIPv4(std::string_view text) {
    const std::string s(text);
    in_addr address{};
    if (inet_pton(AF_INET, s.c_str(), &address) != 1)
        return std::nullopt;
    return address.s_addr;
}

std::optional<uint32_t> ResolveIPv4(std::string_view host) {
    if (host.empty())
        return std::nullopt;
    if (auto literal = ParseIPv4(host))
        return literal;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(std::string(host).c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
        return std::nullopt;
    const uint32_t address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(found);
    return address;
}

std::string DottedIPv4(uint32_t address) {
    char text[INET_ADDRSTRLEN] = {};
    in_addr a{};
    a.s_addr = address;
    inet_ntop(AF_INET, &a, text, sizeof text);
    return text;
}

}  // namespace ov::kernel
