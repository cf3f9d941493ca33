// An IPv4 address and UDP port, the identity of a client's socket.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ov::server {

struct Endpoint {
    uint32_t ip = 0;    // host byte order: 127.0.0.1 is 0x7F000001
    uint16_t port = 0;  // host byte order

    bool operator==(const Endpoint&) const = default;
    std::string ToString() const;  // "a.b.c.d:port"
    std::string Address() const;   // "a.b.c.d"
    // The address as the protocol carries it (real IP, from-IP): the four bytes in network
    // order, read as a little-endian u32 - the value a Winsock client keeps in its in_addr.
    uint32_t WireIp() const;
};

struct EndpointHash {
    size_t operator()(const Endpoint& e) const {
        return std::hash<uint64_t>()((uint64_t{e.ip} << 16) | e.port);
    }
};

// "a.b.c.d:port" or "a.b.c.d" (keeping *out's port). False on anything else.
bool ParseEndpoint(std::string_view text, Endpoint* out);

}  // namespace ov::server
