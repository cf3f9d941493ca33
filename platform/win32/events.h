// Manual-reset events and waits on one or several of them, as the worker threads of the
// socket and kernel components use them. Built on std::mutex / std::condition_variable only.
//
//   HANDLE stop = CreateEvent(TRUE, FALSE);
//   HANDLE set[2] = {stop, pending};
//   DWORD r = WaitForMultipleObjects(2, set, FALSE, INFINITE);  // WAIT_OBJECT_0 + index
//   CloseHandle(stop);
#pragma once

#include "platform/win32/types.h"

struct OVEventObject;
using HANDLE = OVEventObject*;

constexpr DWORD INFINITE = 0xFFFFFFFF;
constexpr DWORD WAIT_OBJECT_0 = 0;
constexpr DWORD WAIT_TIMEOUT = 258;
constexpr DWORD WAIT_FAILED = 0xFFFFFFFF;
constexpr DWORD MAXIMUM_WAIT_OBJECTS = 64;

// Creates a manual-reset event (bManualReset must be TRUE; auto-reset events are not offered)
// in the given state. Returns nullptr on failure.
HANDLE CreateEvent(BOOL bManualReset, BOOL bInitialState);
BOOL SetEvent(HANDLE h);
BOOL ResetEvent(HANDLE h);
// Destroys the event. No thread may still wait on it.
BOOL CloseHandle(HANDLE h);

// Waits until the event is set or the time-out (milliseconds, or INFINITE) runs out.
// Returns WAIT_OBJECT_0, WAIT_TIMEOUT, or WAIT_FAILED for a null handle.
DWORD WaitForSingleObject(HANDLE h, DWORD dwMilliseconds);

// bWaitAll false: returns WAIT_OBJECT_0 + the lowest index of a set event.
// bWaitAll true: returns WAIT_OBJECT_0 once all events are set at the same moment.
// WAIT_TIMEOUT when the time runs out; WAIT_FAILED for a bad count or a null handle.
DWORD WaitForMultipleObjects(DWORD nCount, const HANDLE* lpHandles, BOOL bWaitAll,
                             DWORD dwMilliseconds);

// Test helper: true while the event is set (no waiting).
bool IsEventSet(HANDLE h);
