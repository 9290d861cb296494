// ISO 8601 text into SYSTEMTIME (UTC) and file times.
#include <cwchar>
#include <cwctype>
#include <string_view>

#include "iso8601.h"
#include "unique.h"
#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

constexpr const wchar_t kExitFormat[] = L"%s (%d)";

// Every character is a digit or the one separator that the component allows.
bool OnlyDigitsAnd(std::wstring_view text, wchar_t separator) {
  for (wchar_t c : text) {
    if (!iswdigit(c) && c != separator) return false;
  }
  return true;
}

// The field at fixed positions, converted as _wtoi reads it and stored in a
// 16-bit field: a leading '-' turns into a large unsigned value.
WORD Field(std::wstring_view text, size_t first, size_t count) {
  wchar_t digits[5] = {};
  text.substr(first, count).copy(digits, count);
  return static_cast<WORD>(_wtoi(digits));
}

// The zone designator's offset, checked by sign: east of UTC up to 13 hours.
constexpr unsigned kMaxHoursEast = 13;
constexpr unsigned kMaxHoursWest = 12;
constexpr unsigned kMaxMinutes = 59;

}  // namespace

DWORD zqSysParseISO8601Date(const wchar_t* dateText, SYSTEMTIME* st) {
  log::Operation op(L"zqSysParseISO8601Date");
  if (!dateText || !st) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  std::wstring_view text(dateText);
  if (!OnlyDigitsAnd(text, L'-')) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);

  DWORD status = ERROR_SUCCESS;
  switch (text.size()) {
    case 4:  // YYYY
      st->wYear = Field(text, 0, 4);
      break;
    case 7:  // YYYY-MM
      if (text[4] != L'-') {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wYear = Field(text, 0, 4);
      st->wMonth = Field(text, 5, 2);
      if (st->wMonth > 12) status = ERROR_INVALID_PARAMETER;
      break;
    case 8:  // YYYYMMDD
      st->wMonth = Field(text, 4, 2);
      if (st->wMonth > 12) {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wDay = Field(text, 6, 2);
      if (st->wDay > 31) {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wYear = Field(text, 0, 4);
      break;
    case 10:  // YYYY-MM-DD
      if (text[4] != L'-' || text[7] != L'-') {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wDay = Field(text, 8, 2);
      if (st->wDay > 31) {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wYear = Field(text, 0, 4);
      st->wMonth = Field(text, 5, 2);
      if (st->wMonth > 12) status = ERROR_INVALID_PARAMETER;
      break;
    default:
      status = ERROR_INVALID_PARAMETER;
      break;
  }
  return op.Exit(status, kExitFormat);
}

DWORD zqSysParseISO8601Time(const wchar_t* timeText, SYSTEMTIME* st) {
  log::Operation op(L"zqSysParseISO8601Time");
  if (!timeText || !st) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  std::wstring_view text(timeText);
  if (!OnlyDigitsAnd(text, L':')) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);

  // No range checks: the system conversion that follows catches hour 25.
  DWORD status = ERROR_SUCCESS;
  switch (text.size()) {
    case 2:  // hh
      st->wHour = Field(text, 0, 2);
      break;
    case 4:  // hhmm
      st->wMinute = Field(text, 2, 2);
      st->wHour = Field(text, 0, 2);
      break;
    case 5:  // hh:mm
      if (text[2] != L':') {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wMinute = Field(text, 3, 2);
      st->wHour = Field(text, 0, 2);
      break;
    case 6:  // hhmmss
      st->wSecond = Field(text, 4, 2);
      st->wMinute = Field(text, 2, 2);
      st->wHour = Field(text, 0, 2);
      break;
    case 8:  // hh:mm:ss
      if (text[2] != L':' || text[5] != L':') {
        status = ERROR_INVALID_PARAMETER;
        break;
      }
      st->wSecond = Field(text, 6, 2);
      st->wMinute = Field(text, 3, 2);
      st->wHour = Field(text, 0, 2);
      break;
    default:
      status = ERROR_INVALID_PARAMETER;
      break;
  }
  return op.Exit(status, kExitFormat);
}

DWORD zqSysParseISO8601TimeZone(const wchar_t* offsetText, bool positive, TIME_ZONE_INFORMATION* zone) {
  log::Operation op(L"zqSysParseISO8601TimeZone");
  if (!offsetText || !zone) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  std::wstring_view text(offsetText);
  if (!OnlyDigitsAnd(text, L':')) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);

  unsigned hours = 0;
  unsigned minutes = 0;
  switch (text.size()) {
    case 2:  // hh
      hours = Field(text, 0, 2);
      break;
    case 4:  // hhmm
      hours = Field(text, 0, 2);
      minutes = Field(text, 2, 2);
      break;
    case 5:  // hh:mm
      if (text[2] != L':') return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
      hours = Field(text, 0, 2);
      minutes = Field(text, 3, 2);
      break;
    default:
      return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  }
  if (hours > (positive ? kMaxHoursEast : kMaxHoursWest) || minutes > kMaxMinutes) {
    return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  }

  // ISO 8601 counts east of UTC positive; Win32's Bias is UTC minus local.
  LONG offset = static_cast<LONG>(hours * 60 + minutes);
  zone->Bias = positive ? -offset : offset;
  zone->StandardName[0] = L'\0';
  zone->DaylightDate.wMonth = 0;  // no daylight-saving rule: Bias alone applies
  return op.Exit(DWORD{ERROR_SUCCESS}, kExitFormat);
}

namespace {

using TzLocalToSystemFn = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);

// A component of the text in a working buffer of its own.
DWORD CopyPart(std::wstring_view part, UniqueCrt<wchar_t>& copy) {
  copy = CallocArray<wchar_t>(part.size() + 1);
  if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
  if (wcsncpy_s(copy.get(), part.size() + 1, part.data(), part.size()) != 0) return ERROR_CANNOT_COPY;
  return ERROR_SUCCESS;
}

// The text's components: date [sep time [designator offset]].
struct Parts {
  std::wstring_view date;
  bool hasTime = false;
  std::wstring_view time;
  bool hasZone = false;
  bool positive = true;
  std::wstring_view offset;
};

Parts Split(const wchar_t* text) {
  Parts parts;
  std::wstring_view all(text);
  size_t separator = all.find_first_of(L" T");
  if (separator == std::wstring_view::npos) {
    parts.date = all;
    return parts;
  }
  parts.date = all.substr(0, separator);
  parts.hasTime = true;
  size_t designator = all.find_first_of(L"+-Z", separator + 1);
  if (designator == std::wstring_view::npos) {
    parts.time = all.substr(separator + 1);
    return parts;
  }
  parts.time = all.substr(separator + 1, designator - separator - 1);
  parts.hasZone = true;
  parts.positive = all[designator] != L'-';
  parts.offset = all.substr(designator + 1);
  return parts;
}

// Fields given as local time at a fixed offset from UTC, into UTC.
DWORD ApplyOffset(const Parts& parts, SYSTEMTIME* out) {
  UniqueCrt<wchar_t> offsetCopy;
  DWORD status = CopyPart(parts.offset, offsetCopy);
  if (status != ERROR_SUCCESS) return status;
  TIME_ZONE_INFORMATION zone = {};
  status = zqSysParseISO8601TimeZone(offsetCopy.get(), parts.positive, &zone);
  if (status != ERROR_SUCCESS) return status;

  // Loaded by name at run time, and released before the call returns.
  UniqueModule kernel32 = LoadModule(L"kernel32.dll");
  if (!kernel32) {
    status = GetLastError();
    log::Line(log::kError, L"zqSysISO8601ToSystemTime : LoadLibrary(kernel32.dll) failed");
    return status;
  }
  auto toSystemTime = ProcAs<TzLocalToSystemFn>(kernel32.get(), "TzSpecificLocalTimeToSystemTime");
  if (!toSystemTime) {
    status = GetLastError();
    log::Line(log::kError, L"zqSysISO8601ToSystemTime GetProcAddress TzSpecificLocalTimeToSystemTime() Failed");
    return status;
  }
  SYSTEMTIME utc = {};
  if (!toSystemTime(&zone, out, &utc)) return GetLastError();
  *out = utc;
  return ERROR_SUCCESS;
}

// Fields given as the machine's local time, into UTC with its current bias.
DWORD LocalToUtc(SYSTEMTIME* out) {
  FILETIME local;
  FILETIME utc;
  if (!SystemTimeToFileTime(out, &local) || !LocalFileTimeToFileTime(&local, &utc) ||
      !FileTimeToSystemTime(&utc, out)) {
    return GetLastError();
  }
  return ERROR_SUCCESS;
}

DWORD ToSystemTime(const wchar_t* text, SYSTEMTIME* out) {
  *out = SYSTEMTIME{};
  Parts parts = Split(text);

  UniqueCrt<wchar_t> dateCopy;
  DWORD status = CopyPart(parts.date, dateCopy);
  if (status != ERROR_SUCCESS) return status;
  status = zqSysParseISO8601Date(dateCopy.get(), out);
  if (status != ERROR_SUCCESS) return status;

  if (parts.hasTime) {
    UniqueCrt<wchar_t> timeCopy;
    status = CopyPart(parts.time, timeCopy);
    if (status != ERROR_SUCCESS) return status;
    status = zqSysParseISO8601Time(timeCopy.get(), out);
    if (status != ERROR_SUCCESS) return status;
  }

  if (!parts.hasZone) return LocalToUtc(out);
  if (parts.offset.empty()) return ERROR_SUCCESS;  // "Z" or a bare sign: the fields are UTC
  return ApplyOffset(parts, out);
}

}  // namespace
}  // namespace zq::sys

using namespace zq;

DWORD zqSysISO8601ToSystemTime(const wchar_t* pszText, SYSTEMTIME* pst) {
  log::Operation op(L"zqSysISO8601ToSystemTime");
  if (!pszText || !pst) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, L"%s (%d)");
  return op.Exit(sys::ToSystemTime(pszText, pst), L"%s (%d)");
}

DWORD zqSysISO8601ToLargeInteger(const wchar_t* pszText, LARGE_INTEGER* pliTime) {
  log::Operation op(L"zqSysISO8601ToLargeInteger");
  if (!pszText || !pliTime) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, L"%s (%d)");
  SYSTEMTIME st;
  DWORD status = zqSysISO8601ToSystemTime(pszText, &st);
  if (status != ERROR_SUCCESS) return op.Exit(status, L"%s (%d)");
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft)) return op.Exit(GetLastError(), L"%s (%d)");
  pliTime->LowPart = ft.dwLowDateTime;
  pliTime->HighPart = static_cast<LONG>(ft.dwHighDateTime);
  return op.Exit(DWORD{ERROR_SUCCESS}, L"%s (%d)");
}
