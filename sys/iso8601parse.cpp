// ISO 8601 text into SYSTEMTIME (UTC) and file times.
#include <algorithm>
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

// The fields of SYSTEMTIME by the letter that stands for them in a shape,
// with the largest value each accepts.
struct Letter {
  wchar_t letter;
  WORD SYSTEMTIME::*field;
  WORD max;
};
constexpr Letter kLetters[] = {
    {L'Y', &SYSTEMTIME::wYear, 0xFFFF}, {L'M', &SYSTEMTIME::wMonth, 12},    {L'D', &SYSTEMTIME::wDay, 31},
    {L'h', &SYSTEMTIME::wHour, 0xFFFF}, {L'm', &SYSTEMTIME::wMinute, 0xFFFF}, {L's', &SYSTEMTIME::wSecond, 0xFFFF},
};

// One accepted shape of a component, and the order its fields are stored in.
struct Shape {
  const wchar_t* pattern;
  const wchar_t* order;
};
constexpr Shape kDateShapes[] = {{L"YYYY", L"Y"}, {L"YYYY-MM", L"YM"}, {L"YYYYMMDD", L"MDY"}, {L"YYYY-MM-DD", L"DYM"}};
// No range checks: the system conversion that follows catches hour 25.
constexpr Shape kTimeShapes[] = {
    {L"hh", L"h"}, {L"hhmm", L"mh"}, {L"hh:mm", L"mh"}, {L"hhmmss", L"smh"}, {L"hh:mm:ss", L"smh"},
};
// Hours and minutes of an offset, checked by sign afterwards.
constexpr Shape kOffsetShapes[] = {{L"hh", L"h"}, {L"hhmm", L"hm"}, {L"hh:mm", L"hm"}};

// The text as the shape of its length. Only the separators are checked where
// they stand: a separator inside a field reads as _wtoi reads it. A field
// above its largest value ends the parse with the fields stored so far.
template <size_t Count>
DWORD ReadShape(std::wstring_view text, wchar_t separator, const Shape (&shapes)[Count], SYSTEMTIME* st) {
  if (!OnlyDigitsAnd(text, separator)) return ERROR_INVALID_PARAMETER;
  for (const Shape& shape : shapes) {
    const std::wstring_view pattern(shape.pattern);
    if (pattern.size() != text.size()) continue;
    for (size_t i = 0; i < pattern.size(); ++i) {
      if (!iswalpha(pattern[i]) && text[i] != pattern[i]) return ERROR_INVALID_PARAMETER;
    }
    for (const wchar_t* name = shape.order; *name; ++name) {
      const Letter& f = *std::find_if(std::begin(kLetters), std::end(kLetters),
                                      [&](const Letter& l) { return l.letter == *name; });
      const size_t first = pattern.find(f.letter);
      st->*f.field = Field(text, first, pattern.rfind(f.letter) - first + 1);
      if (st->*f.field > f.max) return ERROR_INVALID_PARAMETER;
    }
    return ERROR_SUCCESS;
  }
  return ERROR_INVALID_PARAMETER;
}

// The zone designator's offset, checked by sign: east of UTC up to 13 hours.
constexpr unsigned kMaxHoursEast = 13;
constexpr unsigned kMaxHoursWest = 12;
constexpr unsigned kMaxMinutes = 59;

}  // namespace

DWORD zqSysParseISO8601Date(const wchar_t* dateText, SYSTEMTIME* st) {
  log::Operation op(L"zqSysParseISO8601Date");
  if (!dateText || !st) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  return op.Exit(ReadShape(dateText, L'-', kDateShapes, st), kExitFormat);
}

DWORD zqSysParseISO8601Time(const wchar_t* timeText, SYSTEMTIME* st) {
  log::Operation op(L"zqSysParseISO8601Time");
  if (!timeText || !st) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  return op.Exit(ReadShape(timeText, L':', kTimeShapes, st), kExitFormat);
}

DWORD zqSysParseISO8601TimeZone(const wchar_t* offsetText, bool positive, TIME_ZONE_INFORMATION* zone) {
  log::Operation op(L"zqSysParseISO8601TimeZone");
  if (!offsetText || !zone) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  SYSTEMTIME fields = {};
  if (ReadShape(offsetText, L':', kOffsetShapes, &fields) != ERROR_SUCCESS ||
      fields.wHour > (positive ? kMaxHoursEast : kMaxHoursWest) || fields.wMinute > kMaxMinutes) {
    return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  }

  // ISO 8601 counts east of UTC positive; Win32's Bias is UTC minus local.
  LONG offset = static_cast<LONG>(fields.wHour * 60 + fields.wMinute);
  zone->Bias = positive ? -offset : offset;
  zone->StandardName[0] = L'\0';
  zone->DaylightDate.wMonth = 0;  // no daylight-saving rule: Bias alone applies
  return op.Exit(DWORD{ERROR_SUCCESS}, kExitFormat);
}

namespace {

using TzLocalToSystemFn = BOOL(WINAPI*)(const TIME_ZONE_INFORMATION*, const SYSTEMTIME*, SYSTEMTIME*);

// A component of the text parsed from a working buffer of its own.
template <typename Parse>
DWORD ParsePart(std::wstring_view part, Parse parse) {
  UniqueCrt<wchar_t> copy = CallocArray<wchar_t>(part.size() + 1);
  if (!copy) return ERROR_NOT_ENOUGH_MEMORY;
  if (wcsncpy_s(copy.get(), part.size() + 1, part.data(), part.size()) != 0) return ERROR_CANNOT_COPY;
  return parse(copy.get());
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
  TIME_ZONE_INFORMATION zone = {};
  DWORD status = ParsePart(parts.offset, [&](const wchar_t* offset) {
    return zqSysParseISO8601TimeZone(offset, parts.positive, &zone);
  });
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

  DWORD status = ParsePart(parts.date, [&](const wchar_t* date) { return zqSysParseISO8601Date(date, out); });
  if (status != ERROR_SUCCESS) return status;
  if (parts.hasTime) {
    status = ParsePart(parts.time, [&](const wchar_t* time) { return zqSysParseISO8601Time(time, out); });
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
  if (!pszText || !pst) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, sys::kExitFormat);
  return op.Exit(sys::ToSystemTime(pszText, pst), sys::kExitFormat);
}

DWORD zqSysISO8601ToLargeInteger(const wchar_t* pszText, LARGE_INTEGER* pliTime) {
  log::Operation op(L"zqSysISO8601ToLargeInteger");
  if (!pszText || !pliTime) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, sys::kExitFormat);
  SYSTEMTIME st;
  DWORD status = zqSysISO8601ToSystemTime(pszText, &st);
  if (status != ERROR_SUCCESS) return op.Exit(status, sys::kExitFormat);
  FILETIME ft;
  if (!SystemTimeToFileTime(&st, &ft)) return op.Exit(GetLastError(), sys::kExitFormat);
  pliTime->LowPart = ft.dwLowDateTime;
  pliTime->HighPart = static_cast<LONG>(ft.dwHighDateTime);
  return op.Exit(DWORD{ERROR_SUCCESS}, sys::kExitFormat);
}
