// COVService: construction, Init and Deinit, the guards, properties and event raising.
#include <mutex>
#include <system_error>

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

// The object whose thread this is: set for the whole life of a worker thread, and for the
// length of each call the socket makes into the kernel.
thread_local const COVService* t_ownThreadOf = nullptr;

class OwnThreadScope {
public:
    explicit OwnThreadScope(const COVService* owner) : saved_(t_ownThreadOf) {
        t_ownThreadOf = owner;
    }
    ~OwnThreadScope() { t_ownThreadOf = saved_; }
    OwnThreadScope(const OwnThreadScope&) = delete;
    OwnThreadScope& operator=(const OwnThreadScope&) = delete;

private:
    const COVService* saved_;
};
}  // namespace

const DispatchTable<SocketSink>& SocketSink::DispatchMap() {
    static const DispatchTable<SocketSink> table{
        DispEvent(OVSOCK_DISPID_ON_DATA_AVAILABLE, "OnDataAvailable", &SocketSink::OnDataAvailable),
        DispEvent(OVSOCK_DISPID_ON_SEND_PROGRESS, "OnSendProgress", &SocketSink::OnSendProgress),
    };
    return table;
}

COVService* SocketSink::Enter() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (owner_)
        ++calls_;
    return owner_;
}

void SocketSink::Leave() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --calls_;
    }
    idle_.notify_all();
}

void SocketSink::OnDataAvailable() {
    if (COVService* owner = Enter()) {
        {
            OwnThreadScope scope(owner);
            owner->OnSocketDataAvailable();
        }
        Leave();
    }
}

void SocketSink::OnSendProgress(LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete) {
    if (COVService* owner = Enter()) {
        {
            OwnThreadScope scope(owner);
            owner->OnSocketSendProgress(nPacketID, nSent, nPacketSize, fComplete != 0);
        }
        Leave();
    }
}

void SocketSink::Detach(bool waitForCalls) {
    std::unique_lock<std::mutex> lock(mutex_);
    owner_ = nullptr;
    if (waitForCalls)
        idle_.wait(lock, [this] { return calls_ == 0; });
}

Session::Session(std::shared_ptr<Clock> sessionClock)
    : clock(std::move(sessionClock)),
      stop(CreateEvent(TRUE, FALSE)),
      inFlight(CreateEvent(TRUE, FALSE)),
      awaitingReply(CreateEvent(TRUE, FALSE)),
      online(CreateEvent(TRUE, FALSE)),
      finished{CreateEvent(TRUE, TRUE), CreateEvent(TRUE, TRUE), CreateEvent(TRUE, TRUE)} {}

Session::~Session() {
    for (HANDLE h : {stop, inFlight, awaitingReply, online, finished[0], finished[1], finished[2]})
        CloseHandle(h);
}

COVService::COVService()
    : events_(this, DIID_IOVServiceEvents),
      clock_(SystemClock()),
      socketFactory_(CreateSocketThroughRuntime) {}

COVService::~COVService() {
    Deinit();
    FinishRetired();
}

void COVService::SetClock(std::shared_ptr<Clock> clock) {
    CriticalSectionLock lock(cs_);
    explicitClock_ = std::move(clock);
}

void COVService::SetSocketFactory(SocketFactory factory) {
    CriticalSectionLock lock(cs_);
    socketFactory_ = std::move(factory);
}

bool COVService::OnOwnThread() const {
    return t_ownThreadOf == this;
}

void COVService::Signal(HANDLE Session::*event, bool set) {
    if (!session_)
        return;
    if (set)
        SetEvent(session_.get()->*event);
    else
        ResetEvent(session_.get()->*event);
}

void COVService::FinishRetired() {
    std::vector<std::thread> threads;
    std::vector<ComPtr<SocketSink>> sinks;
    std::vector<ComPtr<IOVSocket>> sockets;
    {
        CriticalSectionLock lock(cs_);
        threads.swap(retiredThreads_);
        sinks.swap(retiredSinks_);
        sockets.swap(retiredSockets_);
    }
    for (auto& sink : sinks)
        sink->Detach(true);
    sockets.clear();  // the last release of a socket joins its threads
    for (auto& t : threads)
        t.join();
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
    // The sinks are fetched before the flag is read: UnadviseAllConnections clears the flag
    // and then revokes what the sinks of a single-threaded apartment still hold, so an event
    // racing it either sees the flag clear or posts to a revoked proxy - never to the window.
    const auto sinks = events_.Sinks();
    {
        CriticalSectionLock lock(cs_);
        if (!eventsEnabled_)
            return;
    }
    // Dispatch arguments go last-first.
    std::vector<Variant> argv(event.args.size());
    for (size_t i = 0; i < event.args.size(); ++i)
        ToVariant(event.args[i], &argv[argv.size() - 1 - i]);
    for (const auto& sink : sinks) {
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
    if (!OnOwnThread())
        FinishRetired();
    SocketFactory factory;
    {
        CriticalSectionLock lock(cs_);
        // A second Init would orphan running worker threads; the object serves one session.
        if (initialised_ || starting_ || stopping_)
            return S_OK;
        starting_ = true;
        factory = socketFactory_;
    }

    // Creating the socket may load its library and run its registration: not under the lock.
    ComPtr<IOVSocket> socket;
    ComPtr<SocketSink> sink;
    DWORD cookie = kNoCookie;
    OVSOCKErrorCodeEnum initError = OVSOCK_ERR_NONE;
    if (SUCCEEDED(factory(&socket)) && socket) {
        sink = MakeComObject<SocketSink>(this);
        AtlAdvise(socket.Get(), sink->GetUnknown(), DIID_IOVSocketEvents, &cookie);
        socket->InitializeSocket(&initError);
    }
    if (!socket || initError != OVSOCK_ERR_NONE) {
        // Nothing of this attempt stays: the next Init starts with a fresh socket.
        if (cookie != kNoCookie)
            AtlUnadvise(socket.Get(), DIID_IOVSocketEvents, cookie);
        if (sink)
            sink->Detach(true);
        CriticalSectionLock lock(cs_);
        starting_ = false;
        return S_OK;
    }
    {
        // In place before the socket can receive: each OnDataAvailable must be read.
        CriticalSectionLock lock(cs_);
        socket_ = socket;
        sink_ = sink;
        sinkCookie_ = cookie;
    }
    VARIANT_BOOL ok = VARIANT_FALSE;
    socket->Create(OVSOCK_UDP, &ok);
    socket->Bind(sLocalHost, nLocalPort, &ok);
    LONG localIp = 0;
    socket->get_LocalIP(&localIp);

    CriticalSectionLock lock(cs_);
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
    localIp_ = static_cast<uint32_t>(localIp);
    clientCode_ = OV_CLIENT_CODE;
    clock_ = explicitClock_ ? explicitClock_ : ProcessClock();
    session_ = std::make_shared<Session>(clock_);

    StartThread(0, &COVService::RetransmissionThread);
    StartThread(1, &COVService::KeepAliveThread);
    StartThread(2, &COVService::ReplyTimeoutThread);

    initialised_ = true;
    starting_ = false;
    *pbOK = 1;
    return S_OK;
}

void COVService::StartThread(size_t index, void (COVService::*body)(const Session&)) {
    std::shared_ptr<Session> session = session_;
    ResetEvent(session->finished[index]);
    try {
        threads_[index] = std::thread([this, session, index, body] {
            t_ownThreadOf = this;
            (this->*body)(*session);
            SetEvent(session->finished[index]);
        });
    } catch (const std::system_error&) {
        SetEvent(session->finished[index]);
    }
}

HRESULT COVService::Deinit() {
    const bool ownThread = OnOwnThread();
    if (!ownThread)
        FinishRetired();
    ComPtr<IOVSocket> socket;
    ComPtr<SocketSink> sink;
    std::shared_ptr<Session> session;
    std::thread threads[3];
    {
        CriticalSectionLock lock(cs_);
        if (!initialised_ || stopping_)
            return S_OK;
        stopping_ = true;
        if (sinkCookie_ != kNoCookie)
            AtlUnadvise(socket_.Get(), DIID_IOVSocketEvents, sinkCookie_);
        sinkCookie_ = kNoCookie;
        socket_->Close();
        socket = std::move(socket_);
        sink = std::move(sink_);
        session = std::move(session_);
        SetEvent(session->stop);
        for (size_t i = 0; i < 3; ++i)
            threads[i] = std::move(threads_[i]);
    }
    if (ownThread) {
        // This thread is one of those to wait for, or a socket thread the socket's release
        // would join: the waits and the release are left to FinishRetired.
        sink->Detach(false);
        CriticalSectionLock lock(cs_);
        retiredSinks_.push_back(std::move(sink));
        retiredSockets_.push_back(std::move(socket));
        for (auto& t : threads)
            if (t.joinable())
                retiredThreads_.push_back(std::move(t));
    } else {
        // The socket's threads may be inside a call to us waiting for the lock: they are let
        // go and the socket released only now that the lock is free.
        sink->Detach(true);
        socket.Reset();
        WaitForMultipleObjects(3, session->finished, TRUE, INFINITE);
        for (auto& t : threads)
            if (t.joinable())
                t.join();
    }

    LONG ignored = 0;
    CancelAllCommands(&ignored);

    CriticalSectionLock lock(cs_);
    awaited_.clear();
    recentPackets_.clear();
    initialised_ = false;
    stopping_ = false;
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
    {
        CriticalSectionLock lock(cs_);
        eventsEnabled_ = false;
    }
    // The connections stay, but what was already posted to a sink's own thread is dropped
    // there: a window that unadvises and goes away hears nothing more.
    events_.DropQueuedEvents();
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
