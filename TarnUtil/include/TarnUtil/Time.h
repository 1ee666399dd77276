// Time: a point in time as the Win32 file functions report it, in UTC with
// 100-nanosecond resolution. A plain value; copying and comparing are cheap.
#pragma once

#include "TarnUtil/Export.h"

#include <cstdint>
#include <string>

typedef struct _FILETIME FILETIME;

namespace TarnUtil {

enum TimeKind {
    // The FILETIME is in UTC, as every Win32 file function reports it.
    timeUtc = 0,
};

class TARNUTIL_API Time {
public:
    // 1 January 1601, the origin of FILETIME.
    Time() : ticks(0) {}
    Time(const FILETIME& time, TimeKind kind);

    // 100-nanosecond units since 1 January 1601 UTC.
    std::uint64_t GetTicks() const { return ticks; }
    FILETIME GetFileTime() const;
    // Whole seconds since 1 January 1970 UTC (negative before it), and the
    // nanoseconds within that second (0 to 999,999,900).
    std::int64_t GetUnixSeconds() const;
    unsigned GetNanoseconds() const;
    // "2026-12-05T21:03:04Z" (UTC, whole seconds). Never fails.
    std::string ToIsoString() const;

    friend bool operator==(const Time& a, const Time& b) { return a.ticks == b.ticks; }
    friend bool operator!=(const Time& a, const Time& b) { return a.ticks != b.ticks; }
    friend bool operator<(const Time& a, const Time& b) { return a.ticks < b.ticks; }
    friend bool operator>(const Time& a, const Time& b) { return a.ticks > b.ticks; }
    friend bool operator<=(const Time& a, const Time& b) { return a.ticks <= b.ticks; }
    friend bool operator>=(const Time& a, const Time& b) { return a.ticks >= b.ticks; }

private:
    std::uint64_t ticks;
};

}  // namespace TarnUtil
