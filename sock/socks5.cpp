// COVSocket: the settings of a SOCKS5 proxy and the places where its negotiation plugs in.
//
// The negotiation itself (method selection, user name and password, CONNECT and UDP
// ASSOCIATE) is not offered yet: NegotiateProxy always fails, so a Connect through a proxy
// returns false and a send step through one ends in OnSendError. SetProxy, the datagram
// header of SendTo and the bookkeeping of the control connection are in place for it.
#include <arpa/inet.h>

#include <cstring>

#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

ProxySettings COVSocket::Proxy() const {
    std::lock_guard<std::mutex> guard(proxyMutex_);
    return proxy_;
}

OVSOCKAccessTypeEnum COVSocket::AccessType() const {
    std::lock_guard<std::mutex> guard(proxyMutex_);
    return proxy_.accessType;
}

HRESULT COVSocket::SetProxy(OVSOCKAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                            OVSOCKProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                            BSTR bstrProxyPassword) {
    DropProxyControl();
    std::lock_guard<std::mutex> guard(proxyMutex_);
    proxy_.accessType = eAccessType;  // stored as given, without checks
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
    SetSocketError(OVSOCK_ERR_OPNOTSUPP);
    return false;
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

CByteArrayVariant COVSocket::WrapDatagramForProxy(const std::string& host, LONG port,
                                                  const VARIANT& data) const {
    // RSV (2), FRAG, ATYP IPv4, DST.ADDR, DST.PORT; a host that is no literal gives
    // 255.255.255.255, the value the platform's inet_addr returns for it.
    in_addr_t address = ParseDottedIPv4(host).value_or(INADDR_NONE);
    uint16_t netPort = htons(static_cast<uint16_t>(port));
    BYTE header[10] = {0, 0, 0, 1};
    std::memcpy(header + 4, &address, 4);
    std::memcpy(header + 8, &netPort, 2);
    CByteArrayVariant packet(header, sizeof header);
    CByteArrayVariant payload(data);
    packet.Append(payload.Data(), payload.Size());
    return packet;
}

void COVSocket::UnwrapDatagramFromProxy(CByteArrayVariant*, sockaddr_in*) {
    // Only a negotiated proxy wraps incoming datagrams, and none is negotiated yet.
}

}  // namespace ov::sock
