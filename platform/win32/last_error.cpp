#include "platform/win32/last_error.h"

namespace {

// Per thread, as on the original platform: one thread's failure never clobbers another's.
thread_local DWORD t_last_error = 0;

}  // namespace

void SetLastError(DWORD dwErrCode) {
    t_last_error = dwErrCode;
}

DWORD GetLastError() {
    return t_last_error;
}
