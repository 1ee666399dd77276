#include "TarnUtil/Time.h"

#include <windows.h>

#include <cstdio>

namespace TarnUtil {

namespace {

const std::uint64_t ticksPerSecond = 10000000;
// Seconds from 1 January 1601 to 1 January 1970.
const std::int64_t epochDifference = 11644473600LL;

}  // namespace

Time::Time(const FILETIME& time, TimeKind)
    : ticks((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) {}

FILETIME Time::GetFileTime() const {
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

std::int64_t Time::GetUnixSeconds() const {
    return static_cast<std::int64_t>(ticks / ticksPerSecond) - epochDifference;
}

unsigned Time::GetNanoseconds() const {
    return static_cast<unsigned>(ticks % ticksPerSecond) * 100;
}

std::string Time::ToIsoString() const {
    FILETIME time = GetFileTime();
    SYSTEMTIME parts;
    if (!::FileTimeToSystemTime(&time, &parts))
        return "(invalid time)";
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", parts.wYear, parts.wMonth,
                  parts.wDay, parts.wHour, parts.wMinute, parts.wSecond);
    return text;
}

}  // namespace TarnUtil
