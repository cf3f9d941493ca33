// The server's address as the receive path compares it: IPv4 in network byte order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace ov::kernel {

// A dotted IPv4 literal, else the first IPv4 address the system's resolver gives for the name;
// nothing when neither works. host is in code page 936, as host texts travel here.
std::optional<uint32_t> ResolveIPv4(std::string_view host);
// Only a dotted IPv4 literal ("a.b.c.d", as the socket reports senders); no look-up.
std::optional<uint32_t> ParseIPv4(std::string_view text);
std::string DottedIPv4(uint32_t address);

}  // namespace ov::kernel
