#include "transfer/local_route.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ov::transfer {

std::string LocalAddressToward(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port > 0 && port < 65536 ? port : 9);
    if (host.empty() || ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found) != 0)
        return {};
    std::string address;
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd >= 0) {
        sockaddr_in local{};
        socklen_t length = sizeof(local);
        // Connecting a datagram socket only chooses the route and the source address.
        if (::connect(fd, found->ai_addr, found->ai_addrlen) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) == 0) {
            char text[INET_ADDRSTRLEN];
            if (::inet_ntop(AF_INET, &local.sin_addr, text, sizeof(text)) != nullptr)
                address = text;
        }
        ::close(fd);
    }
    ::freeaddrinfo(found);
    return address;
}

}  // namespace ov::transfer
