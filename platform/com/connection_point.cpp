#include "platform/com/connection_point.h"

#include "platform/com/apartment.h"

ConnectionPoint::ConnectionPoint(IConnectionPointContainer* owner, const IID& eventIid)
    : owner_(owner), iid_(eventIid) {}

ConnectionPoint::~ConnectionPoint() {
    UnadviseAll();
}

HRESULT ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
    if (ppv == nullptr)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
        *ppv = static_cast<IConnectionPoint*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT ConnectionPoint::GetConnectionInterface(IID* pIID) {
    if (pIID == nullptr)
        return E_POINTER;
    *pIID = iid_;
    return S_OK;
}

HRESULT ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** ppCPC) {
    if (ppCPC == nullptr)
        return E_POINTER;
    *ppCPC = owner_;
    owner_->AddRef();
    return S_OK;
}

HRESULT ConnectionPoint::Advise(IUnknown* pUnkSink, DWORD* pdwCookie) {
    if (pdwCookie == nullptr)
        return E_POINTER;
    *pdwCookie = 0;
    if (pUnkSink == nullptr)
        return E_POINTER;
    ComPtr<IDispatch> sink;
    if (FAILED(pUnkSink->QueryInterface(iid_, sink.ReleaseAndGetVoidAddress())) &&
        FAILED(pUnkSink->QueryInterface(IID_IDispatch, sink.ReleaseAndGetVoidAddress())))
        return CONNECT_E_CANNOTCONNECT;

    // A sink advised from a single-threaded apartment belongs to that thread unless it says
    // it may be called from anywhere.
    std::shared_ptr<Apartment> apartment = Apartment::Current();
    ComPtr<EventProxy> proxy;
    if (apartment && apartment->IsSingleThreaded()) {
        ComPtr<IAgileObject> agile;
        if (FAILED(pUnkSink->QueryInterface(IID_IAgileObject, agile.ReleaseAndGetVoidAddress()))) {
            proxy = MakeEventProxy(sink.Get(), apartment);
            sink = ComPtr<IDispatch>(proxy.Get());
        }
    }

    std::shared_ptr<const SinkList> replaced;  // dropped after the lock
    std::lock_guard<std::mutex> lock(mutex_);
    DWORD cookie = nextCookie_++;
    if (nextCookie_ == 0)
        nextCookie_ = 1;  // 0 is never a valid cookie
    slots_.push_back(Slot{cookie, std::move(sink), std::move(proxy)});
    replaced = Publish();
    *pdwCookie = cookie;
    return S_OK;
}

void ConnectionPoint::Revoke(std::vector<Slot>& slots) {
    for (auto& slot : slots)
        if (slot.proxy)
            slot.proxy->Revoke();
}

HRESULT ConnectionPoint::Unadvise(DWORD dwCookie) {
    // Dropped after the lock: their release may run sink code.
    std::vector<Slot> released;
    std::shared_ptr<const SinkList> replaced;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto it = slots_.begin(); it != slots_.end(); ++it) {
            if (it->cookie == dwCookie) {
                released.push_back(std::move(*it));
                slots_.erase(it);
                replaced = Publish();
                break;
            }
        }
    }
    if (released.empty())
        return CONNECT_E_NOCONNECTION;
    Revoke(released);
    return S_OK;
}

std::shared_ptr<const ConnectionPoint::SinkList> ConnectionPoint::Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sinks_;
}

std::shared_ptr<const ConnectionPoint::SinkList> ConnectionPoint::Publish() {
    std::shared_ptr<const SinkList> list;
    if (!slots_.empty()) {
        auto sinks = std::make_shared<SinkList>();
        sinks->reserve(slots_.size());
        for (const auto& slot : slots_)
            sinks->push_back(slot.sink);
        list = std::move(sinks);
    }
    return std::exchange(sinks_, std::move(list));
}

HRESULT ConnectionPoint::EnumConnections(void** ppEnum) {
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

std::vector<ComPtr<IDispatch>> ConnectionPoint::Sinks() const {
    const std::shared_ptr<const SinkList> sinks = Snapshot();
    return sinks ? *sinks : SinkList();
}

size_t ConnectionPoint::Count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return slots_.size();
}

void ConnectionPoint::UnadviseAll() {
    std::vector<Slot> released;
    std::shared_ptr<const SinkList> replaced;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        released.swap(slots_);
        replaced = Publish();
    }
    Revoke(released);
}

void ConnectionPoint::DropQueuedEvents() {
    std::vector<Slot> replaced;
    std::shared_ptr<const SinkList> previous;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (auto& slot : slots_) {
            if (!slot.proxy)
                continue;
            ComPtr<EventProxy> fresh = slot.proxy->Renew();
            replaced.push_back(Slot{slot.cookie, std::move(slot.sink), std::move(slot.proxy)});
            slot.proxy = fresh;
            slot.sink = ComPtr<IDispatch>(fresh.Get());
        }
        if (!replaced.empty())
            previous = Publish();
    }
    Revoke(replaced);
}

HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID riid,
                              IConnectionPoint** ppCP) {
    if (ppCP == nullptr)
        return E_POINTER;
    *ppCP = nullptr;
    for (ConnectionPoint* cp : points) {
        if (cp->EventIid() == riid) {
            cp->AddRef();
            *ppCP = cp;
            return S_OK;
        }
    }
    return CONNECT_E_NOCONNECTION;
}

namespace {
HRESULT FindPoint(IUnknown* source, const IID& eventIid, ComPtr<IConnectionPoint>* point) {
    if (source == nullptr)
        return E_INVALIDARG;
    ComPtr<IConnectionPointContainer> container;
    HRESULT hr =
        source->QueryInterface(IID_IConnectionPointContainer, container.ReleaseAndGetVoidAddress());
    if (FAILED(hr))
        return hr;
    return container->FindConnectionPoint(eventIid, point->ReleaseAndGetAddressOf());
}
}  // namespace

HRESULT AtlAdvise(IUnknown* source, IUnknown* sink, const IID& eventIid, DWORD* cookie) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindPoint(source, eventIid, &point);
    if (FAILED(hr))
        return hr;
    return point->Advise(sink, cookie);
}

HRESULT AtlUnadvise(IUnknown* source, const IID& eventIid, DWORD cookie) {
    ComPtr<IConnectionPoint> point;
    HRESULT hr = FindPoint(source, eventIid, &point);
    if (FAILED(hr))
        return hr;
    return point->Unadvise(cookie);
}
