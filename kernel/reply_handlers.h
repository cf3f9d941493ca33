// The reply and notification handlers: the body of a datagram from the server in, the events
// the kernel raises out. Pure functions of their arguments, so the dispatcher may call them
// outside the object's lock, from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "common/protocol/vocabulary.h"
#include "kernel/kernel_event.h"

// What a reply asks of the service object besides raising events.
struct ReplyEffects {
    bool loginAccepted = false;
    uint32_t pin = 0;
    uint32_t loginId = 0;
};

// True when a handler exists for the packet code (replies and server notifications).
bool HasReplyHandler(uint16_t code);

// Runs the handler for code. error is OV_ERR_NONE for a packet that arrived (body/len = the
// bytes after the 10-byte header), or OV_ERR_TIME_OUT / OV_ERR_USER_CANCELED for a reply that
// did not arrive (body null, len 0). Appends the events to raise, in order, to *events and
// resets then fills *effects (may be null): for a successful login reply loginAccepted, the
// PIN and nLoginID, which the caller stores, setting the online event, BEFORE it raises the
// events. Returns whether the body was well formed; a malformed body appends nothing. A code
// without a handler returns false and appends nothing. Never reads outside [body, body+len).
bool HandleReply(uint16_t code, uint16_t cmdSeqNum, OVErrorCodeEnum error, const uint8_t* body,
                 size_t len, std::vector<KernelEvent>* events, ReplyEffects* effects);
