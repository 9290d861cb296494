// zqbench_time: what the ISO 8601 conversions cost against a plain reference
// made of the runtime's scanf and print and the platform's time calls.
//
//   zqbench_time [iterations]
//
// Target: parsing a "Z" text with zqSysISO8601ToLargeInteger is no slower than
// swscanf + SystemTimeToFileTime on the same text. Logging is off (no
// VXLOG_* variables), as in production.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "benchclock.h"
#include "zqsys.h"

namespace {

using bench::Compare;
using bench::NsPerCallOnce;
using bench::Pair;

volatile LONGLONG g_sink;
const wchar_t kUtcText[] = L"2020-06-01T12:00:00Z";
const wchar_t kOffsetText[] = L"2020-06-01T12:00:00+02:00";

void ReferenceParse() {
  SYSTEMTIME st = {};
  unsigned year, month, day, hour, minute, second;
  if (swscanf(kUtcText, L"%4u-%2u-%2uT%2u:%2u:%2uZ", &year, &month, &day, &hour, &minute, &second) != 6) return;
  st = {static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day), static_cast<WORD>(hour),
        static_cast<WORD>(minute), static_cast<WORD>(second), 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  g_sink = ft.dwLowDateTime;
}

void ReferenceOffsetParse() {
  unsigned year, month, day, hour, minute, second, offsetHours, offsetMinutes;
  wchar_t sign;
  if (swscanf(kOffsetText, L"%4u-%2u-%2uT%2u:%2u:%2u%c%2u:%2u", &year, &month, &day, &hour, &minute, &second, &sign,
              &offsetHours, &offsetMinutes) != 9) {
    return;
  }
  SYSTEMTIME st = {static_cast<WORD>(year),   static_cast<WORD>(month),  0, static_cast<WORD>(day),
                   static_cast<WORD>(hour),   static_cast<WORD>(minute), static_cast<WORD>(second), 0};
  FILETIME ft;
  SystemTimeToFileTime(&st, &ft);
  LONGLONG offset = (offsetHours * 60LL + offsetMinutes) * 600000000LL;
  LONGLONG ticks = ((static_cast<LONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
  g_sink = sign == L'-' ? ticks + offset : ticks - offset;
}

void ReferenceFormat() {
  FILETIME ft{0x3a2e0000u, 0x01d63800u};
  SYSTEMTIME st;
  FileTimeToSystemTime(&ft, &st);
  wchar_t text[21];
  // The runtime's own wide print (msvcrt conventions), bounded like the library's.
  _snwprintf(text, 21, L"%04d-%02d-%02dT%02d:%02d:%02dZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
             st.wSecond);
  g_sink = text[3];
}

void LibraryParse(const wchar_t* text) {
  LARGE_INTEGER value;
  zqSysISO8601ToLargeInteger(text, &value);
  g_sink = value.QuadPart;
}

void LibraryFormat() {
  LARGE_INTEGER value;
  value.QuadPart = 0x01d638003a2e0000LL;
  wchar_t text[21];
  DWORD size = 21;
  zqSysLargeIntegerToISO8601(&value, text, &size);
  g_sink = text[3];
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int iterations = bench::Iterations(argc, argv, "zqbench_time", 20000);

  NsPerCallOnce(iterations / 10 + 1, [] { LibraryParse(kUtcText); });  // warm up
  Pair utc = Compare(iterations, ReferenceParse, [] { LibraryParse(kUtcText); });
  Pair offset = Compare(iterations, ReferenceOffsetParse, [] { LibraryParse(kOffsetText); });
  Pair format = Compare(iterations, ReferenceFormat, LibraryFormat);

  printf("ISO 8601, %d calls per round, best of 10 alternating rounds, logging off; times per call\n", iterations);
  printf("  parse \"Z\" text    : reference %7.0f ns  library %7.0f ns  ratio %.2f (target <= 1.00: %s)\n",
         utc.first, utc.second, utc.second / utc.first, utc.second <= utc.first ? "met" : "MISSED");
  printf("  parse offset text : reference %7.0f ns  library %7.0f ns  ratio %.2f\n", offset.first,
         offset.second, offset.second / offset.first);
  printf("  format file time  : reference %7.0f ns  library %7.0f ns  ratio %.2f\n", format.first,
         format.second, format.second / format.first);
  return 0;
}
