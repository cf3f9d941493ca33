// COVSocket: the SOCKS5 proxy (RFC 1928, user name and password of RFC 1929) - its settings,
// the negotiation that runs in Connect and in the send step, and the request header around
// datagrams that travel through the proxy's UDP relay.
#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>

#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

namespace {

constexpr BYTE kVersion = 5;
constexpr BYTE kCommandConnect = 1;
constexpr BYTE kCommandUdpAssociate = 3;
constexpr BYTE kAddressIPv4 = 1;
constexpr BYTE kAddressName = 3;
constexpr BYTE kAddressIPv6 = 4;
constexpr size_t kRequestSize = 10;
constexpr size_t kLargestReply = 255;

// One send of all the bytes; a short send counts as a failure.
bool SendMessage(int fd, const BYTE* bytes, size_t size) {
    ssize_t n = SendStream(fd, bytes, size, 0);
    if (n < 0) {
        SetSocketErrorFromErrno(errno);
        return false;
    }
    if (static_cast<size_t>(n) != size) {
        SetSocketError(OVSOCK_ERR_SHUTDOWN);
        return false;
    }
    return true;
}

// One recv of at most size bytes; the count, or -1 when the connection failed or ended. A
// proxy that says less than a message is not waited for: the caller judges the count.
ssize_t ReceiveOnce(int fd, BYTE* buffer, size_t size) {
    ssize_t n = Recv(fd, buffer, size, 0);
    if (n < 0)
        SetSocketErrorFromErrno(errno);
    else if (n == 0)
        SetSocketError(OVSOCK_ERR_CONNRESET);  // the proxy closed the connection
    return n > 0 ? n : -1;
}

// A reply the proxy broke off or got wrong.
bool ProtocolFailure() {
    SetSocketError(OVSOCK_ERR_CONNREFUSED);
    return false;
}

}  // namespace

ProxySettings COVSocket::Proxy() const {
    std::lock_guard<std::mutex> guard(proxyMutex_);
    return proxy_;
}

OVSOCKAccessTypeEnum COVSocket::AccessType() const {
    return accessType_.load(std::memory_order_acquire);
}

HRESULT COVSocket::SetProxy(OVSOCKAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                            OVSOCKProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                            BSTR bstrProxyPassword) {
    DropProxyControl();
    std::lock_guard<std::mutex> guard(proxyMutex_);
    proxy_.accessType = eAccessType;  // stored as given, without checks
    accessType_ = eAccessType;
    proxy_.host = Bstr(BstrView(bstrProxyHost));
    proxy_.port = nProxyPort;
    proxy_.authMethod = eProxyAuthMethod;
    proxy_.userName = Bstr(BstrView(bstrProxyUserName));
    proxy_.password = Bstr(BstrView(bstrProxyPassword));
    return S_OK;
}

bool COVSocket::NegotiateProxy() {
    if (proxyNegotiated_)
        return true;
    SocketRef data = DataSocket();
    if (!data) {
        SetSocketError(OVSOCK_ERR_NOTSOCK);
        return false;
    }
    const bool tcp = socketType_ == OVSOCK_TCP;
    // A TCP socket negotiates on its own connection, which then carries its data; a UDP
    // socket opens a connection of its own that keeps the association alive.
    SocketRef control = data;
    if (!tcp) {
        int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            SetSocketErrorFromErrno(errno);
            return false;
        }
        control = std::make_shared<SocketHandle>(fd);
        // Known before it connects, so that Close can cut the negotiation short; socketMutex_
        // guards the reference only.
        std::lock_guard<std::mutex> guard(socketMutex_);
        proxySocket_ = control;
    }
    sockaddr_in bound{};
    bool ok = Negotiate(control->Fd(), tcp, &bound);
    if (ok) {
        // lock_ guards the remote host and port, which now name the target or the relay.
        CriticalSectionLock lock(lock_);
        remoteHost_ = Bstr::FromUtf8(FormatDottedIPv4(bound.sin_addr.s_addr));
        remotePort_ = ntohs(bound.sin_port);
    }
    {
        // socketMutex_ guards the reference; Close sets stop before it takes the mutex, so a
        // negotiation that ends after Close sees stop here and keeps nothing open.
        std::lock_guard<std::mutex> guard(socketMutex_);
        ok = ok && !Stopped();
        if (ok) {
            proxySocket_ = control;
            proxyNegotiated_ = true;
        } else if (!tcp && proxySocket_ == control) {
            proxySocket_.reset();
        }
    }
    // A failed UDP control connection closes here with its last reference.
    return ok;
}

bool COVSocket::Negotiate(int fd, bool tcp, sockaddr_in* bound) {
    const ProxySettings proxy = Proxy();
    sockaddr_in proxyAddress{};
    if (!ResolveAddress(proxy.host.ToCp936(), proxy.port, true, {}, &proxyAddress))
        return false;
    if (sock::Connect(fd, proxyAddress) != 0) {
        SetSocketErrorFromErrno(errno);
        return false;
    }

    // One method offered: the one configured.
    const BYTE method = static_cast<BYTE>(proxy.authMethod);
    const BYTE selection[] = {kVersion, 1, method};
    if (!SendMessage(fd, selection, sizeof selection))
        return false;
    BYTE reply[kLargestReply];
    ssize_t got = ReceiveOnce(fd, reply, 2);
    if (got < 0)
        return false;
    if (got != 2 || reply[0] != kVersion || reply[1] != method)
        return ProtocolFailure();  // FF: none of the offered methods is acceptable

    if (proxy.authMethod == OVSOCK_AUTH_USERNAME_PASSWORD) {
        const std::string user = proxy.userName.ToCp936();
        const std::string password = proxy.password.ToCp936();
        // A length byte cannot tell more than 255 bytes; cutting them would send other
        // credentials than the configured ones.
        if (user.size() > 255 || password.size() > 255) {
            SetSocketError(OVSOCK_ERR_NAMETOOLONG);
            return false;
        }
        std::string request;
        request += '\x01';
        request += static_cast<char>(user.size());
        request += user;
        request += static_cast<char>(password.size());
        request += password;
        if (!SendMessage(fd, reinterpret_cast<const BYTE*>(request.data()), request.size()))
            return false;
        got = ReceiveOnce(fd, reply, 2);
        if (got < 0)
            return false;
        if (got != 2 || reply[1] != 0)
            return ProtocolFailure();
    }

    // CONNECT to the remote host, or UDP ASSOCIATE for the address the datagrams come from.
    in_addr_t address = INADDR_NONE;
    uint16_t port = 0;
    if (tcp) {
        CriticalSectionLock lock(lock_);
        address = ParseDottedIPv4(remoteHost_.ToCp936()).value_or(INADDR_NONE);
        port = static_cast<uint16_t>(remotePort_);
    } else {
        // The address the datagrams will come from: the data socket's own when it is bound
        // to one, otherwise the one this host reaches the proxy from. The machine's first
        // address is not it whenever the proxy is reached another way (on loopback, say),
        // and a proxy that holds datagrams to the announced source would drop them all.
        sockaddr_in own{};
        socklen_t length = sizeof own;
        SocketRef data = DataSocket();
        if (data && ::getsockname(data->Fd(), reinterpret_cast<sockaddr*>(&own), &length) == 0 &&
            own.sin_addr.s_addr != INADDR_ANY) {
            address = own.sin_addr.s_addr;
        } else {
            length = sizeof own;
            if (::getsockname(fd, reinterpret_cast<sockaddr*>(&own), &length) == 0)
                address = own.sin_addr.s_addr;
            else
                address = ParseDottedIPv4(localIpText_.ToCp936()).value_or(INADDR_NONE);
        }
        LONG localPort = 0;
        get_LocalPort(&localPort);
        port = static_cast<uint16_t>(localPort);
    }
    BYTE request[kRequestSize] = {kVersion, tcp ? kCommandConnect : kCommandUdpAssociate, 0,
                                  kAddressIPv4};
    const uint16_t netPort = htons(port);
    std::memcpy(request + 4, &address, 4);
    std::memcpy(request + 8, &netPort, 2);
    if (!SendMessage(fd, request, sizeof request))
        return false;
    got = ReceiveOnce(fd, reply, sizeof reply);
    if (got < 0)
        return false;
    // Bytes 4 to 9 are the bound address: a reply too short to hold them is no answer.
    if (static_cast<size_t>(got) < kRequestSize || reply[0] != kVersion || reply[1] != 0)
        return ProtocolFailure();
    *bound = sockaddr_in{};
    bound->sin_family = AF_INET;
    std::memcpy(&bound->sin_addr.s_addr, reply + 4, 4);
    std::memcpy(&bound->sin_port, reply + 8, 2);
    return true;
}

void COVSocket::DropProxyControl() {
    if (!proxyNegotiated_.exchange(false))
        return;
    SocketRef control;
    {
        std::lock_guard<std::mutex> guard(socketMutex_);
        control = std::move(proxySocket_);
    }
    // For a TCP socket the control connection is the data socket itself, which stays open;
    // a UDP socket's own control connection closes with its last reference.
    if (control && control != DataSocket())
        control->Shutdown();
}

std::vector<BYTE> COVSocket::WrapDatagramForProxy(const std::string& host, LONG port,
                                                  const VARIANT& data) const {
    // RSV (2), FRAG, ATYP IPv4, DST.ADDR, DST.PORT; a host that is no literal gives
    // 255.255.255.255, the value the platform's inet_addr returns for it.
    in_addr_t address = ParseDottedIPv4(host).value_or(INADDR_NONE);
    uint16_t netPort = htons(static_cast<uint16_t>(port));
    BYTE header[10] = {0, 0, 0, kAddressIPv4};
    std::memcpy(header + 4, &address, 4);
    std::memcpy(header + 8, &netPort, 2);
    std::string_view payload = ByteArrayPayload(data).value_or(std::string_view());
    std::vector<BYTE> packet(sizeof header + payload.size());
    std::memcpy(packet.data(), header, sizeof header);
    if (!payload.empty())
        std::memcpy(packet.data() + sizeof header, payload.data(), payload.size());
    return packet;
}

bool COVSocket::UnwrapDatagramFromProxy(CByteArrayVariant* data, sockaddr_in* sender,
                                        std::string* senderText) {
    const BYTE* bytes = data->Data();
    const size_t size = data->Size();
    if (size < 4)
        return false;
    size_t header = 0;
    uint16_t netPort = 0;
    switch (bytes[3]) {
        case kAddressIPv4:
            header = 10;
            if (size < header)
                return false;
            std::memcpy(&sender->sin_addr.s_addr, bytes + 4, 4);
            break;
        case kAddressName: {
            if (size < 5)
                return false;
            const size_t length = bytes[4];
            header = length + 7;
            if (size < header)
                return false;
            std::string name(reinterpret_cast<const char*>(bytes + 5), length);
            sockaddr_in resolved{};
            if (ResolveAddress(name, 0, true, {}, &resolved))
                sender->sin_addr = resolved.sin_addr;
            else
                *senderText = std::move(name);  // the name is all that is known of it
            break;
        }
        case kAddressIPv6: {
            header = 22;
            if (size < header)
                return false;
            char text[INET6_ADDRSTRLEN] = {};
            ::inet_ntop(AF_INET6, bytes + 4, text, sizeof text);
            *senderText = text;
            break;
        }
        default:
            return true;  // not wrapped: the datagram's own source and all its bytes
    }
    std::memcpy(&netPort, bytes + header - 2, 2);
    sender->sin_port = netPort;
    *data = CByteArrayVariant(bytes + header, size - header);
    return true;
}

}  // namespace ov::sock
