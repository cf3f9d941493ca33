// COVService: construction, Init and Deinit, the guards, properties and event raising.
#include <mutex>

#include "kernel/reply_handlers.h"
#include "kernel/service.h"
#include "kernel/socket_sink.h"
#include "platform/win32/message_box.h"

namespace ov::kernel {

namespace {
const char kAbout[] = "Orvane Client Kernel v1.03b";
constexpr DWORD kNoCookie = 0xFEFEFEFE;

HRESULT CreateSocketThroughRuntime(ComPtr<IOVSocket>* out) {
    return CoCreateInstance(CLSID_OVSocket, out);
}

// Converts one event argument into the VARIANT a sink receives.
void ToVariant(const EventArg& a, Variant* v) {
    switch (a.kind) {
        case EventArg::Kind::Long:
            *v = Variant::Long(a.value);
            break;
        case EventArg::Kind::Bool:
            *v = Variant::Bool(a.value != 0);
            break;
        case EventArg::Kind::Bytes: {
            CByteArrayVariant bytes(a.bytes);
            VARIANT raw;
            VariantInit(&raw);
            bytes.Detach(&raw);
            v->Attach(&raw);
            break;
        }
    }
}
}  // namespace

const DispatchTable<SocketSink>& SocketSink::DispatchMap() {
    static const DispatchTable<SocketSink> table{
        DispEvent(OVSOCK_DISPID_ON_DATA_AVAILABLE, "OnDataAvailable", &SocketSink::OnDataAvailable),
        DispEvent(OVSOCK_DISPID_ON_SEND_PROGRESS, "OnSendProgress", &SocketSink::OnSendProgress),
    };
    return table;
}

void SocketSink::OnDataAvailable() {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    if (owner_)
        owner_->OnSocketDataAvailable();
}

void SocketSink::OnSendProgress(LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete) {
    std::shared_lock<std::shared_mutex> lock(mutex_);
    if (owner_)
        owner_->OnSocketSendProgress(nPacketID, nSent, nPacketSize, fComplete != 0);
}

void SocketSink::Detach() {
    std::unique_lock<std::shared_mutex> lock(mutex_);
    owner_ = nullptr;
}

COVService::COVService()
    : clock_(SystemClock()),
      socketFactory_(CreateSocketThroughRuntime),
      events_(this, DIID_IOVServiceEvents) {}

COVService::~COVService() {
    Deinit();
    ComPtr<SocketSink> sink;
    ComPtr<IOVSocket> socket;
    {
        CriticalSectionLock lock(cs_);
        sink = std::move(sink_);
        socket = std::move(socket_);
    }
    if (sink)
        sink->Detach();
    if (socket)
        socket->Close();
}

HRESULT COVService::EnumConnectionPoints(void** ppEnum) {
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

HRESULT COVService::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) {
    return FindConnectionPointIn({&events_}, riid, ppCP);
}

bool COVService::CheckInit(const char* method, LONG* out) {
    {
        CriticalSectionLock lock(cs_);
        if (initialised_)
            return true;
    }
    if (out)
        *out = 0;
    MessageBox(nullptr, "Please Call Init() First!", std::string("COVService::") + method + "()",
               MB_OK);
    return false;
}

bool COVService::CheckLogin(LONG* out) {
    CriticalSectionLock lock(cs_);
    if (currentPin_ != 0)
        return true;
    if (out)
        *out = 0;
    return false;
}

void COVService::Raise(DISPID dispid, std::vector<EventArg> args) {
    Raise(KernelEvent{dispid, std::move(args)});
}

void COVService::Raise(const KernelEvent& event) {
    {
        CriticalSectionLock lock(cs_);
        if (!eventsEnabled_)
            return;
    }
    // Dispatch arguments go last-first.
    std::vector<Variant> argv(event.args.size());
    for (size_t i = 0; i < event.args.size(); ++i)
        ToVariant(event.args[i], &argv[argv.size() - 1 - i]);
    for (const auto& sink : events_.Sinks()) {
        DISPPARAMS dp{argv.empty() ? nullptr : static_cast<VARIANT*>(argv.data()), nullptr,
                      static_cast<UINT>(argv.size()), 0};
        UINT argErr = 0;
        sink->Invoke(event.dispid, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &dp, nullptr,
                     nullptr, &argErr);  // a failing sink does not stop the others
    }
}

HRESULT COVService::Init(BSTR sLocalHost, LONG nLocalPort, LONG* pbOK) {
    if (pbOK == nullptr)
        return E_POINTER;
    *pbOK = 0;
    CriticalSectionLock lock(cs_);
    // A second Init would orphan running worker threads; the object serves one session.
    if (initialised_)
        return S_OK;

    eventsEnabled_ = true;
    packetSeq_ = 1000;
    cmdSeq_ = 1000;
    currentPin_ = 0;
    loginId_ = 0;
    keepAliveFailures_ = 0;
    inFlight_.reset();
    queue_.clear();
    awaited_.clear();
    recentPackets_.clear();
    for (auto& r : roundTrips_)
        r = 0;
    roundTripIndex_ = 0;
    components_ = {OV_COMPONENT_MESSAGER, OV_COMPONENT_CHAT};

    stop_ = CreateEvent(TRUE, FALSE);
    inFlightEvent_ = CreateEvent(TRUE, FALSE);
    awaitingReply_ = CreateEvent(TRUE, FALSE);
    online_ = CreateEvent(TRUE, FALSE);
    for (auto& f : finished_)
        f = CreateEvent(TRUE, TRUE);

    if (!socket_) {
        if (FAILED(socketFactory_(&socket_)) || !socket_)
            return S_OK;
        sink_ = MakeComObject<SocketSink>(this);
        AtlAdvise(socket_.Get(), sink_->GetUnknown(), DIID_IOVSocketEvents, &sinkCookie_);
    }
    OVSOCKErrorCodeEnum initError = OVSOCK_ERR_NONE;
    socket_->InitializeSocket(&initError);
    if (initError != OVSOCK_ERR_NONE)
        return S_OK;

    VARIANT_BOOL ok = VARIANT_FALSE;
    socket_->Create(OVSOCK_UDP, &ok);
    socket_->Bind(sLocalHost, nLocalPort, &ok);
    LONG localIp = 0;
    socket_->get_LocalIP(&localIp);
    localIp_ = static_cast<uint32_t>(localIp);
    clientCode_ = OV_CLIENT_CODE;

    StartThread(threads_[0], finished_[0], &COVService::RetransmissionThread);
    StartThread(threads_[1], finished_[1], &COVService::KeepAliveThread);
    StartThread(threads_[2], finished_[2], &COVService::ReplyTimeoutThread);

    initialised_ = true;
    *pbOK = 1;
    return S_OK;
}

void COVService::StartThread(std::thread& thread, HANDLE finished, void (COVService::*body)()) {
    ResetEvent(finished);
    try {
        thread = std::thread([this, finished, body] {
            (this->*body)();
            SetEvent(finished);
        });
    } catch (const std::system_error&) {
        SetEvent(finished);
    }
}

HRESULT COVService::Deinit() {
    ComPtr<IOVSocket> socket;
    ComPtr<SocketSink> sink;
    {
        CriticalSectionLock lock(cs_);
        if (!initialised_)
            return S_OK;
        if (sinkCookie_ != kNoCookie)
            AtlUnadvise(socket_.Get(), DIID_IOVSocketEvents, sinkCookie_);
        sinkCookie_ = kNoCookie;
        socket_->Close();
        socket = std::move(socket_);
        sink = std::move(sink_);
        SetEvent(stop_);
    }
    // The socket's threads may be inside a call to us waiting for the lock: they are let go
    // and the socket released only now that the lock is free.
    sink->Detach();
    socket.Reset();
    WaitForMultipleObjects(3, finished_, TRUE, INFINITE);
    for (auto& t : threads_)
        if (t.joinable())
            t.join();

    LONG ignored = 0;
    CancelAllCommands(&ignored);

    CriticalSectionLock lock(cs_);
    awaited_.clear();
    recentPackets_.clear();
    for (HANDLE* h : {&stop_, &inFlightEvent_, &awaitingReply_, &online_, &finished_[0],
                      &finished_[1], &finished_[2]}) {
        CloseHandle(*h);
        *h = nullptr;
    }
    initialised_ = false;
    return S_OK;
}

HRESULT COVService::get_ServerAddress(BSTR* pbstrAddress) {
    if (pbstrAddress == nullptr)
        return E_POINTER;
    CriticalSectionLock lock(cs_);
    *pbstrAddress = Bstr(serverAddress_).Detach();
    return S_OK;
}

HRESULT COVService::get_ServerPort(LONG* pnPort) {
    if (pnPort == nullptr)
        return E_POINTER;
    CriticalSectionLock lock(cs_);
    *pnPort = serverPort_;
    return S_OK;
}

HRESULT COVService::get_IsLoggedIn(LONG* pbLoggedIn) {
    if (pbLoggedIn == nullptr)
        return E_POINTER;
    *pbLoggedIn = 0;  // the kernel keeps no live value for it
    return S_OK;
}

HRESULT COVService::get_CurrentUserName(BSTR* pbstrUserName) {
    if (pbstrUserName == nullptr)
        return E_POINTER;
    *pbstrUserName = nullptr;
    return S_OK;
}

HRESULT COVService::About() {
    MessageBox(nullptr, kAbout, "OVService", MB_OK);
    return S_OK;
}

HRESULT COVService::UnadviseAllConnections() {
    CriticalSectionLock lock(cs_);
    eventsEnabled_ = false;
    return S_OK;
}

HRESULT COVService::SetProxy(OVAccessTypeEnum eAccessType, BSTR bstrProxyHost, LONG nProxyPort,
                             OVProxyAuthMethodEnum eProxyAuthMethod, BSTR bstrProxyUserName,
                             BSTR bstrProxyPassword) {
    if (!CheckInit("SetProxy", nullptr))
        return S_OK;
    ComPtr<IOVSocket> socket;
    {
        CriticalSectionLock lock(cs_);
        socket = socket_;
    }
    if (socket)
        socket->SetProxy(static_cast<OVSOCKAccessTypeEnum>(eAccessType), bstrProxyHost, nProxyPort,
                         static_cast<OVSOCKProxyAuthMethodEnum>(eProxyAuthMethod),
                         bstrProxyUserName, bstrProxyPassword);
    return S_OK;
}

}  // namespace ov::kernel
