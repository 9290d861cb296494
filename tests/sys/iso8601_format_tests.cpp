// ISO 8601 formatting and comparison.
#include <cstring>

#include "systest.h"
#include "zqsys.h"

using namespace systest;
using zqtest::LogCapture;
using zqtest::LogLine;

namespace {

constexpr wchar_t kUntouched = L'#';

struct Buffer {
  wchar_t text[32];
  Buffer() { std::wmemset(text, kUntouched, 32); }
  bool Untouched() const { return std::wstring(text, 32) == std::wstring(32, kUntouched); }
};

TEST(Iso8601Format, TwentyOneCharacterRule) {
  const struct {
    SYSTEMTIME st;
    DWORD size, status;
    const wchar_t* text;  // null: the buffer stays untouched
  } cases[] = {{{2020, 6, 1, 1, 12, 0, 0, 750}, 20, 122, nullptr},
               {{2020, 6, 1, 1, 12, 0, 0, 750}, 0, 122, nullptr},
               {{2020, 6, 1, 1, 12, 0, 0, 750}, 21, 0, L"2020-06-01T12:00:00Z"},  // milliseconds dropped, not rounded
               {{7, 1, 3, 2, 3, 4, 5, 6}, 32, 0, L"0007-01-02T03:04:05Z"},
               // Too wide fields are not rejected: the text is cut at the bound and ended.
               {{12345, 6, 0, 1, 123, 0, 0, 0}, 21, 0, L"12345-06-01T123:00:0"},
               {{65535, 65535, 0, 65535, 65535, 65535, 65535, 0}, 21, 0, L"65535-65535-65535T65"}};
  for (const auto& c : cases) {
    SYSTEMTIME st = c.st;
    Buffer buffer;
    DWORD size = c.size;
    EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), c.status) << c.size;
    if (!c.text) {
      EXPECT_EQ(size, c.size);
      EXPECT_TRUE(buffer.Untouched());
      EXPECT_EQ(std::memcmp(&st, &c.st, sizeof st), 0);  // the caller's fields as well
      continue;
    }
    EXPECT_EQ(size, 21u);
    EXPECT_STREQ(buffer.text, c.text);
    EXPECT_EQ(buffer.text[21], kUntouched);
    EXPECT_EQ(st.wDayOfWeek + st.wMilliseconds, 0);
    // The text parses back to exactly the fields the caller now holds.
    SYSTEMTIME back;
    std::memset(&back, 0x77, sizeof back);
    if (c.st.wYear < 10000) {
      EXPECT_EQ(zqSysISO8601ToSystemTime(buffer.text, &back), 0u);
      EXPECT_EQ(std::memcmp(&back, &st, sizeof st), 0) << Quoted(c.text);
    }
  }
}

TEST(Iso8601Format, FileTimesAndCurrentTimes) {
  // 2^63 and above are not file times: the platform's last error comes back.
  FILETIME tooLarge{0, 0x80000000u};
  SYSTEMTIME ignored;
  SetLastError(0);
  ASSERT_FALSE(FileTimeToSystemTime(&tooLarge, &ignored));
  const DWORD notAFileTime = GetLastError();
  ASSERT_NE(notAFileTime, 0u);
  const struct {
    LONGLONG value;
    DWORD size, status;
    const wchar_t* text;
  } cases[] = {{0, 21, 0, L"1601-01-01T00:00:00Z"},
               {132354864000000000LL, 21, 0, L"2020-06-01T12:00:00Z"},
               {132354864000000000LL + 9999999, 21, 0, L"2020-06-01T12:00:00Z"},  // 0.9999999 s later
               {static_cast<LONGLONG>(0x8000000000000000ULL), 21, notAFileTime, nullptr},
               {0, 20, 122, nullptr}};
  for (const auto& c : cases) {
    Buffer buffer;
    DWORD size = c.size;
    LARGE_INTEGER value;
    value.QuadPart = c.value;
    EXPECT_EQ(zqSysLargeIntegerToISO8601(&value, buffer.text, &size), c.status) << c.value;
    EXPECT_TRUE(c.text ? std::wstring(buffer.text) == c.text : buffer.Untouched()) << c.value;
  }

  // The current time lies between two readings of the clock (to the second).
  auto clock = [](bool local) {
    SYSTEMTIME st;
    local ? GetLocalTime(&st) : GetSystemTime(&st);
    st.wMilliseconds = 0;
    FILETIME ft;
    SystemTimeToFileTime(&st, &ft);
    return (static_cast<LONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  };
  Buffer buffer;
  DWORD size = 21;
  for (bool local : {false, true}) {
    LONGLONG before = clock(local);
    size = 21;
    EXPECT_EQ((local ? zqSysCurrentLocalTimeToISO8601 : zqSysCurrentTimeToISO8601)(buffer.text, &size), 0u);
    LONGLONG after = clock(local);
    EXPECT_EQ(size, 21u);
    EXPECT_EQ(std::wstring(buffer.text).size(), 20u);
    EXPECT_EQ(buffer.text[19], L'Z');  // the local form ends in Z as well
    LARGE_INTEGER parsed;
    ASSERT_EQ(zqSysISO8601ToLargeInteger(buffer.text, &parsed), 0u);
    EXPECT_TRUE(before <= parsed.QuadPart && parsed.QuadPart <= after) << local;
  }
  size = 3;
  EXPECT_EQ(zqSysCurrentLocalTimeToISO8601(buffer.text, &size), 122u);
  EXPECT_EQ(size, 3u);

  // Null pointers.
  SYSTEMTIME st = {2020, 6, 1, 1, 12, 0, 0, 0};
  LARGE_INTEGER value{};
  size = 21;
  for (DWORD status :
       {zqSysSystemTimeToISO8601(nullptr, buffer.text, &size), zqSysSystemTimeToISO8601(&st, nullptr, &size),
        zqSysSystemTimeToISO8601(&st, buffer.text, nullptr), zqSysLargeIntegerToISO8601(nullptr, buffer.text, &size),
        zqSysLargeIntegerToISO8601(&value, nullptr, &size), zqSysLargeIntegerToISO8601(&value, buffer.text, nullptr),
        zqSysCurrentTimeToISO8601(nullptr, &size), zqSysCurrentTimeToISO8601(buffer.text, nullptr),
        zqSysCurrentLocalTimeToISO8601(nullptr, &size)}) {
    EXPECT_EQ(status, 87u);
  }
  EXPECT_EQ(size, 21u);
}

LogLine Returns(const wchar_t* name, DWORD status) { return {16, Format(L"%s: returns nRet = 0x%x", name, status)}; }

// Entry line, the lines inside, and "name: returns nRet = 0x..".
Lines Call(const wchar_t* name, DWORD status, const Lines& inside = {}) {
  return Lines{{8, name}} + inside + Lines{Returns(name, status)};
}

TEST(Iso8601Format, LogLines) {
  LogCapture log;
  Buffer buffer;
  DWORD size = 21;
  SYSTEMTIME st = {2020, 6, 1, 1, 12, 0, 0, 0};
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 0u);
  size = 20;
  EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer.text, &size), 122u);
  size = 21;
  EXPECT_EQ(zqSysCurrentTimeToISO8601(buffer.text, &size), 0u);
  EXPECT_EQ(zqSysCurrentLocalTimeToISO8601(nullptr, &size), 87u);
  LARGE_INTEGER value;
  value.QuadPart = -1;
  DWORD status = zqSysLargeIntegerToISO8601(&value, buffer.text, &size);
  EXPECT_EQ(zqSysCompareISO8601(nullptr, L"2020"), 87u);
  const wchar_t* format = L"zqSysSystemTimeToISO8601";
  EXPECT_EQ(log.Lines(), Call(format, 0) + Call(format, 122) + Call(L"zqSysCurrentTimeToISO8601", 0, Call(format, 0)) +
                             Call(L"zqSysCurrentLocalTimeToISO8601", 87) + Call(L"zqSysLargeIntegerToISO8601", status) +
                             Call(L"zqSysCompareISO8601", 87));

  log.Clear();
  EXPECT_EQ(zqSysCompareISO8601(L"2020-06-01T12:00:00Z", L"2020-06-01T12:00:01Z"), 0xFFFFFFFFu);
  ASSERT_GE(log.Lines().size(), 2u);
  EXPECT_EQ(log.Lines()[0], (LogLine{8, L"zqSysCompareISO8601"}));
  EXPECT_EQ(log.Lines()[1], (LogLine{8, L"zqSysISO8601ToSystemTime"}));
  EXPECT_EQ(log.Lines().back(), Returns(L"zqSysCompareISO8601", 0xFFFFFFFF));
}

TEST(Iso8601Compare, InstantsAcrossNotations) {
  SYSTEMTIME feb31 = {2020, 2, 0, 31, 0, 0, 0, 0};
  FILETIME ignored;
  SetLastError(0);
  ASSERT_FALSE(SystemTimeToFileTime(&feb31, &ignored));
  const DWORD conversionError = GetLastError();
  const wchar_t* noon = L"2020-06-01T12:00:00Z";
  const struct {
    const wchar_t *first, *second;
    DWORD result;
  } cases[] = {{noon, L"2020-06-01T14:00:00+02:00", 0},
               {noon, L"20200601T0630-0530", 0},
               {L"2020-06-01 12Z", L"2020-06-01T12:00:00Z0000", 0},
               {noon, L"2020-06-01T12:00:01Z", 0xFFFFFFFF},
               {L"2020-06-01T12:00:01Z", noon, 1},
               {L"2020-06-01T12:00:00+01", L"2020-06-01T11:30:00Z", 0xFFFFFFFF},
               // Local texts (here UTC+05:30) against their UTC instants.
               {L"2020-06-01T17:30:00", noon, 0},
               {L"2020-06-01", L"2020-05-31T18:30Z", 0},
               // Errors stop at the first failing step.
               {noon, L"2020-06-01T12:00:00.5Z", 87},
               {L"garbage", noon, 87},
               {L"2020-02-31T00:00:00Z", noon, conversionError},
               {noon, L"2020-02-31T00:00:00Z", conversionError},
               {nullptr, nullptr, 87},
               {noon, nullptr, 87}};
  for (const auto& c : cases) {
    EXPECT_EQ(zqSysCompareISO8601(c.first, c.second), c.result) << Quoted(c.first) << " " << Quoted(c.second);
  }
}

}  // namespace
