// Events as the kernel builds them: plain values, so that building events needs no COM and
// can be checked in tests. Shared with the generic sinks of the kernel's callers.
#pragma once

#include "common/events/event_values.h"
