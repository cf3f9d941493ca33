// COVSocket: lifetime, initialisation, the connection point and the plain properties.
#include "sock/ovsocket.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include "platform/text/cp936.h"
#include "platform/win32/last_error.h"
#include "sock/local_host.h"

namespace ov::sock {

std::string ToCp936(BSTR text) {
    return ov::Utf16ToCp936(BstrView(text));
}

COVSocket::COVSocket() : events_(this, DIID_IOVSocketEvents) {}

COVSocket::~COVSocket() {
    Close();
    // The threads notice stop at once; Close has also woken those that waited on the socket.
    // Connect and resolve threads end when their call returns.
    if (Initialised())
        WaitForMultipleObjects(4, idleEvents_, TRUE, INFINITE);
    for (std::thread* t : {&receiveThread_, &sendThread_, &connectThread_, &resolveThread_}) {
        if (t->joinable())
            t->join();
    }
    CloseEvents();
}

bool COVSocket::CreateEvents() {
    stop_ = CreateEvent(TRUE, FALSE);
    sendIdle_ = CreateEvent(TRUE, TRUE);
    receiveIdle_ = CreateEvent(TRUE, TRUE);
    connectIdle_ = CreateEvent(TRUE, TRUE);
    resolveIdle_ = CreateEvent(TRUE, TRUE);
    sendPending_ = CreateEvent(TRUE, FALSE);
    receiveArmed_ = CreateEvent(TRUE, FALSE);
    if (!stop_ || !sendIdle_ || !receiveIdle_ || !connectIdle_ || !resolveIdle_ || !sendPending_ ||
        !receiveArmed_) {
        CloseEvents();
        return false;
    }
    idleEvents_[0] = sendIdle_;
    idleEvents_[1] = receiveIdle_;
    idleEvents_[2] = connectIdle_;
    idleEvents_[3] = resolveIdle_;
    sendWaitSet_[0] = stop_;
    sendWaitSet_[1] = sendPending_;
    receiveWaitSet_[0] = stop_;
    receiveWaitSet_[1] = receiveArmed_;
    return true;
}

void COVSocket::CloseEvents() {
    for (HANDLE* h : {&stop_, &sendIdle_, &receiveIdle_, &connectIdle_, &resolveIdle_,
                      &sendPending_, &receiveArmed_}) {
        if (*h != nullptr)
            CloseHandle(*h);
        *h = nullptr;
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
        proxy_.authMethod = OVSOCK_AUTH_NONE;
        proxy_.userName = Bstr::Empty();
        proxy_.password = Bstr::Empty();
    }
    proxyNegotiated_ = false;
    if (!CreateEvents()) {
        *peError = OVSOCK_ERR_EVENT;
        return S_OK;
    }
    nextPacketId_ = 100;
    // The socket layer of this platform needs no start-up, so there is no version to check:
    // OVSOCK_ERR_NO_SOCKET and OVSOCK_ERR_SOCKET_VERSION do not occur.
    LocalHost host = DiscoverLocalHost();
    localHostName_ = Bstr::FromCp936(host.name);
    localIpText_ = Bstr::FromCp936(host.ipText);
    localIp_ = static_cast<LONG>(host.ip);
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

LookupObserver COVSocket::LookupEvents() const {
    return [this](LookupStep step, const std::string& dotted) {
        switch (step) {
            case LookupStep::kStart:
                Fire(OVSOCK_DISPID_ON_HOST_RESOLVE_START);
                break;
            case LookupStep::kResolved: {
                Bstr text = Bstr::FromUtf8(dotted);
                Fire(OVSOCK_DISPID_ON_HOST_RESOLVED, text.Get());
                break;
            }
            case LookupStep::kFailed:
                Fire(OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED);
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
