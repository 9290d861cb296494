// ISO 8601 text to and from SYSTEMTIME and file times. The program runs with
// TZ=Asia/Kolkata (UTC+05:30, no daylight saving), so local texts differ from
// UTC ones.
#include <cstring>

#include "calls.h"
#include "zqsys.h"

using namespace zqtest;

namespace {

std::wstring Show(const SYSTEMTIME& t) {
  return Format(L"%04u-%02u-%02u %02u:%02u:%02u.%u w%u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond,
                t.wMilliseconds, t.wDayOfWeek);
}

// The platform's last error for fields its own conversion rejects.
DWORD ConversionError(SYSTEMTIME st) {
  FILETIME ignored;
  return SetLastError(0), SystemTimeToFileTime(&st, &ignored) ? 0 : GetLastError();
}

// Entry line, the lines inside, and the exit line in the operation's format.
Lines Op(const wchar_t* name, DWORD status, const Lines& inside = {}, const wchar_t* exit = L"%s (%d)") {
  return Around(name, inside, Format(exit, name, status));
}

Lines Returns(const wchar_t* name, DWORD status, const Lines& inside = {}) { return Op(name, status, inside, L"%s: returns nRet = 0x%x"); }

TEST(Iso8601, ParseTextsStatusesAndLines) {
  const DWORD feb31 = ConversionError({2020, 2, 0, 31, 0, 0, 0, 0});
  const std::wstring noon = L"2020-06-01 12:00:00.0 w0";
  const struct { const wchar_t* text; DWORD status; std::wstring utc = L""; } cases[] = {
      // UTC, or a designator with nothing behind it: the fields as they stand, no calendar check.
      {L"2020-06-01T12:00:00Z", 0, noon}, {L"20200601T120000Z", 0, noon}, {L"2020-06-01 12:00Z", 0, noon},
      {L"2020-06-01T12+", 0, noon}, {L"2020-06-01T1200-", 0, noon}, {L"2020-06 10Z", 0, L"2020-06-00 10:00:00.0 w0"},
      {L"2020-02-31T25:61:99Z", 0, L"2020-02-31 25:61:99.0 w0"},
      // Offsets into UTC, east positive; 'Z' with an offset counts as '+'.
      {L"2020-06-01T12:00:00+02:00", 0, L"2020-06-01 10:00:00.0 w1"}, {L"2020-06-01T12Z0100", 0, L"2020-06-01 11:00:00.0 w1"},
      {L"2020-06-01T12:00:00-0530", 0, L"2020-06-01 17:30:00.0 w1"}, {L"2020-06-01T12-05", 0, L"2020-06-01 17:00:00.0 w1"},
      {L"2020-06-01T12:00:00+13:59", 0, L"2020-05-31 22:01:00.0 w0"},
      {L"2020-06-01T12:00:00-12:59", 0, L"2020-06-02 00:59:00.0 w2"},
      // No designator: the machine's local time, through the platform's conversion.
      {L"2020-06-01T12:00:00", 0, L"2020-06-01 06:30:00.0 w1"}, {L"20200601", 0, L"2020-05-31 18:30:00.0 w0"},
      {L"2020-06", ConversionError({2020, 6, 0, 0, 0, 0, 0, 0})}, {L"2020-02-31", feb31},
      // Offsets out of range, and wrong shapes.
      {L"2020-06-01T12+14:00", 87}, {L"2020-06-01T12-13:00", 87}, {L"2020-06-01T12+05:60", 87}, {L"2020-06-01T12+053", 87},
      {L"2020-06-01T12+05:30Z", 87}, {L"2020-06-01T12+05.30", 87}, {L"2020-06-01T12:00:00.5Z", 87}, {L"", 87},
      {L"2020-06-01t12:00:00z", 87}, {L"2020-06-01T12z", 87}, {L"2020-06-01T", 87}, {L"2020-06-01Z", 87},
      {L"2020-13-01T00Z", 87}, {L"2020-06-32T00Z", 87}, {L"20201301T00Z", 87}, {L"20200632T00Z", 87},
      {L"2020-6-1T00Z", 87}, {L"2020/06/01T00Z", 87}, {L"2020-06-01T12:0:00Z", 87}, {L"2020-06-01T1234567Z", 87},
      {L"202006", 87}};
  for (const auto& c : cases) {
    SYSTEMTIME st;
    std::memset(&st, 0xCC, sizeof st);
    EXPECT_EQ(zqSysISO8601ToSystemTime(c.text, &st), c.status) << Narrow(c.text);
    EXPECT_EQ(c.status ? c.utc : Show(st), c.utc) << Narrow(c.text);
  }

  LARGE_INTEGER value{};
  SYSTEMTIME st;
  const Lines date = Op(L"zqSysParseISO8601Date", 0), time = Op(L"zqSysParseISO8601Time", 0);
  const wchar_t* parse = L"zqSysISO8601ToSystemTime";
  RunCases({
      ZQ_CASE(zqSysISO8601ToSystemTime(L"2020-06-01", &st), 0, Op(parse, 0, date)),
      ZQ_CASE(zqSysISO8601ToSystemTime(L"2020-06-01T1.5+01", &st), 87, Op(parse, 87, date + Op(L"zqSysParseISO8601Time", 87))),
      ZQ_CASE(zqSysISO8601ToSystemTime(L"2020-06-01T12-13", &st), 87,
              Op(parse, 87, date + time + Op(L"zqSysParseISO8601TimeZone", 87))),
      {"file time", [&] { long s = zqSysISO8601ToLargeInteger(L"2020-06-01T13+0100", &value); EXPECT_EQ(value.QuadPart, 132354864000000000LL); return s; },
       0, Op(L"zqSysISO8601ToLargeInteger", 0, Op(parse, 0, date + time + Op(L"zqSysParseISO8601TimeZone", 0)))},
      // Fields that pass as UTC fail the file time; the value stays.
      {"Feb 31", [&] { long s = zqSysISO8601ToLargeInteger(L"2020-02-31T00Z", &value); EXPECT_EQ(value.QuadPart, 132354864000000000LL); return s; },
       long(feb31)},
      ZQ_CASE(zqSysISO8601ToSystemTime(nullptr, &st), 87, Op(parse, 87)), ZQ_CASE(zqSysISO8601ToSystemTime(L"2020", nullptr), 87),
      ZQ_CASE(zqSysISO8601ToLargeInteger(nullptr, &value), 87, Op(L"zqSysISO8601ToLargeInteger", 87)),
      ZQ_CASE(zqSysISO8601ToLargeInteger(L"2020Z", nullptr), 87),
  });
}

TEST(Iso8601, FormatAndCompare) {
  // A null text: buffer, size and fields untouched.
  const struct { SYSTEMTIME st; DWORD size, status; const wchar_t* text; } cases[] = {
      {{2020, 6, 1, 1, 12, 0, 0, 750}, 20, 122, nullptr}, {{7, 1, 3, 2, 3, 4, 5, 6}, 32, 0, L"0007-01-02T03:04:05Z"},
      {{2020, 6, 1, 1, 12, 0, 0, 999}, 21, 0, L"2020-06-01T12:00:00Z"},  // milliseconds dropped, not rounded
      {{12345, 6, 3, 1, 123, 0, 0, 0}, 21, 0, L"12345-06-01T123:00:0"}};  // too wide: cut at the bound
  for (const auto& c : cases) {
    SYSTEMTIME st = c.st, cleared = c.st;
    if (c.text) cleared.wDayOfWeek = cleared.wMilliseconds = 0;
    wchar_t buffer[32];
    std::wmemset(buffer, L'#', 32);
    DWORD size = c.size;
    EXPECT_EQ(zqSysSystemTimeToISO8601(&st, buffer, &size), c.status) << c.size;
    EXPECT_EQ(std::wstring(buffer, 32), c.text ? c.text + std::wstring(1, 0) + std::wstring(11, L'#') : std::wstring(32, L'#'));
    EXPECT_EQ(Show(st) + Format(L" %lu", size), Show(cleared) + Format(L" %lu", c.text ? 21 : c.size));
  }

  wchar_t text[21] = L"";
  DWORD size = 21;
  SYSTEMTIME st = {2020, 6, 1, 1, 12, 0, 0, 0};
  LARGE_INTEGER value, tooLarge;
  value.QuadPart = 132354864000000000LL + 9999999;  // 0.9999999 s after noon
  tooLarge.QuadPart = static_cast<LONGLONG>(0x8000000000000000ULL);  // not a file time
  const wchar_t* format = L"zqSysSystemTimeToISO8601";
  const Lines parse = Op(L"zqSysISO8601ToSystemTime", 0, Op(L"zqSysParseISO8601Date", 0) + Op(L"zqSysParseISO8601Time", 0));
  RunCases({
      {"file time", [&] { long s = zqSysLargeIntegerToISO8601(&value, text, &size); EXPECT_STREQ(text, L"2020-06-01T12:00:00Z"); return s; },
       0, Returns(L"zqSysLargeIntegerToISO8601", 0, Returns(format, 0))},
      ZQ_CASE(zqSysLargeIntegerToISO8601(&tooLarge, text, &size), 87, Returns(L"zqSysLargeIntegerToISO8601", 87)),
      {"local, 3 characters", [&] { size = 3; long s = zqSysCurrentLocalTimeToISO8601(text, &size); EXPECT_EQ(size, 3u); return s; },
       122, Returns(L"zqSysCurrentLocalTimeToISO8601", 122, Returns(format, 122))},
      ZQ_CASE(zqSysSystemTimeToISO8601(nullptr, text, &size), 87, Returns(format, 87)),
      ZQ_CASE(zqSysSystemTimeToISO8601(&st, nullptr, &size), 87), ZQ_CASE(zqSysSystemTimeToISO8601(&st, text, nullptr), 87),
      ZQ_CASE(zqSysLargeIntegerToISO8601(nullptr, text, &size), 87), ZQ_CASE(zqSysLargeIntegerToISO8601(&value, nullptr, &size), 87),
      ZQ_CASE(zqSysCurrentTimeToISO8601(nullptr, &size), 87, Returns(L"zqSysCurrentTimeToISO8601", 87)),
      ZQ_CASE(zqSysCurrentLocalTimeToISO8601(nullptr, &size), 87),
      ZQ_CASE(zqSysCompareISO8601(L"2020Z", nullptr), 87, Returns(L"zqSysCompareISO8601", 87)),
      ZQ_CASE(zqSysCompareISO8601(L"2020-06-01T12Z", L"2020-06-01T13Z"), -1, Returns(L"zqSysCompareISO8601", 0xFFFFFFFF, parse + parse)),
  });

  // Now, as UTC and as the local wall clock (UTC+05:30, still with its 'Z').
  wchar_t local[21];
  DWORD localSize = 21;
  FILETIME clock;
  GetSystemTimeAsFileTime(&clock);
  EXPECT_EQ(zqSysCurrentTimeToISO8601(text, &(size = 21)) + zqSysCurrentLocalTimeToISO8601(local, &localSize), 0u);
  LARGE_INTEGER now, localNow;
  ASSERT_EQ(zqSysISO8601ToLargeInteger(text, &now) + zqSysISO8601ToLargeInteger(local, &localNow), 0u);
  EXPECT_NEAR(double(localNow.QuadPart - now.QuadPart), 330 * 60e7, 1e7);
  EXPECT_NEAR(double(now.QuadPart), double(ULONGLONG{clock.dwHighDateTime} << 32 | clock.dwLowDateTime), 2e7);
  EXPECT_EQ(size + localSize, 42u);

  const wchar_t* noon = L"2020-06-01T12:00:00Z";
  const DWORD feb31 = ConversionError({2020, 2, 0, 31, 0, 0, 0, 0});
  const struct { const wchar_t *first, *second; DWORD result; } comparisons[] = {
      {noon, L"2020-06-01T14:00:00+02:00", 0}, {noon, L"20200601T0630-0530", 0}, {L"2020-06-01T12:00:01Z", noon, 1},
      {noon, L"2020-06-01T12:00:01Z", ZQ_SYS_ISO8601_EARLIER}, {L"2020-06-01T17:30:00", noon, 0},  // local, UTC+05:30
      {L"2020-06-01T12:00:00+01", L"2020-06-01T11:30:00Z", ZQ_SYS_ISO8601_EARLIER}, {L"garbage", noon, 87},
      {noon, L"2020-06-01T12:00:00.5Z", 87}, {L"2020-02-31T00:00:00Z", noon, feb31}, {noon, L"2020-02-31T00Z", feb31}};
  for (const auto& c : comparisons) {
    EXPECT_EQ(zqSysCompareISO8601(c.first, c.second), c.result) << Narrow(c.first) << " " << Narrow(c.second);
  }
}

}  // namespace
