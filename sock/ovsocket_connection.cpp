// COVSocket: the socket itself - creating, binding, listening, connecting, accepting, closing.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "sock/lookup_threads.h"
#include "sock/ovsocket.h"
#include "sock/winsock_error.h"

namespace ov::sock {

SocketRef COVSocket::DataSocket() const {
    std::lock_guard<std::mutex> guard(socketMutex_);
    return dataSocket_;
}

template <class Body>
void COVSocket::StartThread(std::thread* slot, Body body) {
    try {
        *slot = std::thread(std::move(body));
    } catch (const std::system_error&) {
        // The starting member reports success all the same; nothing is watched or sent.
    }
}

template <class Body>
void COVSocket::StartLookupThread(std::atomic<bool>* running, Body body) {
    running->store(true);
    if (!LookupThreads::Instance().Start(std::move(body)))
        running->store(false);  // the starting member reports success all the same
}

bool COVSocket::AdoptSocket(SocketRef socket, OVSOCKTypeEnum type) {
    bool startThreads = false;
    {
        std::lock_guard<std::mutex> guard(socketMutex_);
        if (dataSocket_)
            return false;
        socketType_ = type;  // before the socket is seen, so its users read the right type
        listening_ = false;
        dataSocket_ = socket;
        // After Close the object's threads are over for good: a new socket gets none.
        startThreads = !Stopped();
    }
    if (startThreads) {
        StartThread(&receiveThread_, [this, socket] { ReceiveWatchThread(socket); });
        StartThread(&sendThread_, [this, socket] { SendThread(socket); });
    }
    return true;
}

HRESULT COVSocket::Create(OVSOCKTypeEnum eSocketType, VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    if (!Initialised()) {
        SetSocketError(OVSOCK_ERR_NOTINITIALISED);
        return S_OK;
    }
    if (eSocketType != OVSOCK_TCP && eSocketType != OVSOCK_UDP)
        return S_OK;
    if (DataSocket())
        return S_OK;
    const bool tcp = eSocketType == OVSOCK_TCP;
    int fd = ::socket(AF_INET, (tcp ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        SetSocketErrorFromErrno(errno);
        return S_OK;
    }
    if (tcp) {
        // Lets a listening port be bound again while old connections of it linger in
        // TIME_WAIT, as the original platform allows; a port in active use is still refused.
        // Never on UDP, where it would let two sockets share a port.
        int on = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    }
    if (AdoptSocket(std::make_shared<SocketHandle>(fd), eSocketType))
        *pbResult = VARIANT_TRUE;
    return S_OK;
}

HRESULT COVSocket::Bind(BSTR bstrHostAddress, LONG nPort, VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    DropProxyControl();
    SocketRef socket = DataSocket();
    if (!socket)
        return S_OK;
    sockaddr_in address{};
    if (!ResolveAddress(ToCp936(bstrHostAddress), nPort, false, {}, &address))
        return S_OK;
    if (::bind(socket->Fd(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        SetSocketErrorFromErrno(errno);
        return S_OK;
    }
    *pbResult = VARIANT_TRUE;
    if (socketType_ == OVSOCK_UDP)
        ArmReceive();
    return S_OK;
}

HRESULT COVSocket::Listen(LONG nMaxQueueLen, VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    SocketRef socket = DataSocket();
    if (!socket || AccessType() == OVSOCK_ACCESS_SOCKS5)
        return S_OK;
    if (::listen(socket->Fd(), nMaxQueueLen) != 0) {
        SetSocketErrorFromErrno(errno);
        return S_OK;
    }
    listening_ = true;
    ArmReceive();
    *pbResult = VARIANT_TRUE;
    return S_OK;
}

HRESULT COVSocket::Connect(BSTR bstrHostAddress, LONG nPort, VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    SocketRef socket = DataSocket();
    if (!socket)
        return S_OK;
    CriticalSectionLock lock(lock_);
    if (link_->connecting || link_->resolving)
        return S_OK;  // a connect or look-up is still running
    remoteHost_ = Bstr(BstrView(bstrHostAddress));
    remotePort_ = nPort;
    if (AccessType() == OVSOCK_ACCESS_DIRECT) {
        StartLookupThread(&link_->connecting, [link = link_, socket, host = remoteHost_.ToCp936(),
                                               nPort]() mutable {
            ConnectThread(std::move(link), std::move(socket), std::move(host), nPort);
        });
        *pbResult = VARIANT_TRUE;
    } else {
        // Through the proxy, on this thread and under the lock, so that a second Connect or
        // a ResolveHost waits for it.
        DropProxyControl();
        *pbResult = NegotiateProxy() ? VARIANT_TRUE : VARIANT_FALSE;
    }
    return S_OK;
}

HRESULT COVSocket::ResolveHost(BSTR bstrHost, VARIANT_BOOL* pbResult) {
    if (pbResult == nullptr)
        return E_POINTER;
    *pbResult = VARIANT_FALSE;
    CriticalSectionLock lock(lock_);
    if (link_->connecting || link_->resolving)
        return S_OK;
    remoteHost_ = Bstr(BstrView(bstrHost));
    StartLookupThread(&link_->resolving, [link = link_, host = remoteHost_.ToCp936()]() mutable {
        ResolveThread(std::move(link), std::move(host));
    });
    *pbResult = VARIANT_TRUE;
    return S_OK;
}

HRESULT COVSocket::Accept(BSTR* pbstrHost, LONG* pnPort, IOVSocket** ppSocket) {
    if (pbstrHost == nullptr || pnPort == nullptr || ppSocket == nullptr)
        return E_POINTER;
    *ppSocket = nullptr;
    SocketRef socket = DataSocket();
    if (!socket)
        return S_OK;
    sockaddr_in peer{};
    int fd = sock::Accept(socket->Fd(), &peer);
    if (fd < 0)
        SetSocketErrorFromErrno(Stopped() ? EINTR : errno);  // Close cancels a blocked accept
    // The next incoming connection is reported again. Armed only now: armed before accept
    // it would report the connection being taken, and a caller answering with another
    // Accept would block until some other peer came.
    ArmReceive();
    *pbstrHost = Bstr::FromUtf8(FormatDottedIPv4(peer.sin_addr.s_addr)).Detach();
    *pnPort = ntohs(peer.sin_port);

    ComPtr<COVSocket> accepted = MakeComObject<COVSocket>();
    OVSOCKErrorCodeEnum initError = OVSOCK_ERR_NONE;
    accepted->InitializeSocket(&initError);
    if (initError != OVSOCK_ERR_NONE) {
        if (fd >= 0)
            ::close(fd);
        return S_OK;
    }
    // A failed accept still yields an object; it has no socket, so all its members fail.
    if (fd >= 0 && accepted->AdoptSocket(std::make_shared<SocketHandle>(fd), socketType_))
        accepted->ArmReceive();
    *ppSocket = accepted.Detach();
    return S_OK;
}

HRESULT COVSocket::Close() {
    SocketRef socket = DataSocket();
    if (!socket)
        return S_OK;
    stopped_.store(true);
    link_->stopped.store(true);
    sendWake_.Raise(kStop);
    receiveWake_.Raise(kStop);
    // Wake every call blocked on the socket before taking the lock: a send step blocked in
    // send holds the lock, and would otherwise keep Close waiting for as long as the peer
    // does not read.
    socket->Shutdown();
    // A UDP socket's control connection too, negotiated or still negotiating: a negotiation
    // run by Connect holds the lock until its proxy answers.
    SocketRef control;
    {
        std::lock_guard<std::mutex> guard(socketMutex_);
        control = proxySocket_;
    }
    if (control && control != socket)
        control->Shutdown();
    {
        CriticalSectionLock lock(lock_);
        std::lock_guard<std::mutex> guard(socketMutex_);
        dataSocket_.reset();
        proxySocket_.reset();  // a TCP socket's is the data socket itself
    }
    // The descriptors close as soon as the threads and members that still use them let go.
    return ClearSendQueue();
}

}  // namespace ov::sock
