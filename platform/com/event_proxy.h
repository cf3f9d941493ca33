// The event proxy: stands for a sink that lives in a single-threaded apartment. Each Invoke
// from another thread copies its arguments (strings and arrays included) and posts the call
// to the sink's apartment, returning S_OK at once; calls made on the apartment's own thread
// go straight to the sink. The sink's last reference is dropped on its own thread as well.
#pragma once

#include <memory>

#include "platform/com/apartment.h"
#include "platform/com/comptr.h"
#include "platform/com/unknown.h"

ComPtr<IDispatch> MakeEventProxy(IDispatch* sink, std::shared_ptr<Apartment> apartment);
