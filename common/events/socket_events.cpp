#include "common/events/socket_events.h"

#include <cstdio>

void OVSocketEventHandler::OnEventRefused(DISPID dispid, HRESULT hr) {
    std::fprintf(stderr, "orvane: socket event %d refused: 0x%08X\n", static_cast<int>(dispid),
                 static_cast<unsigned>(hr));
}

const DispatchTable<OVSocketEventHandler>& OVSocketEventsDispatch() {
#define OV_EVENT_ENTRY(dispid, name, params, args) \
    DispEvent(dispid, #name, &OVSocketEventHandler::name),
    static const DispatchTable<OVSocketEventHandler> table{OV_SOCKET_EVENT_LIST(OV_EVENT_ENTRY)};
#undef OV_EVENT_ENTRY
    return table;
}
