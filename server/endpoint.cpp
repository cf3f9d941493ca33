#include "server/endpoint.h"

#include <arpa/inet.h>

#include <charconv>
#include <string>

namespace ov::server {

std::string Endpoint::Address() const {
    return std::to_string(ip >> 24) + "." + std::to_string((ip >> 16) & 255) + "." +
           std::to_string((ip >> 8) & 255) + "." + std::to_string(ip & 255);
}

std::string Endpoint::ToString() const {
    return Address() + ":" + std::to_string(port);
}

uint32_t Endpoint::WireIp() const {
    return ((ip >> 24) & 0xFF) | ((ip >> 8) & 0xFF00) | ((ip << 8) & 0xFF0000) | (ip << 24);
}

bool ParseEndpoint(std::string_view text, Endpoint* out) {
    std::string_view host = text;
    uint16_t port = out->port;
    size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        host = text.substr(0, colon);
        std::string_view digits = text.substr(colon + 1);
        unsigned value = 0;
        auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
        if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() ||
            value > 65535) {
            return false;
        }
        port = static_cast<uint16_t>(value);
    }
    in_addr addr{};
    if (inet_pton(AF_INET, std::string(host).c_str(), &addr) != 1)
        return false;
    out->ip = ntohl(addr.s_addr);
    out->port = port;
    return true;
}

}  // namespace ov::server
