// The calling thread's socket error, in the numbers of OVSOCKErrorCodeEnum (the Winsock error
// numbers), translated from errno or from a name look-up result at the failing call.
#pragma once

#include "platform/win32/types.h"

namespace ov::sock {

// The Winsock number for an errno value; OVSOCK_ERR_SYSCALLFAILURE for one without a match.
DWORD WinsockErrorFromErrno(int err);
// The Winsock number for a getaddrinfo result (EAI_*); err is errno for EAI_SYSTEM.
DWORD WinsockErrorFromLookup(int eaiCode, int err);

// Stores code as the calling thread's last error (what LastError reports).
void SetSocketError(DWORD code);
void SetSocketErrorFromErrno(int err);

}  // namespace ov::sock
