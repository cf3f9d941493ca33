// The local host's name and the IPv4 address the component reports as its own.
#pragma once

#include <netinet/in.h>

#include <istream>
#include <string>

namespace ov::sock {

struct LocalHost {
    std::string name;    // empty when it cannot be read
    std::string ipText;  // dotted; empty when the name cannot be read or looked up
    in_addr_t ip = 0;    // the same address, network byte order; meaningful with ipText only
};

// gethostname, then a look-up of that name; the last address of the answer that is not a
// loopback address is taken. Desktop systems commonly map their own name to 127.0.1.1 only,
// which a peer cannot reach, so when the answer holds nothing but loopback the address of the
// interface that carries the default route stands in, and 127.0.0.1 when there is no such
// interface. A name that cannot be looked up at all leaves the address empty.
LocalHost DiscoverLocalHost();

// The interface of the default IPv4 route (lowest metric) in the text of /proc/net/route;
// empty when there is none.
std::string DefaultRouteInterface(std::istream& routeTable);

}  // namespace ov::sock
