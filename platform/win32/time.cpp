// Calendar arithmetic is done here on day counts (proleptic Gregorian) rather than through
// timegm, so that the full FILETIME range works and nothing depends on the C library's time_t.
#include "platform/win32/time.h"

#include <cerrno>

namespace {

constexpr uint64_t kTicksPerSecond = 10'000'000;
constexpr uint64_t kTicksPerDay = kTicksPerSecond * 86'400;
constexpr int64_t kUnixEpochSeconds = 11'644'473'600;  // 1601-01-01 to 1970-01-01
constexpr int64_t kDaysFrom0000To1601 = 584'694;       // 0000-03-01 based, see DaysFromCivil
constexpr uint64_t kMaxFileTime = 0x7FFF'FFFF'FFFF'FFFFull;

bool IsLeap(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Days since 0000-03-01 of a Gregorian date (years before 1 do not occur: FILETIME starts 1601).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = y / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe;
}

void CivilFromDays(int64_t z, int64_t* year, unsigned* month, unsigned* day) {
    const int64_t era = z / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    *day = doy - (153 * mp + 2) / 5 + 1;
    *month = mp < 10 ? mp + 3 : mp - 9;
    *year = static_cast<int64_t>(yoe) + era * 400 + (*month <= 2);
}

FILETIME Split(uint64_t ticks) {
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

void NowUnix(int64_t* seconds, uint32_t* nanoseconds) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    *seconds = ts.tv_sec;
    *nanoseconds = static_cast<uint32_t>(ts.tv_nsec);
}

}  // namespace

void GetSystemTime(SYSTEMTIME* st) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    FileTimeToSystemTime(&ft, st);
}

void GetLocalTime(SYSTEMTIME* st) {
    int64_t seconds;
    uint32_t nanoseconds;
    NowUnix(&seconds, &nanoseconds);
    const time_t t = static_cast<time_t>(seconds);
    tm local{};
    localtime_r(&t, &local);
    st->wYear = static_cast<WORD>(local.tm_year + 1900);
    st->wMonth = static_cast<WORD>(local.tm_mon + 1);
    st->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    st->wDay = static_cast<WORD>(local.tm_mday);
    st->wHour = static_cast<WORD>(local.tm_hour);
    st->wMinute = static_cast<WORD>(local.tm_min);
    st->wSecond = static_cast<WORD>(local.tm_sec > 59 ? 59 : local.tm_sec);  // leap second
    st->wMilliseconds = static_cast<WORD>(nanoseconds / 1'000'000);
}

void GetSystemTimeAsFileTime(FILETIME* ft) {
    int64_t seconds;
    uint32_t nanoseconds;
    NowUnix(&seconds, &nanoseconds);
    *ft = FileTimeFromUnixSeconds(seconds, nanoseconds);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* st, FILETIME* ft) {
    if (st == nullptr || ft == nullptr) {
        return FALSE;
    }
    if (st->wYear < 1601 || st->wYear > 30827 || st->wMonth < 1 || st->wMonth > 12 ||
        st->wDay < 1 || st->wDay > DaysInMonth(st->wYear, st->wMonth) || st->wHour > 23 ||
        st->wMinute > 59 || st->wSecond > 59 || st->wMilliseconds > 999) {
        return FALSE;
    }
    const auto days =
        static_cast<uint64_t>(DaysFromCivil(st->wYear, st->wMonth, st->wDay) - kDaysFrom0000To1601);
    const uint64_t seconds = st->wHour * 3600u + st->wMinute * 60u + st->wSecond;
    *ft = Split(days * kTicksPerDay + seconds * kTicksPerSecond + st->wMilliseconds * 10'000ull);
    return TRUE;
}

BOOL FileTimeToSystemTime(const FILETIME* ft, SYSTEMTIME* st) {
    if (ft == nullptr || st == nullptr) {
        return FALSE;
    }
    const uint64_t ticks = FileTimeToUInt64(*ft);
    if (ticks > kMaxFileTime) {
        return FALSE;
    }
    const uint64_t days = ticks / kTicksPerDay;
    const uint64_t in_day = ticks % kTicksPerDay;
    int64_t year;
    unsigned month, day;
    CivilFromDays(static_cast<int64_t>(days) + kDaysFrom0000To1601, &year, &month, &day);
    st->wYear = static_cast<WORD>(year);
    st->wMonth = static_cast<WORD>(month);
    st->wDay = static_cast<WORD>(day);
    st->wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1601-01-01 was a Monday
    st->wHour = static_cast<WORD>(in_day / (3600 * kTicksPerSecond));
    st->wMinute = static_cast<WORD>(in_day / (60 * kTicksPerSecond) % 60);
    st->wSecond = static_cast<WORD>(in_day / kTicksPerSecond % 60);
    st->wMilliseconds = static_cast<WORD>(in_day / 10'000 % 1000);
    return TRUE;
}

// The zone's offset at the given instant is applied, which also follows daylight saving.
BOOL FileTimeToLocalFileTime(const FILETIME* utc, FILETIME* local) {
    if (utc == nullptr || local == nullptr) {
        return FALSE;
    }
    const uint64_t ticks = FileTimeToUInt64(*utc);
    const time_t t = static_cast<time_t>(FileTimeToUnixSeconds(*utc));
    tm broken{};
    if (localtime_r(&t, &broken) == nullptr) {
        return FALSE;
    }
    const int64_t offset = static_cast<int64_t>(timegm(&broken)) - static_cast<int64_t>(t);
    const int64_t shifted =
        static_cast<int64_t>(ticks) + offset * static_cast<int64_t>(kTicksPerSecond);
    if (shifted < 0) {
        return FALSE;
    }
    *local = FileTimeFromUInt64(static_cast<uint64_t>(shifted));
    return TRUE;
}

BOOL LocalFileTimeToFileTime(const FILETIME* local, FILETIME* utc) {
    if (local == nullptr || utc == nullptr) {
        return FALSE;
    }
    const uint64_t ticks = FileTimeToUInt64(*local);
    const time_t as_utc = static_cast<time_t>(FileTimeToUnixSeconds(*local));
    tm broken{};
    if (gmtime_r(&as_utc, &broken) == nullptr) {
        return FALSE;
    }
    broken.tm_isdst = -1;  // let the zone rules decide
    errno = 0;
    const time_t t = mktime(&broken);
    if (t == static_cast<time_t>(-1) && errno != 0) {
        return FALSE;
    }
    const int64_t offset = static_cast<int64_t>(as_utc) - static_cast<int64_t>(t);
    const int64_t shifted =
        static_cast<int64_t>(ticks) - offset * static_cast<int64_t>(kTicksPerSecond);
    if (shifted < 0) {
        return FALSE;
    }
    *utc = FileTimeFromUInt64(static_cast<uint64_t>(shifted));
    return TRUE;
}

LONG CompareFileTime(const FILETIME* a, const FILETIME* b) {
    const uint64_t x = FileTimeToUInt64(*a);
    const uint64_t y = FileTimeToUInt64(*b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

uint64_t FileTimeToUInt64(const FILETIME& ft) {
    return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FileTimeFromUInt64(uint64_t value) {
    return Split(value);
}

// Instants before 1601 have no FILETIME and clamp to its zero.
FILETIME FileTimeFromUnixSeconds(int64_t seconds, uint32_t nanoseconds) {
    if (seconds < -kUnixEpochSeconds) {
        return Split(0);
    }
    const auto since_1601 = static_cast<uint64_t>(seconds + kUnixEpochSeconds);
    return Split(since_1601 * kTicksPerSecond + nanoseconds / 100);
}

int64_t FileTimeToUnixSeconds(const FILETIME& ft) {
    return static_cast<int64_t>(FileTimeToUInt64(ft) / kTicksPerSecond) - kUnixEpochSeconds;
}
