// Generated instants and texts: round trips, offsets, comparison order, and
// robustness of the parsers on short texts over the characters they care about.
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cwchar>
#include <random>
#include <set>
#include <string>

#include "handles.h"
#include "zqsys.h"

namespace {

// Generators start from fixed values so that every run sees the same cases.
constexpr unsigned kFixedStart = 20200601;

constexpr LONGLONG kTicksPerSecond = 10000000;

FILETIME ToFileTime(LONGLONG ticks) {
  return {static_cast<DWORD>(ticks), static_cast<DWORD>(static_cast<ULONGLONG>(ticks) >> 32)};
}

// Whole seconds between 1700 and 9000, where every offset stays in range.
LONGLONG RandomInstant(std::mt19937_64& generator) {
  auto secondsAt = [](WORD year, WORD month, WORD day) {
    SYSTEMTIME st = {year, month, 0, day, 0, 0, 0, 0};
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return static_cast<LONGLONG>((ULONGLONG{ft.dwHighDateTime} << 32 | ft.dwLowDateTime) / kTicksPerSecond);
  };
  std::uniform_int_distribution<LONGLONG> seconds(secondsAt(1700, 1, 1), secondsAt(9000, 12, 31));
  return seconds(generator) * kTicksPerSecond;
}

std::uniform_int_distribution<int> offsets(-(12 * 60 + 59), 13 * 60 + 59);

// The instant as local wall-clock fields at `offset` minutes east of UTC, in
// one of the notations the parser accepts (basic or extended, 'T' or space,
// 'Z' for '+', offset as hh, hhmm or hh:mm).
std::wstring WithOffset(LONGLONG utcTicks, int offset, unsigned notation) {
  FILETIME ft = ToFileTime(utcTicks + LONGLONG{offset} * 60 * kTicksPerSecond);
  SYSTEMTIME t;
  EXPECT_TRUE(FileTimeToSystemTime(&ft, &t));
  unsigned hours = std::abs(offset) / 60, minutes = std::abs(offset) % 60;
  wchar_t sign = offset < 0 ? L'-' : (notation % 5 == 4 ? L'Z' : L'+');
  const wchar_t* dash = notation % 2 ? L"" : L"-";
  const wchar_t* colon = notation % 2 ? L"" : L":";
  wchar_t text[64];
  int at = _snwprintf(text, 64, L"%04u%s%02u%s%02u%c%02u%s%02u%s%02u%c%02u", t.wYear, dash, t.wMonth, dash, t.wDay,
                      notation % 3 ? L'T' : L' ', t.wHour, colon, t.wMinute, colon, t.wSecond, sign, hours);
  if (minutes || notation % 7) _snwprintf(text + at, 64 - at, notation % 4 < 2 ? L"%02u" : L":%02u", minutes);
  return text;
}

TEST(Iso8601Property, FormatThenParseGivesTheSameInstant) {
  std::mt19937_64 generator(kFixedStart);
  for (int i = 0; i < 5000; ++i) {
    LONGLONG instant = RandomInstant(generator);
    // Sub-second ticks are dropped by the text.
    LARGE_INTEGER value;
    value.QuadPart = instant + static_cast<LONGLONG>(generator() % kTicksPerSecond);
    wchar_t text[21];
    DWORD size = 21;
    ASSERT_EQ(zqSysLargeIntegerToISO8601(&value, text, &size), 0u) << instant;
    LARGE_INTEGER parsed;
    ASSERT_EQ(zqSysISO8601ToLargeInteger(text, &parsed), 0u) << testing::PrintToString(std::wstring(text));
    ASSERT_EQ(parsed.QuadPart, instant) << testing::PrintToString(std::wstring(text));
  }
}

TEST(Iso8601Property, OffsetNotationsParseToTheSameFileTime) {
  std::mt19937_64 generator(kFixedStart + 1);
  for (int i = 0; i < 5000; ++i) {
    LONGLONG instant = RandomInstant(generator);
    int offset = offsets(generator);
    if (i % 10 == 0) offset -= offset % 60;  // whole hours, for the hh form
    std::wstring text = WithOffset(instant, offset, static_cast<unsigned>(generator() % 420));
    LARGE_INTEGER parsed;
    ASSERT_EQ(zqSysISO8601ToLargeInteger(text.c_str(), &parsed), 0u) << testing::PrintToString(text);
    ASSERT_EQ(parsed.QuadPart, instant) << testing::PrintToString(text) << " offset " << offset;
  }
}

TEST(Iso8601Property, ComparisonFollowsFileTimeOrder) {
  std::mt19937_64 generator(kFixedStart + 2);
  int seen[3] = {};
  for (int i = 0; i < 3000; ++i) {
    LONGLONG first = RandomInstant(generator);
    LONGLONG second = first;
    switch (generator() % 3) {
      case 0:
        break;  // the same instant in another notation
      case 1:
        second = first + static_cast<LONGLONG>(generator() % 7200 + 1) * kTicksPerSecond * (generator() % 2 ? 1 : -1);
        break;
      default:
        second = RandomInstant(generator);
        break;
    }
    LARGE_INTEGER value;
    value.QuadPart = first;
    wchar_t firstText[21];
    DWORD size = 21;
    ASSERT_EQ(zqSysLargeIntegerToISO8601(&value, firstText, &size), 0u);
    std::wstring secondText = WithOffset(second, offsets(generator), static_cast<unsigned>(generator() % 420));
    FILETIME a = ToFileTime(first), b = ToFileTime(second);
    LONG expected = CompareFileTime(&a, &b);
    ++seen[expected + 1];
    ASSERT_EQ(zqSysCompareISO8601(firstText, secondText.c_str()), static_cast<DWORD>(expected))
        << testing::PrintToString(std::wstring(firstText)) << " " << testing::PrintToString(secondText);
    ASSERT_EQ(zqSysCompareISO8601(secondText.c_str(), firstText), static_cast<DWORD>(-expected));
  }
  EXPECT_GT(std::min({seen[0], seen[1], seen[2]}), 100);
}

// Bytes in use on the runtime heap, where the library's working copies live.
size_t LiveHeapBytes() {
  size_t total = 0;
  _HEAPINFO entry = {};
  while (_heapwalk(&entry) == _HEAPOK) {
    if (entry._useflag == _USEDENTRY) total += entry._size;
  }
  return total;
}

TEST(Iso8601Robustness, ShortTextsNeverCrashNorLeak) {
  static const wchar_t kAlphabet[] = L"0123456789-:+TZ t.z";
  constexpr size_t kLetters = sizeof kAlphabet / sizeof kAlphabet[0] - 1;
  std::mt19937_64 generator(kFixedStart + 3);

  // The platform's own verdict on out-of-range fields, the only other code
  // that may come back (87 under Wine as well).
  SYSTEMTIME bad = {2020, 13, 0, 1, 0, 0, 0, 0};
  FILETIME ignored;
  SetLastError(0);
  SystemTimeToFileTime(&bad, &ignored);
  const std::set<DWORD> allowed = {0, ERROR_INVALID_PARAMETER, GetLastError()};

  wchar_t text[24];
  SYSTEMTIME st;
  size_t counts[2] = {};
  uintptr_t handlesBefore = zqtest::ProbeHandleValue();
  size_t heapBefore = LiveHeapBytes();
  void* volatile kept = malloc(48);  // the probe does see a block left behind
  EXPECT_GE(LiveHeapBytes(), heapBefore + 48);
  free(kept);
  ASSERT_EQ(LiveHeapBytes(), heapBefore);
  for (int i = 0; i < 1000000; ++i) {
    // Mostly shapes close to the accepted ones, with letters swapped in.
    size_t length = generator() % 23;
    if (i % 2) {
      static const wchar_t* kShapes[] = {L"2020-06-01T12:00:00+05:30", L"20200601T120000Z0130", L"2020-06 12-11"};
      const wchar_t* shape = kShapes[generator() % 3];
      wcsncpy(text, shape, 23);
      text[23] = L'\0';
      length = wcslen(text) - generator() % 4;
      for (int swaps = static_cast<int>(generator() % 3); swaps >= 0; --swaps) {
        text[generator() % length] = kAlphabet[generator() % kLetters];
      }
    } else {
      for (size_t k = 0; k < length; ++k) text[k] = kAlphabet[generator() % kLetters];
    }
    text[length] = L'\0';
    DWORD status = zqSysISO8601ToSystemTime(text, &st);
    if (!allowed.count(status)) {
      FAIL() << "status " << status << " for " << testing::PrintToString(std::wstring(text));
    }
    ++counts[status == 0 ? 0 : 1];
  }
  EXPECT_EQ(LiveHeapBytes(), heapBefore);
  EXPECT_EQ(zqtest::ProbeHandleValue(), handlesBefore);
  // Both answers were met often.
  EXPECT_GT(counts[0], 1000u);
  EXPECT_GT(counts[1], 1000u);
}

}  // namespace
