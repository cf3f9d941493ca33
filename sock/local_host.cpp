#include "sock/local_host.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>

#include "sock/resolve_address.h"

namespace ov::sock {

namespace {

bool IsLoopback(in_addr_t address) {
    return (ntohl(address) >> 24) == 127;
}

std::optional<in_addr_t> AddressOfInterface(const std::string& name) {
    ifaddrs* list = nullptr;
    if (name.empty() || ::getifaddrs(&list) != 0)
        return std::nullopt;
    std::optional<in_addr_t> found;
    for (ifaddrs* it = list; it != nullptr && !found; it = it->ifa_next) {
        if (it->ifa_addr != nullptr && it->ifa_addr->sa_family == AF_INET && name == it->ifa_name)
            found = reinterpret_cast<const sockaddr_in*>(it->ifa_addr)->sin_addr.s_addr;
    }
    ::freeifaddrs(list);
    return found;
}

in_addr_t DefaultRouteAddressOr127() {
    std::ifstream table("/proc/net/route");
    if (auto address = AddressOfInterface(DefaultRouteInterface(table)))
        return *address;
    return htonl(INADDR_LOOPBACK);
}

}  // namespace

std::string DefaultRouteInterface(std::istream& routeTable) {
    std::string line;
    std::getline(routeTable, line);  // column titles
    std::string best;
    unsigned long bestMetric = ULONG_MAX;
    while (std::getline(routeTable, line)) {
        std::istringstream fields(line);
        std::string iface, destination, gateway, flags, refCnt, use, metric, mask;
        if (!(fields >> iface >> destination >> gateway >> flags >> refCnt >> use >> metric >>
              mask))
            continue;
        const unsigned long kRouteUp = 0x1;
        unsigned long flagBits = std::strtoul(flags.c_str(), nullptr, 16);
        if (destination != "00000000" || mask != "00000000" || (flagBits & kRouteUp) == 0)
            continue;
        unsigned long m = std::strtoul(metric.c_str(), nullptr, 10);
        if (best.empty() || m < bestMetric) {
            best = iface;
            bestMetric = m;
        }
    }
    return best;
}

LocalHost DiscoverLocalHost() {
    LocalHost host;
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return host;
    host.name = name;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &list) != 0 || list == nullptr)
        return host;
    std::optional<in_addr_t> chosen;
    for (addrinfo* it = list; it != nullptr; it = it->ai_next) {
        in_addr_t a = reinterpret_cast<const sockaddr_in*>(it->ai_addr)->sin_addr.s_addr;
        if (!IsLoopback(a))
            chosen = a;  // the last one wins
    }
    ::freeaddrinfo(list);
    host.ip = chosen ? *chosen : DefaultRouteAddressOr127();
    host.ipText = FormatDottedIPv4(host.ip);
    return host;
}

}  // namespace ov::sock
