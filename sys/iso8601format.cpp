// SYSTEMTIME and file times into ISO 8601 text, and comparison of two texts.
#include <cwchar>

#include "zqlog.h"
#include "zqsys.h"

namespace zq::sys {
namespace {

// "YYYY-MM-DDThh:mm:ssZ" and its terminator.
constexpr DWORD kTextChars = 21;
constexpr const wchar_t kExitFormat[] = L"%s: returns nRet = 0x%x";

// The clock's time now, UTC or local.
DWORD FormatNow(const wchar_t* name, void(WINAPI* clock)(SYSTEMTIME*), wchar_t* buffer, DWORD* size) {
  log::Operation op(name);
  if (!buffer) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, kExitFormat);
  SYSTEMTIME now;
  clock(&now);
  return op.Exit(zqSysSystemTimeToISO8601(&now, buffer, size), kExitFormat);
}

}  // namespace
}  // namespace zq::sys

using namespace zq;

DWORD zqSysSystemTimeToISO8601(SYSTEMTIME* pst, wchar_t* pszBuffer, DWORD* pcchBuffer) {
  log::Operation op(L"zqSysSystemTimeToISO8601");
  if (!pst || !pszBuffer || !pcchBuffer) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, sys::kExitFormat);
  if (*pcchBuffer < sys::kTextChars) return op.Exit(DWORD{ERROR_INSUFFICIENT_BUFFER}, sys::kExitFormat);

  *pcchBuffer = sys::kTextChars;
  // Fields wider than their width are printed as they are and cut at the
  // bound; the last character is always the terminator.
  _snwprintf(pszBuffer, sys::kTextChars, L"%04d-%02d-%02dT%02d:%02d:%02dZ", pst->wYear, pst->wMonth, pst->wDay,
             pst->wHour, pst->wMinute, pst->wSecond);
  pszBuffer[sys::kTextChars - 1] = L'\0';
  // The text carries neither: the caller's time now says what it says.
  pst->wDayOfWeek = 0;
  pst->wMilliseconds = 0;
  return op.Exit(DWORD{ERROR_SUCCESS}, sys::kExitFormat);
}

DWORD zqSysCurrentTimeToISO8601(wchar_t* pszBuffer, DWORD* pcchBuffer) {
  return sys::FormatNow(L"zqSysCurrentTimeToISO8601", GetSystemTime, pszBuffer, pcchBuffer);
}

DWORD zqSysCurrentLocalTimeToISO8601(wchar_t* pszBuffer, DWORD* pcchBuffer) {
  return sys::FormatNow(L"zqSysCurrentLocalTimeToISO8601", GetLocalTime, pszBuffer, pcchBuffer);
}

DWORD zqSysLargeIntegerToISO8601(const LARGE_INTEGER* pliTime, wchar_t* pszBuffer, DWORD* pcchBuffer) {
  log::Operation op(L"zqSysLargeIntegerToISO8601");
  if (!pliTime || !pszBuffer) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, sys::kExitFormat);
  FILETIME ft{pliTime->LowPart, static_cast<DWORD>(pliTime->HighPart)};
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(&ft, &st)) return op.Exit(GetLastError(), sys::kExitFormat);
  return op.Exit(zqSysSystemTimeToISO8601(&st, pszBuffer, pcchBuffer), sys::kExitFormat);
}

DWORD zqSysCompareISO8601(const wchar_t* pszFirst, const wchar_t* pszSecond) {
  log::Operation op(L"zqSysCompareISO8601");
  if (!pszFirst || !pszSecond) return op.Exit(DWORD{ERROR_INVALID_PARAMETER}, sys::kExitFormat);
  SYSTEMTIME first;
  SYSTEMTIME second;
  DWORD status = zqSysISO8601ToSystemTime(pszFirst, &first);
  if (status != ERROR_SUCCESS) return op.Exit(status, sys::kExitFormat);
  status = zqSysISO8601ToSystemTime(pszSecond, &second);
  if (status != ERROR_SUCCESS) return op.Exit(status, sys::kExitFormat);

  FILETIME firstTime;
  FILETIME secondTime;
  if (!SystemTimeToFileTime(&first, &firstTime) || !SystemTimeToFileTime(&second, &secondTime)) {
    return op.Exit(GetLastError(), sys::kExitFormat);
  }
  // -1 travels as 0xFFFFFFFF; 0 and 1 as they are.
  return op.Exit(static_cast<DWORD>(CompareFileTime(&firstTime, &secondTime)), sys::kExitFormat);
}
