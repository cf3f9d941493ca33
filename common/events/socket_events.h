// The events of IOVSocketEvents as a C++ interface with typed arguments.
//
// An object that drives a socket derives from OVSocketEventHandler, overrides the members it
// needs and connects through an OVSocketEventConnection (common/events/event_sink.h). The one
// list below declares the members and builds the dispatch table; a test checks it against
// kOVSocketEvents.
#pragma once

#include "common/interfaces/ovsock.h"

// X(DISPID, member name, (parameters), (arguments))
#define OV_SOCKET_EVENT_LIST(X)                                                                  \
    X(OVSOCK_DISPID_ON_CONNECT_START, OnConnectStart, (), ())                                    \
    X(OVSOCK_DISPID_ON_CONNECT_FAILED, OnConnectFailed, (), ())                                  \
    X(OVSOCK_DISPID_ON_CONNECTION_ESTABLISHED, OnConnectionEstablished, (), ())                  \
    X(OVSOCK_DISPID_ON_CONNECTION_CLOSED, OnConnectionClosed, (), ())                            \
    X(OVSOCK_DISPID_ON_HOST_RESOLVE_START, OnHostResolveStart, (), ())                           \
    X(OVSOCK_DISPID_ON_ON_HOST_RESOLVE_FAILED, OnHostResolveFailed, (), ())                      \
    X(OVSOCK_DISPID_ON_HOST_RESOLVED, OnHostResolved, (BSTR bstrHostAddress), (bstrHostAddress)) \
    X(OVSOCK_DISPID_ON_CONNECTION_REQUEST, OnConnectionIncoming, (), ())                         \
    X(OVSOCK_DISPID_ON_DATA_AVAILABLE, OnDataAvailable, (), ())                                  \
    X(OVSOCK_DISPID_ON_SEND_PROGRESS, OnSendProgress,                                            \
      (LONG nPacketID, LONG nSent, LONG nPacketSize, SHORT fComplete),                           \
      (nPacketID, nSent, nPacketSize, fComplete))                                                \
    X(OVSOCK_DISPID_ON_SEND_ERROR, OnSendError, (LONG nPacketID), (nPacketID))

// One virtual member per event, each doing nothing unless overridden. fComplete of
// OnSendProgress is 0 or -1.
class OVSocketEventHandler {
public:
// The empty defaults name parameters they do not use.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define OV_DECLARE_EVENT_MEMBER(dispid, name, params, args) \
    virtual void name params {}
    OV_SOCKET_EVENT_LIST(OV_DECLARE_EVENT_MEMBER)
#undef OV_DECLARE_EVENT_MEMBER
#pragma GCC diagnostic pop

    // An event that could not be delivered (unknown DISPID, or arguments that do not fit).
    // The default writes a line to stderr.
    virtual void OnEventRefused(DISPID dispid, HRESULT hr);

protected:
    ~OVSocketEventHandler() = default;
};

const DispatchTable<OVSocketEventHandler>& OVSocketEventsDispatch();
