// Calendar time of the original platform: SYSTEMTIME (broken-down) and FILETIME (100 ns
// intervals since 1601-01-01 UTC), used by the cache's ageing of records.
#pragma once

#include <cstdint>
#include <ctime>

#include "platform/win32/types.h"

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;      // 1..12
    WORD wDayOfWeek;  // 0 = Sunday
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

void GetLocalTime(SYSTEMTIME* st);
void GetSystemTime(SYSTEMTIME* st);
void GetSystemTimeAsFileTime(FILETIME* ft);
// FALSE (and *ft untouched) when a field is out of range, for example 31 February;
// wDayOfWeek is ignored.
BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft);
BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st);
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local);
BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc);
// -1, 0 or 1 as the first time is earlier than, equal to or later than the second.
LONG CompareFileTime(const FILETIME* a, const FILETIME* b);

// Conversions to the C library's time and to a plain 64-bit count.
uint64_t FileTimeToUInt64(const FILETIME& ft);
FILETIME FileTimeFromUInt64(uint64_t value);
FILETIME FileTimeFromUnixSeconds(int64_t seconds, uint32_t nanoseconds = 0);
int64_t FileTimeToUnixSeconds(const FILETIME& ft);
