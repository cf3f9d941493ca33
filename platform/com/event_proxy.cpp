#include "platform/com/event_proxy.h"

#include <vector>

#include "platform/com/variant.h"

EventProxy::EventProxy(IDispatch* sink, std::shared_ptr<Apartment> apartment)
    : sink_(sink), apartment_(std::move(apartment)) {}

EventProxy::~EventProxy() {
    if (!apartment_->IsCurrentThread()) {
        // If the apartment is closed the task is dropped here and the sink released now.
        apartment_->Post([sink = std::move(sink_)]() mutable { sink.Reset(); });
    }
}

ComPtr<EventProxy> EventProxy::Renew() const {
    return MakeEventProxy(sink_.Get(), apartment_);
}

HRESULT EventProxy::GetTypeInfoCount(UINT* pctinfo) {
    return sink_->GetTypeInfoCount(pctinfo);
}

HRESULT EventProxy::GetTypeInfo(UINT i, LCID lcid, ITypeInfo** ppTInfo) {
    return sink_->GetTypeInfo(i, lcid, ppTInfo);
}

HRESULT EventProxy::GetIDsOfNames(REFIID riid, LPCOLESTR* names, UINT count, LCID lcid,
                                  DISPID* ids) {
    return sink_->GetIDsOfNames(riid, names, count, lcid, ids);
}

HRESULT EventProxy::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* dp,
                           VARIANT* result, EXCEPINFO* excep, UINT* argErr) {
    if (Revoked())
        return CONNECT_E_NOCONNECTION;
    if (apartment_->IsCurrentThread())
        return sink_->Invoke(id, riid, lcid, flags, dp, result, excep, argErr);

    // The firing thread's arguments are gone once we return: the call gets its own
    // copies, by-reference arguments included (as values).
    auto args = std::make_shared<std::vector<Variant>>();
    UINT n = dp ? dp->cArgs : 0;
    args->resize(n);
    for (UINT i = 0; i < n; ++i) {
        HRESULT hr = VariantCopyInd(&(*args)[i], &dp->rgvarg[i]);
        if (FAILED(hr))
            return hr;
    }
    if (result)
        VariantInit(result);
    apartment_->Post([sink = sink_, revoked = revoked_, id, lcid, flags, args] {
        // Revocation happens on this same thread (the sink's) or before the post: a call
        // still queued when its connection ended is dropped here.
        if (revoked->load(std::memory_order_acquire))
            return;
        DISPPARAMS params{args->empty() ? nullptr : static_cast<VARIANT*>(args->data()), nullptr,
                          static_cast<UINT>(args->size()), 0};
        UINT err = 0;
        sink->Invoke(id, IID_NULL, lcid, flags, &params, nullptr, nullptr, &err);
    });
    return S_OK;
}

ComPtr<EventProxy> MakeEventProxy(IDispatch* sink, std::shared_ptr<Apartment> apartment) {
    if (sink == nullptr || !apartment)
        return nullptr;
    return MakeComObject<EventProxy>(sink, std::move(apartment));
}
