// ISO 8601 formatting and comparison.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "logcapture.h"
#include "zqsys.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;

namespace {

constexpr wchar_t kUntouched = L'#';

struct Buffer {
  wchar_t text[32];
  Buffer() { std::wmemset(text, kUntouched, 32); }
  bool Untouched() const {
    for (wchar_t c : text)
      if (c != kUntouched) return false;
    return true;
  }
};

TEST(Iso8601Format, TwentyOneCharacterRule) {
  SYSTEMTIME st = {2020, 6, 1, 1, 12, 0, 0, 750};
  Buffer buffer;
  DWORD size = 20;
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 122u);
  EXPECT_EQ(size, 20u);
  EXPECT_TRUE(buffer.Untouched());
  EXPECT_EQ(st.wMilliseconds, 750);  // nothing touched on failure
  size = 0;
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 122u);
  EXPECT_EQ(size, 0u);

  size = 21;
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 0u);
  EXPECT_EQ(size, 21u);
  EXPECT_STREQ(buffer.text, L"2020-06-01T12:00:00Z");  // milliseconds dropped, not rounded
  EXPECT_EQ(buffer.text[21], kUntouched);
  EXPECT_EQ(st.wDayOfWeek, 0);
  EXPECT_EQ(st.wMilliseconds, 0);

  // The text parses back to exactly the eight fields the caller now holds.
  SYSTEMTIME back;
  std::memset(&back, 0x77, sizeof back);
  EXPECT_EQ(zqSysISO8601ToSystemTime(buffer.text, &back), 0u);
  EXPECT_EQ(std::memcmp(&back, &st, sizeof st), 0);

  Buffer large;
  size = 32;
  SYSTEMTIME early = {7, 1, 3, 2, 3, 4, 5, 6};
  EXPECT_EQ(zqSysSystemTimeToISO8601(&early, large.text, &size), 0u);
  EXPECT_EQ(size, 21u);
  EXPECT_STREQ(large.text, L"0007-01-02T03:04:05Z");
  EXPECT_EQ(large.text[21], kUntouched);

  // Too wide fields are not rejected: the text is cut at the bound and ended.
  SYSTEMTIME wide = {12345, 6, 0, 1, 123, 0, 0, 0};
  Buffer cut;
  size = 21;
  EXPECT_EQ(zqSysSystemTimeToISO8601(&wide, cut.text, &size), 0u);
  EXPECT_EQ(size, 21u);
  EXPECT_STREQ(cut.text, L"12345-06-01T123:00:0");
  EXPECT_EQ(cut.text[21], kUntouched);
  SYSTEMTIME widest = {65535, 65535, 0, 65535, 65535, 65535, 65535, 0};
  EXPECT_EQ(zqSysSystemTimeToISO8601(&widest, cut.text, &size), 0u);
  EXPECT_STREQ(cut.text, L"65535-65535-65535T65");
  EXPECT_EQ(cut.text[21], kUntouched);

  // Null pointers.
  size = 21;
  EXPECT_EQ(zqSysSystemTimeToISO8601(nullptr, buffer.text, &size), 87u);
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, nullptr, &size), 87u);
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, nullptr), 87u);
  EXPECT_EQ(size, 21u);
}

TEST(Iso8601Format, FileTimesAndCurrentTimes) {
  Buffer buffer;
  DWORD size = 21;
  LARGE_INTEGER value{};
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, buffer.text, &size), 0u);
  EXPECT_STREQ(buffer.text, L"1601-01-01T00:00:00Z");
  value.QuadPart = 132354864000000000LL;
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, buffer.text, &size), 0u);
  EXPECT_STREQ(buffer.text, L"2020-06-01T12:00:00Z");
  value.QuadPart += 9999999;  // 0.9999999 s later: still the same second
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, buffer.text, &size), 0u);
  EXPECT_STREQ(buffer.text, L"2020-06-01T12:00:00Z");

  // 2^63 and above are not file times: the platform's last error comes back.
  FILETIME tooLarge{0, 0x80000000u};
  SYSTEMTIME ignored;
  SetLastError(0);
  ASSERT_FALSE(FileTimeToSystemTime(&tooLarge, &ignored));
  DWORD expected = GetLastError();
  ASSERT_NE(expected, 0u);
  value.QuadPart = static_cast<LONGLONG>(0x8000000000000000ULL);
  Buffer untouched;
  size = 21;
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, untouched.text, &size), expected);
  EXPECT_TRUE(untouched.Untouched());

  EXPECT_EQ(zqSysLargeIntegerToISO8601(nullptr, buffer.text, &size), 87u);
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, nullptr, &size), 87u);
  value.QuadPart = 0;
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, buffer.text, nullptr), 87u);
  size = 20;
  EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, buffer.text, &size), 122u);

  // The current time lies between two readings of the clock (to the second).
  auto clock = [](bool local) {
    SYSTEMTIME st;
    local ? GetLocalTime(&st) : GetSystemTime(&st);
    st.wMilliseconds = 0;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  };
  for (bool local : {false, true}) {
    ULONGLONG before = clock(local);
    size = 21;
    EXPECT_EQ(local ? zqSysCurrentLocalTimeToISO8601(buffer.text, &size) : zqSysCurrentTimeToISO8601(buffer.text, &size),
              0u);
    ULONGLONG after = clock(local);
    EXPECT_EQ(size, 21u);
    EXPECT_EQ(wcslen(buffer.text), 20u);
    EXPECT_EQ(buffer.text[19], L'Z');  // the local form ends in Z as well
    LARGE_INTEGER parsed;
    ASSERT_EQ(zqSysISO8601ToLargeInteger(buffer.text, &parsed), 0u);
    EXPECT_LE(before, static_cast<ULONGLONG>(parsed.QuadPart));
    EXPECT_GE(after, static_cast<ULONGLONG>(parsed.QuadPart));
  }
  EXPECT_EQ(zqSysCurrentTimeToISO8601(nullptr, &size), 87u);
  EXPECT_EQ(zqSysCurrentTimeToISO8601(buffer.text, nullptr), 87u);
  EXPECT_EQ(zqSysCurrentLocalTimeToISO8601(nullptr, &size), 87u);
  size = 3;
  EXPECT_EQ(zqSysCurrentLocalTimeToISO8601(buffer.text, &size), 122u);
  EXPECT_EQ(size, 3u);
}

TEST(Iso8601Format, LogLines) {
  LogCapture log;
  Buffer buffer;
  DWORD size = 21;
  SYSTEMTIME st = {2020, 6, 1, 1, 12, 0, 0, 0};
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 0u);
  size = 20;
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 122u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysSystemTimeToISO8601"},
                                {16, L"zqSysSystemTimeToISO8601: returns nRet = 0x0"},
                                {8, L"zqSysSystemTimeToISO8601"},
                                {16, L"zqSysSystemTimeToISO8601: returns nRet = 0x7a"}}));

  log.Clear();
  size = 21;
  EXPECT_EQ(zqSysCurrentTimeToISO8601(buffer.text, &size), 0u);
  EXPECT_EQ(zqSysCurrentLocalTimeToISO8601(nullptr, &size), 87u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysCurrentTimeToISO8601"},
                                {8, L"zqSysSystemTimeToISO8601"},
                                {16, L"zqSysSystemTimeToISO8601: returns nRet = 0x0"},
                                {16, L"zqSysCurrentTimeToISO8601: returns nRet = 0x0"},
                                {8, L"zqSysCurrentLocalTimeToISO8601"},
                                {16, L"zqSysCurrentLocalTimeToISO8601: returns nRet = 0x57"}}));

  log.Clear();
  LARGE_INTEGER value;
  value.QuadPart = -1;
  DWORD status = zqSysLargeIntegerToISO8601(&value, buffer.text, &size);
  wchar_t expected[64];
  _snwprintf(expected, 64, L"zqSysLargeIntegerToISO8601: returns nRet = 0x%x", status);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysLargeIntegerToISO8601"}, {16, expected}}));

  log.Clear();
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"2020-06-01T12:00:01Z"), 0xFFFFFFFFu);
  Lines lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(), (LogLine{8, L"zqSysCompareISO8601"}));
  EXPECT_EQ(lines[1], (LogLine{8, L"zqSysISO8601ToSystemTime"}));
  EXPECT_EQ(lines.back(), (LogLine{16, L"zqSysCompareISO8601: returns nRet = 0xffffffff"}));
  log.Clear();
  EXPECT_EQ(zqSysCompareISO8601(nullptr, L"2020"), 87u);
  EXPECT_EQ(log.Lines(),
            (Lines{{8, L"zqSysCompareISO8601"}, {16, L"zqSysCompareISO8601: returns nRet = 0x57"}}));
}

TEST(Iso8601Compare, InstantsAcrossNotations) {
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"2020-06-01T14:00:00+02:00"), 0u);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"20200601T0630-0530"), 0u);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01 12Z", L"2020-06-01T12:00:00Z0000"), 0u);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"2020-06-01T12:00:01Z"), 0xFFFFFFFFu);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:01Z", L"2020-06-01T12:00:00Z"), 1u);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00+01", L"2020-06-01T11:30:00Z"), 0xFFFFFFFFu);
  // A local text (here UTC+05:30) against its UTC instant.
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T17:30:00", L"2020-06-01T12:00:00Z"), 0u);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01", L"2020-05-31T18:30Z"), 0u);

  // Errors stop at the first failing step.
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"2020-06-01T12:00:00.5Z"), 87u);
  EXPECT_EQ(zqSysCompareISO8601(L"garbage", L"2020-06-01T12:00:00Z"), 87u);
  SYSTEMTIME feb31 = {2020, 2, 0, 31, 0, 0, 0, 0};
  FILETIME ignored;
  SetLastError(0);
  ASSERT_FALSE(SystemTimeToFileTime(&feb31, &ignored));
  DWORD conversionError = GetLastError();
  EXPECT_EQ(zqSysCompareISO8601(L"2020-02-31T00:00:00Z", L"2020-06-01T12:00:00Z"), conversionError);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"2020-02-31T00:00:00Z"), conversionError);
  EXPECT_EQ(zqSysCompareISO8601(nullptr, nullptr), 87u);
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", nullptr), 87u);
}

}  // namespace
