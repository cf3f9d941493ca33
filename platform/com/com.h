// Everything a component or a client of components includes.
#pragma once

#include "platform/com/apartment.h"
#include "platform/com/bstr.h"
#include "platform/com/comptr.h"
#include "platform/com/connection_point.h"
#include "platform/com/dispatch.h"
#include "platform/com/object.h"
#include "platform/com/registration.h"
#include "platform/com/types.h"
#include "platform/com/unknown.h"
#include "platform/com/variant.h"
