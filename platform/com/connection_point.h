// Connection points: the sinks advised on one outgoing (event) interface of an object.
//
// Embed a ConnectionPoint in the source object (it forwards its reference count to the owner)
// and fire events with Fire(dispid, args...). Each sink is called by IDispatch::Invoke on the
// firing thread, in advise order; a failing sink does not stop the others. A sink advised from
// a single-threaded apartment that is not agile (IAgileObject) is wrapped in an event proxy,
// so its events run on its own thread, in firing order, without the firing thread waiting.
// Ending a connection (Unadvise, UnadviseAll) revokes its proxy: events already posted to the
// sink's thread and not yet delivered are dropped there, so an unadvised sink hears nothing.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform/com/comptr.h"
#include "platform/com/dispatch.h"
#include "platform/com/event_proxy.h"
#include "platform/com/unknown.h"

class ConnectionPoint final : public IConnectionPoint {
public:
    // owner: the container's IUnknown; the connection point lives and dies with it.
    ConnectionPoint(IConnectionPointContainer* owner, const IID& eventIid);
    ~ConnectionPoint();
    ConnectionPoint(const ConnectionPoint&) = delete;
    ConnectionPoint& operator=(const ConnectionPoint&) = delete;

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return owner_->AddRef(); }
    ULONG Release() override { return owner_->Release(); }
    HRESULT GetConnectionInterface(IID* pIID) override;
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override;
    HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) override;
    HRESULT Unadvise(DWORD dwCookie) override;
    HRESULT EnumConnections(void** ppEnum) override;

    const IID& EventIid() const { return iid_; }
    // The sinks now advised, in advise order, each with a reference.
    std::vector<ComPtr<IDispatch>> Sinks() const;
    size_t Count() const;
    // Drops every sink (the owner is going away).
    void UnadviseAll();
    // Keeps every connection but drops the events posted to proxied sinks and not yet
    // delivered: each proxy is revoked and replaced by a fresh one. Events fired after this
    // returns by a firer that fetched its sinks before may still reach free-threaded sinks.
    void DropQueuedEvents();

    // Invokes dispid on every sink with the arguments in declaration order; results are
    // ignored. Never called while holding the list lock.
    template <class... A>
    void Fire(DISPID dispid, const A&... args) const {
        const std::shared_ptr<const SinkList> sinks = Snapshot();
        if (!sinks)
            return;
        for (const auto& sink : *sinks)
            DispCall(sink.Get(), dispid, DISPATCH_METHOD, nullptr, args...);
    }

private:
    struct Slot {
        DWORD cookie;
        ComPtr<IDispatch> sink;    // what is called: the sink itself or its proxy
        ComPtr<EventProxy> proxy;  // the proxy, for a sink of a single-threaded apartment
    };
    using SinkList = std::vector<ComPtr<IDispatch>>;

    // Revokes the proxies of slots that are going away; their release follows outside the lock.
    static void Revoke(std::vector<Slot>& slots);
    // The current list, which a firing thread keeps for as long as it calls the sinks.
    std::shared_ptr<const SinkList> Snapshot() const;
    // Replaces sinks_ after slots_ changed; returns the list it replaced, to be released
    // after the lock (its release may run sink code). Caller holds mutex_.
    std::shared_ptr<const SinkList> Publish();

    IConnectionPointContainer* const owner_;
    const IID iid_;
    mutable std::mutex mutex_;  // guards slots_, nextCookie_ and sinks_
    std::vector<Slot> slots_;
    DWORD nextCookie_ = 1;
    // The sinks of slots_ in advise order, null when there are none; built whole by each
    // change of slots_ and never changed after, so firing takes a reference, not a copy.
    std::shared_ptr<const SinkList> sinks_;
};

// FindConnectionPoint over a fixed set of connection points.
HRESULT FindConnectionPointIn(std::initializer_list<ConnectionPoint*> points, REFIID riid,
                              IConnectionPoint** ppCP);

// Advises sink on the connection point for eventIid of source; returns the cookie in *cookie.
HRESULT AtlAdvise(IUnknown* source, IUnknown* sink, const IID& eventIid, DWORD* cookie);
HRESULT AtlUnadvise(IUnknown* source, const IID& eventIid, DWORD cookie);
