// The three component parsers behind zqSysISO8601ToSystemTime. Internal: not
// exported. Each returns 0, or 87 for a null argument or text of the wrong
// shape, and logs its entry and result.
#pragma once

#include <windows.h>

namespace zq::sys {

// YYYY, YYYY-MM, YYYYMMDD or YYYY-MM-DD into wYear, wMonth, wDay.
DWORD zqSysParseISO8601Date(const wchar_t* dateText, SYSTEMTIME* st);
// hh, hhmm, hh:mm, hhmmss or hh:mm:ss into wHour, wMinute, wSecond.
DWORD zqSysParseISO8601Time(const wchar_t* timeText, SYSTEMTIME* st);
// hh, hhmm or hh:mm with its sign into a zone record whose Bias alone counts.
DWORD zqSysParseISO8601TimeZone(const wchar_t* offsetText, bool positive, TIME_ZONE_INFORMATION* zone);

}  // namespace zq::sys
