// The calling thread's last error code, kept per thread.
#pragma once

#include "platform/win32/types.h"

void SetLastError(DWORD dwErrCode);
DWORD GetLastError();
