// The address this host uses to reach another one: the source address the system picks for
// a datagram to it (no datagram is sent). A peer that reaches our server reaches us there,
// where the first interface of the host may be one it cannot reach.
#pragma once

#include <string>

namespace ov::transfer {

// Dotted IPv4 text, empty when host does not resolve or no route leads there.
std::string LocalAddressToward(const std::string& host, int port);

}  // namespace ov::transfer
