// The typed event sink: one COM object that receives the dispatch calls of an event
// interface and hands each to a member of a C++ handler, with typed arguments.
//
//   class CChatWindow : public QWidget, public OVServiceEventHandler {
//       void OnSendToUserReply(LONG nCmdSeqNum, OVErrorCodeEnum eError) override;
//       OVServiceEventConnection kernelEvents_{this};
//   };
//   kernelEvents_.Connect(kernel);     // from the window's (GUI) thread
//   kernelEvents_.Disconnect();        // or let the destructor do it
//
// The sink is a separate object that the event source keeps alive; it holds only a weak
// link to the handler (common/events/handler_link.h), so a handler owned by someone else (a
// QObject by its parent) is never deleted, nor kept alive, by the source. Connected from a
// single-threaded apartment, events reach the handler on that thread in firing order (the
// runtime's proxy posts them); Disconnect ends the connection, drops events still queued for
// it, and returns only when no call can reach the handler any more. Connected with agile,
// the handler is called directly on the firing thread.
#pragma once

#include "common/events/handler_link.h"
#include "common/events/service_events.h"
#include "common/events/socket_events.h"

struct OVServiceEventsTraits {
    using Handler = OVServiceEventHandler;
    static const IID& Iid() { return DIID_IOVServiceEvents; }
    static const DispatchTable<Handler>& Table() { return OVServiceEventsDispatch(); }
};

struct OVSocketEventsTraits {
    using Handler = OVSocketEventHandler;
    static const IID& Iid() { return DIID_IOVSocketEvents; }
    static const DispatchTable<Handler>& Table() { return OVSocketEventsDispatch(); }
};

// Extra: nothing, or IAgileObject for a sink that is called on the firing thread.
template <class Traits, class... Extra>
class TypedEventSink final
    : public NoTypeInfoObject<TypedEventSink<Traits, Extra...>, IDispatch, Extra...> {
public:
    using Handler = typename Traits::Handler;

    explicit TypedEventSink(Handler* handler) : link_(handler) {}

    // After it returns no call reaches the handler (see HandlerLink::Detach).
    void Detach() { link_.Detach(); }

    HRESULT GetIDsOfNames(REFIID, LPCOLESTR* names, UINT count, LCID, DISPID* ids) override {
        return Traits::Table().GetIDsOfNames(names, count, ids);
    }
    HRESULT Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* dp, VARIANT* result, EXCEPINFO*,
                   UINT* argErr) override {
        HandlerLink::Pin pin = link_.Acquire();
        auto* handler = static_cast<Handler*>(pin.Get());
        if (handler == nullptr)
            return S_OK;  // disconnected: the event is for nobody
        HRESULT hr = Traits::Table().Invoke(handler, id, flags, dp, result, argErr);
        if (FAILED(hr))
            handler->OnEventRefused(id, hr);
        return hr;
    }

private:
    HandlerLink link_;
};

template <class Traits>
class EventConnection {
public:
    using Handler = typename Traits::Handler;

    explicit EventConnection(Handler* handler) : handler_(handler) {}
    ~EventConnection() { Disconnect(); }
    EventConnection(const EventConnection&) = delete;
    EventConnection& operator=(const EventConnection&) = delete;

    // Advises a new sink for the handler on source's connection point for the interface
    // (ending a previous connection first). agile: the handler is called on the firing
    // thread even from a single-threaded apartment.
    HRESULT Connect(IUnknown* source, bool agile = false) {
        Disconnect();
        if (source == nullptr)
            return E_POINTER;
        ComPtr<IDispatch> sink;
        if (agile) {
            auto s = MakeComObject<TypedEventSink<Traits, IAgileObject>>(handler_);
            detach_ = [s] { s->Detach(); };
            sink = ComPtr<IDispatch>(s.Get());
        } else {
            auto s = MakeComObject<TypedEventSink<Traits>>(handler_);
            detach_ = [s] { s->Detach(); };
            sink = ComPtr<IDispatch>(s.Get());
        }
        HRESULT hr = AtlAdvise(source, sink.Get(), Traits::Iid(), &cookie_);
        if (FAILED(hr)) {
            Disconnect();
            return hr;
        }
        source_ = ComPtr<IUnknown>(source);
        return S_OK;
    }

    // Unadvises (events still queued for the handler are dropped) and cuts the sink's link:
    // once it returns, no event reaches the handler.
    void Disconnect() {
        if (source_) {
            AtlUnadvise(source_.Get(), Traits::Iid(), cookie_);
            source_.Reset();
        }
        cookie_ = 0;
        if (detach_) {
            detach_();
            detach_ = nullptr;
        }
    }

    bool Connected() const { return static_cast<bool>(source_); }

private:
    Handler* const handler_;
    ComPtr<IUnknown> source_;
    DWORD cookie_ = 0;
    std::function<void()> detach_;  // holds the sink until the link is cut
};

using OVServiceEventConnection = EventConnection<OVServiceEventsTraits>;
using OVSocketEventConnection = EventConnection<OVSocketEventsTraits>;
