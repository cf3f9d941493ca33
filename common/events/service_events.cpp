#include "common/events/service_events.h"

#include <cstdio>

void OVServiceEventHandler::OnEventRefused(DISPID dispid, HRESULT hr) {
    const OVServiceEventInfo* info = FindOVServiceEvent(dispid);
    std::fprintf(stderr, "orvane: kernel event %s (%d) refused: 0x%08X\n",
                 info ? std::string(info->name).c_str() : "?", static_cast<int>(dispid),
                 static_cast<unsigned>(hr));
}

const DispatchTable<OVServiceEventHandler>& OVServiceEventsDispatch() {
#define OV_EVENT_ENTRY(dispid, name, params, args) \
    DispEvent(dispid, #name, &OVServiceEventHandler::name),
    static const DispatchTable<OVServiceEventHandler> table{OV_SERVICE_EVENT_LIST(OV_EVENT_ENTRY)};
#undef OV_EVENT_ENTRY
    return table;
}
