// COVSocket: lifetime, initialisation, the connection point and the plain properties.
#include "sock/ovsocket.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include "platform/text/cp936.h"
#include "platform/win32/last_error.h"
#include "sock/local_host.h"

namespace ov::sock {

std::string ToCp936(BSTR text) {
    std::u16string_view view = BstrView(text);
    // Host texts are nearly always ASCII, which code page 936 keeps as it is.
    std::string ascii(view.size(), '\0');
    for (size_t i = 0; i < view.size(); ++i) {
        if (view[i] >= 0x80)
            return ov::Utf16ToCp936(view);
        ascii[i] = static_cast<char>(view[i]);
    }
    return ascii;
}

ComPtr<COVSocket> WorkerLink::Pin() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_ == nullptr || !owner_->TryAddRef())
        return nullptr;
    return ComPtr<COVSocket>::Adopt(owner_);
}

void WorkerLink::Detach() {
    std::lock_guard<std::mutex> lock(mutex_);
    owner_ = nullptr;
}

COVSocket::COVSocket()
    : events_(this, DIID_IOVSocketEvents), link_(std::make_shared<WorkerLink>(this)) {}

COVSocket::~COVSocket() {
    // Connect and resolve threads are not waited for: they fire nothing from here on.
    link_->Detach();
    Close();
    // Both threads notice stop at once; Close has also woken a wait on the socket.
    for (std::thread* t : {&receiveThread_, &sendThread_}) {
        if (t->joinable())
            t->join();
    }
}

HRESULT COVSocket::InitializeSocket(OVSOCKErrorCodeEnum* peError) {
    if (peError == nullptr)
        return E_POINTER;
    CriticalSectionLock lock(lock_);
    if (Initialised()) {
        *peError = OVSOCK_ERR_HAD_BEEN_INITIALIZED;
        return S_OK;
    }
    localPort_ = 0;
    {
        std::lock_guard<std::mutex> proxyLock(proxyMutex_);
        proxy_.accessType = OVSOCK_ACCESS_DIRECT;
        accessType_ = OVSOCK_ACCESS_DIRECT;
        proxy_.authMethod = OVSOCK_AUTH_NONE;
        proxy_.userName = Bstr::Empty();
        proxy_.password = Bstr::Empty();
    }
    proxyNegotiated_ = false;
    nextPacketId_ = 100;
    // The socket layer of this platform needs no start-up, so there is no version to check:
    // OVSOCK_ERR_NO_SOCKET and OVSOCK_ERR_SOCKET_VERSION do not occur. The threads' signals
    // are plain words that cannot fail to exist, so neither does OVSOCK_ERR_EVENT.
    LocalHost host = DiscoverLocalHost();
    localHostName_ = Bstr::FromCp936(host.name);
    localIpText_ = Bstr::FromCp936(host.ipText);
    localIp_ = static_cast<LONG>(host.ip);
    initialised_.store(true, std::memory_order_release);
    *peError = OVSOCK_ERR_NONE;
    return S_OK;
}

HRESULT COVSocket::EnumConnectionPoints(void** ppEnum) {
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT COVSocket::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return FindConnectionPointIn({&events_}, riid, ppCP);
}

LookupObserver COVSocket::LookupEvents(const std::shared_ptr<WorkerLink>& link) {
    return [link](LookupStep step, const std::string& dotted) {
        ComPtr<COVSocket> self = link->Pin();
        if (!self)
            return;
        switch (step) {
            case LookupStep::kStart:
                self->Fire(OVSOCK_DISPID_ON_HOST_RESOLVE_START);
                break;
            case LookupStep::kResolved: {
                Bstr text = Bstr::FromUtf8(dotted);
                self->Fire(OVSOCK_DISPID_ON_HOST_RESOLVED, text.Get());
                break;
            }
            case LookupStep::kFailed:
                self->Fire(OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED);
                break;
        }
    };
}

HRESULT COVSocket::IsIPAddress(BSTR bstrHostAddress, VARIANT_BOOL* pfYesOrNo) {
    if (pfYesOrNo == nullptr)
        return E_POINTER;
    // True (-1) when the text is a dotted IPv4 literal, as the member's name promises.
    *pfYesOrNo = ParseDottedIPv4(ToCp936(bstrHostAddress)) ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
}

HRESULT COVSocket::get_LastError(OVSOCKErrorCodeEnum* peError) {
    if (peError == nullptr)
        return E_POINTER;
    *peError = static_cast<OVSOCKErrorCodeEnum>(GetLastError());
    return S_OK;
}

HRESULT COVSocket::get_LocalHostName(BSTR* pbstrName) {
    if (pbstrName == nullptr)
        return E_POINTER;
    *pbstrName = Bstr(localHostName_).Detach();
    return S_OK;
}

HRESULT COVSocket::get_LocalIPString(BSTR* pbstrIP) {
    if (pbstrIP == nullptr)
        return E_POINTER;
    *pbstrIP = Bstr(localIpText_).Detach();
    return S_OK;
}

HRESULT COVSocket::get_LocalIP(LONG* pnIP) {
    if (pnIP == nullptr)
        return E_POINTER;
    *pnIP = localIp_;
    return S_OK;
}

HRESULT COVSocket::get_AccessType(OVSOCKAccessTypeEnum* peAccessType) {
    if (peAccessType == nullptr)
        return E_POINTER;
    *peAccessType = AccessType();
    return S_OK;
}

HRESULT COVSocket::get_LocalPort(LONG* pnPort) {
    if (pnPort == nullptr)
        return E_POINTER;
    if (SocketRef socket = DataSocket()) {
        sockaddr_in local{};
        socklen_t len = sizeof local;
        if (::getsockname(socket->Fd(), reinterpret_cast<sockaddr*>(&local), &len) == 0)
            localPort_ = ntohs(local.sin_port);
    }
    *pnPort = localPort_;
    return S_OK;
}

}  // namespace ov::sock
