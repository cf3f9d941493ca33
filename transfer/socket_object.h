// Socket objects of the socket component as both sides of a transfer make them.
#pragma once

#include "common/interfaces/ovsock.h"
#include "platform/com/comptr.h"

namespace ov::transfer {

// A new socket object through the runtime, initialised; null when the component fails.
ComPtr<IOVSocket> NewSocketObject();

inline bool Ok(VARIANT_BOOL b) {
    return b != VARIANT_FALSE;
}

}  // namespace ov::transfer
