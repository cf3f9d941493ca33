// The event proxy: stands for a sink that lives in a single-threaded apartment. Each Invoke
// from another thread copies its arguments (strings and arrays included) and posts the call
// to the sink's apartment, returning S_OK at once; calls made on the apartment's own thread
// go straight to the sink. The sink's last reference is dropped on its own thread as well.
//
// A proxy can be revoked: calls it has posted and not yet delivered are dropped when their
// turn comes on the sink's thread, and later calls are refused. Unadvise revokes the proxy of
// the connection it ends, so a sink that unadvises and goes away is never called again.
#pragma once

#include <atomic>
#include <memory>

#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "platform/com/object.h"
#include "platform/com/unknown.h"

class EventProxy final : public ComObject<EventProxy, IDispatch, IAgileObject> {
public:
    EventProxy(IDispatch* sink, std::shared_ptr<Apartment> apartment);
    ~EventProxy() override;

    // Drops what this proxy has posted and not delivered, and everything it is given later.
    void Revoke() { revoked_->store(true, std::memory_order_release); }
    bool Revoked() const { return revoked_->load(std::memory_order_acquire); }
    // A fresh proxy for the same sink and apartment (this one is left as it is).
    ComPtr<EventProxy> Renew() const;

    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT i, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPCOLESTR* names, UINT count, LCID lcid,
                          DISPID* ids) override;
    HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* dp, VARIANT* result,
                   EXCEPINFO* excep, UINT* argErr) override;

private:
    ComPtr<IDispatch> sink_;
    std::shared_ptr<Apartment> apartment_;
    // Shared with the posted calls, which may outlive the proxy.
    std::shared_ptr<std::atomic<bool>> revoked_ = std::make_shared<std::atomic<bool>>(false);
};

// Null when there is no sink or no apartment.
ComPtr<EventProxy> MakeEventProxy(IDispatch* sink, std::shared_ptr<Apartment> apartment);
