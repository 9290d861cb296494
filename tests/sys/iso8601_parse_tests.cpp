// ISO 8601 text into SYSTEMTIME and file times, against Wine's own time calls.
// The program runs with TZ=Asia/Kolkata (UTC+05:30, no daylight saving), so
// that local-time texts differ from UTC ones.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "iso8601.h"
#include "logcapture.h"
#include "zqsys.h"

using zqtest::LogCapture;
using zqtest::LogLine;
using Lines = std::vector<LogLine>;
using zq::sys::zqSysParseISO8601Date;
using zq::sys::zqSysParseISO8601Time;
using zq::sys::zqSysParseISO8601TimeZone;

namespace {

struct Fields {
  WORD year, month, dayOfWeek, day, hour, minute, second, ms;
  bool operator==(const Fields&) const = default;
};

Fields Of(const SYSTEMTIME& st) {
  return {st.wYear, st.wMonth, st.wDayOfWeek, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
}

void PrintTo(const Fields& f, std::ostream* out) {
  *out << f.year << "-" << f.month << "-" << f.day << " (dow " << f.dayOfWeek << ") " << f.hour << ":" << f.minute
       << ":" << f.second << "." << f.ms;
}

struct Parsed {
  DWORD status;
  Fields fields;
};

Parsed Parse(const wchar_t* text) {
  SYSTEMTIME st;
  std::memset(&st, 0xCC, sizeof st);
  DWORD status = zqSysISO8601ToSystemTime(text, &st);
  return {status, Of(st)};
}

// What the platform itself makes of local wall-clock fields.
Fields LocalToUtcByPlatform(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
  SYSTEMTIME local = {year, month, 0, day, hour, minute, second, 0};
  SYSTEMTIME utc = {};
  EXPECT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &local, &utc));
  return Of(utc);
}

TEST(Iso8601Parse, UtcFormsGiveTheSameFields) {
  const Fields noon{2020, 6, 0, 1, 12, 0, 0, 0};
  for (const wchar_t* text : {L"2020-06-01T12:00:00Z", L"20200601T120000Z", L"2020-06-01 12:00:00Z",
                              L"2020-06-01T12:00Z", L"20200601T1200Z", L"2020-06-01T12Z", L"2020-06-01T12:00:00+",
                              L"2020-06-01T12:00:00-"}) {
    Parsed parsed = Parse(text);
    EXPECT_EQ(parsed.status, 0u) << testing::PrintToString(std::wstring(text));
    EXPECT_EQ(parsed.fields, noon) << testing::PrintToString(std::wstring(text));
  }

  LARGE_INTEGER value{};
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-06-01T12:00:00Z", &value), 0u);
  EXPECT_EQ(value.QuadPart, 132354864000000000LL);
}

TEST(Iso8601Parse, OffsetsConvertToUtc) {
  struct Case {
    const wchar_t* text;
    Fields utc;
  } cases[] = {
      {L"2020-06-01T12:00:00+02:00", {2020, 6, 1, 1, 10, 0, 0, 0}},
      {L"2020-06-01T12:00:00-05:30", {2020, 6, 1, 1, 17, 30, 0, 0}},
      {L"2020-06-01T12:00:00-05", {2020, 6, 1, 1, 17, 0, 0, 0}},
      {L"2020-06-01T12:00:00-0530", {2020, 6, 1, 1, 17, 30, 0, 0}},
      {L"2020-06-01T12:00:00Z0100", {2020, 6, 1, 1, 11, 0, 0, 0}},  // Z read as '+'
      {L"2020-06-01T12:00:00+13:59", {2020, 5, 0, 31, 22, 1, 0, 0}},
      {L"2020-06-01T12:00:00-12:59", {2020, 6, 2, 2, 0, 59, 0, 0}},
      {L"2020-06-01T00:30:00+01", {2020, 5, 0, 31, 23, 30, 0, 0}},
      {L"2020-06-01T12:00:00+00:00", {2020, 6, 1, 1, 12, 0, 0, 0}},
      // Four characters are hhmm, whatever they are: minutes ":3" read as 0.
      {L"2020-06-01T12:00:00+05:3", {2020, 6, 1, 1, 7, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Parsed parsed = Parse(c.text);
    EXPECT_EQ(parsed.status, 0u) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(parsed.fields, c.utc) << testing::PrintToString(std::wstring(c.text));
  }
  for (const wchar_t* text : {L"2020-06-01T12:00:00+14:00", L"2020-06-01T12:00:00-13:00",
                              L"2020-06-01T12:00:00+05:60", L"2020-06-01T12:00:00+5",
                              L"2020-06-01T12:00:00+05-30", L"2020-06-01T12:00:00+05:30Z",
                              L"2020-06-01T12:00:00+0530:", L"2020-06-01T12:00:00+05.30"}) {
    EXPECT_EQ(Parse(text).status, 87u) << testing::PrintToString(std::wstring(text));
  }
}

TEST(Iso8601Parse, TextsWithoutDesignatorAreLocalTime) {
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  ASSERT_EQ(zone.Bias, -330) << "the program runs with TZ=Asia/Kolkata";

  Parsed parsed = Parse(L"2020-06-01T12:00:00");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, LocalToUtcByPlatform(2020, 6, 1, 12, 0, 0));
  EXPECT_EQ(parsed.fields, (Fields{2020, 6, 1, 1, 6, 30, 0, 0}));

  parsed = Parse(L"2020-06-01");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, LocalToUtcByPlatform(2020, 6, 1, 0, 0, 0));
  EXPECT_EQ(parsed.fields, (Fields{2020, 5, 0, 31, 18, 30, 0, 0}));

  parsed = Parse(L"20200601 0830");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, LocalToUtcByPlatform(2020, 6, 1, 8, 30, 0));

  // Without a separator no zone is looked for: the whole text is the date.
  EXPECT_EQ(Parse(L"2020-06-01Z").status, 87u);
  EXPECT_EQ(Parse(L"2020-06-01+02").status, 87u);

  // A year or a month alone parse, but month or day 0 fails the conversion.
  SetLastError(0);
  SYSTEMTIME bad = {2020, 0, 0, 0, 0, 0, 0, 0};
  FILETIME ignored;
  ASSERT_FALSE(SystemTimeToFileTime(&bad, &ignored));
  DWORD conversionError = GetLastError();
  ASSERT_NE(conversionError, 0u);
  EXPECT_EQ(Parse(L"2020").status, conversionError);
  EXPECT_EQ(Parse(L"2020-06").status, conversionError);
  // Given as UTC, nothing converts, and the zeros come back as they are.
  parsed = Parse(L"2020-06 10Z");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, (Fields{2020, 6, 0, 0, 10, 0, 0, 0}));
}

TEST(Iso8601Parse, RejectedShapesAndOutOfRangeFields) {
  for (const wchar_t* text : {L"2020-06-01T12:00:00.500Z", L"2020-06-01T12:00:00,5Z", L"2020-06-01t12:00:00z",
                              L"2020-06-01T12:00:00z", L"2020-06-01T", L"2020-06-01TZ", L"", L"T12:00Z",
                              L"2020-13-01T00:00:00Z", L"2020-06-32T00:00:00Z", L"20201301T00Z", L"2020-6-1T00Z",
                              L"2020/06/01T00Z", L"2020-06-01T12-00Z", L"2020-06-01T12:0:00Z",
                              L"2020-06-01T1200:00Z", L"202006", L"2020-06-01-", L"2020-06-01T12:00:00Z+01"}) {
    EXPECT_EQ(Parse(text).status, 87u) << testing::PrintToString(std::wstring(text));
  }

  // The parsers check no calendar: where nothing converts, the fields pass.
  Parsed parsed = Parse(L"2020-02-31T00:00:00Z");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, (Fields{2020, 2, 0, 31, 0, 0, 0, 0}));
  parsed = Parse(L"2020-06-01T25:00:00Z");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, (Fields{2020, 6, 0, 1, 25, 0, 0, 0}));
  parsed = Parse(L"2020-06-01T1:00Z");  // four characters: hhmm, hour "1:"
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, (Fields{2020, 6, 0, 1, 1, 0, 0, 0}));
  parsed = Parse(L"2020-00-00T00:61:99Z");
  EXPECT_EQ(parsed.status, 0u);
  EXPECT_EQ(parsed.fields, (Fields{2020, 0, 0, 0, 0, 61, 99, 0}));

  // ... and the file-time conversion then rejects them with its last error.
  SYSTEMTIME feb31 = {2020, 2, 0, 31, 0, 0, 0, 0};
  FILETIME ignored;
  SetLastError(0);
  ASSERT_FALSE(SystemTimeToFileTime(&feb31, &ignored));
  DWORD conversionError = GetLastError();
  LARGE_INTEGER value;
  value.QuadPart = 77;
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-02-31T00:00:00Z", &value), conversionError);
  EXPECT_EQ(value.QuadPart, 77);  // untouched
  // With an offset or as local time the conversion runs and fails.
  EXPECT_NE(Parse(L"2020-06-01T25:00:00+01").status, 0u);
  EXPECT_NE(Parse(L"2020-06-01T25:00:00").status, 0u);

  // Null arguments.
  SYSTEMTIME st;
  EXPECT_EQ(zqSysISO8601ToSystemTime(nullptr, &st), 87u);
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020", nullptr), 87u);
  EXPECT_EQ(zqSysISO8601ToLargeInteger(nullptr, &value), 87u);
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-06-01Z", nullptr), 87u);
}

TEST(Iso8601Parse, DateParserForms) {
  struct Case {
    const wchar_t* text;
    DWORD status;
    WORD year, month, day;
  } cases[] = {
      {L"2020", 0, 2020, 0xAAAA, 0xAAAA},       {L"2020-06", 0, 2020, 6, 0xAAAA},
      {L"20200601", 0, 2020, 6, 1},             {L"2020-06-01", 0, 2020, 6, 1},
      {L"0000-00-00", 0, 0, 0, 0},              {L"9999-12-31", 0, 9999, 12, 31},
      {L"2020-12-31", 0, 2020, 12, 31},         {L"2020-13", 87, 2020, 13, 0xAAAA},
      {L"20201301", 87, 0xAAAA, 13, 0xAAAA},    {L"20201232", 87, 0xAAAA, 12, 32},
      {L"2020-06-32", 87, 0xAAAA, 0xAAAA, 32},  {L"2020-13-01", 87, 2020, 13, 1},
      {L"2020-06-1-", 0, 2020, 6, 1},               // the day's digits read as "1-": 1
      {L"20-0-6-01", 87, 0xAAAA, 0xAAAA, 0xAAAA},   // nine characters
      {L"2020_06_01", 87, 0xAAAA, 0xAAAA, 0xAAAA},  {L"202", 87, 0xAAAA, 0xAAAA, 0xAAAA},
      {L"-020-06-01", 0, 65516, 6, 1},              // -20, and the year is never checked
  };
  for (const Case& c : cases) {
    SYSTEMTIME st;
    std::memset(&st, 0xAA, sizeof st);
    EXPECT_EQ(zqSysParseISO8601Date(c.text, &st), c.status) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wYear, c.year) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wMonth, c.month) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wDay, c.day) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wHour, 0xAAAA);
  }
  // A negative month fails its check as a large unsigned value.
  SYSTEMTIME st{};
  EXPECT_EQ(zqSysParseISO8601Date(L"2020--1", &st), 87u);
  EXPECT_EQ(st.wMonth, 0xFFFF);
}

TEST(Iso8601Parse, TimeAndZoneParserForms) {
  struct Case {
    const wchar_t* text;
    DWORD status;
    WORD hour, minute, second;
  } cases[] = {
      {L"12", 0, 12, 0xAAAA, 0xAAAA},     {L"1234", 0, 12, 34, 0xAAAA},   {L"12:34", 0, 12, 34, 0xAAAA},
      {L"123456", 0, 12, 34, 56},         {L"12:34:56", 0, 12, 34, 56},   {L"99:99:99", 0, 99, 99, 99},
      {L"1", 87, 0xAAAA, 0xAAAA, 0xAAAA}, {L"123", 87, 0xAAAA, 0xAAAA, 0xAAAA},
      {L"1234567", 87, 0xAAAA, 0xAAAA, 0xAAAA},  {L"12345:", 0, 12, 34, 5},
      {L"12:3456", 87, 0xAAAA, 0xAAAA, 0xAAAA},  {L"12.34", 87, 0xAAAA, 0xAAAA, 0xAAAA},
      {L"", 87, 0xAAAA, 0xAAAA, 0xAAAA},
  };
  for (const Case& c : cases) {
    SYSTEMTIME st;
    std::memset(&st, 0xAA, sizeof st);
    EXPECT_EQ(zqSysParseISO8601Time(c.text, &st), c.status) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wHour, c.hour) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wMinute, c.minute) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wSecond, c.second) << testing::PrintToString(std::wstring(c.text));
    EXPECT_EQ(st.wYear, 0xAAAA);
  }

  struct ZoneCase {
    const wchar_t* text;
    bool positive;
    DWORD status;
    LONG bias;
  } zones[] = {
      {L"02", true, 0, -120},    {L"0200", true, 0, -120},  {L"02:00", true, 0, -120}, {L"05:30", false, 0, 330},
      {L"13:59", true, 0, -839}, {L"12:59", false, 0, 779}, {L"00", false, 0, 0},      {L"14", true, 87, 12345},
      {L"13", false, 87, 12345}, {L"05:60", true, 87, 12345}, {L"0560", false, 87, 12345},
      {L"5", true, 87, 12345},   {L"05:3", true, 0, -300},  {L"05-30", true, 87, 12345},
      {L"053", true, 87, 12345}, {L"", true, 87, 12345},
  };
  for (const ZoneCase& z : zones) {
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0x55, sizeof zone);
    zone.Bias = 12345;
    EXPECT_EQ(zqSysParseISO8601TimeZone(z.text, z.positive, &zone), z.status)
        << testing::PrintToString(std::wstring(z.text));
    EXPECT_EQ(zone.Bias, z.bias) << testing::PrintToString(std::wstring(z.text));
    if (z.status == 0) {
      EXPECT_EQ(zone.StandardName[0], L'\0');
      EXPECT_EQ(zone.DaylightDate.wMonth, 0);
    }
  }

  SYSTEMTIME st;
  TIME_ZONE_INFORMATION zone;
  EXPECT_EQ(zqSysParseISO8601Date(nullptr, &st), 87u);
  EXPECT_EQ(zqSysParseISO8601Date(L"2020", nullptr), 87u);
  EXPECT_EQ(zqSysParseISO8601Time(nullptr, &st), 87u);
  EXPECT_EQ(zqSysParseISO8601Time(L"12", nullptr), 87u);
  EXPECT_EQ(zqSysParseISO8601TimeZone(nullptr, true, &zone), 87u);
  EXPECT_EQ(zqSysParseISO8601TimeZone(L"02", true, nullptr), 87u);
}

TEST(Iso8601Parse, LogLinesOfEveryPath) {
  LogCapture log;
  SYSTEMTIME st;
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020-06-01T12:00:00Z", &st), 0u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysISO8601ToSystemTime"},
                                {8, L"zqSysParseISO8601Date"},
                                {16, L"zqSysParseISO8601Date (0)"},
                                {8, L"zqSysParseISO8601Time"},
                                {16, L"zqSysParseISO8601Time (0)"},
                                {16, L"zqSysISO8601ToSystemTime (0)"}}));

  log.Clear();
  LARGE_INTEGER value;
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-06-01T12+0130", &value), 0u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysISO8601ToLargeInteger"},
                                {8, L"zqSysISO8601ToSystemTime"},
                                {8, L"zqSysParseISO8601Date"},
                                {16, L"zqSysParseISO8601Date (0)"},
                                {8, L"zqSysParseISO8601Time"},
                                {16, L"zqSysParseISO8601Time (0)"},
                                {8, L"zqSysParseISO8601TimeZone"},
                                {16, L"zqSysParseISO8601TimeZone (0)"},
                                {16, L"zqSysISO8601ToSystemTime (0)"},
                                {16, L"zqSysISO8601ToLargeInteger (0)"}}));

  // A date alone: no time parser; a rejected time: no zone parser.
  log.Clear();
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020-06-01", &st), 0u);
  EXPECT_EQ(log.Texts(), (std::vector<std::wstring>{L"zqSysISO8601ToSystemTime", L"zqSysParseISO8601Date",
                                                    L"zqSysParseISO8601Date (0)", L"zqSysISO8601ToSystemTime (0)"}));
  log.Clear();
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020-06-01T1.5+01", &st), 87u);
  EXPECT_EQ(log.Texts(),
            (std::vector<std::wstring>{L"zqSysISO8601ToSystemTime", L"zqSysParseISO8601Date",
                                       L"zqSysParseISO8601Date (0)", L"zqSysParseISO8601Time",
                                       L"zqSysParseISO8601Time (87)", L"zqSysISO8601ToSystemTime (87)"}));
  log.Clear();
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020-06-01T12-13", &st), 87u);
  ASSERT_EQ(log.Lines().size(), 8u);
  EXPECT_EQ(log.Lines()[5], (LogLine{8, L"zqSysParseISO8601TimeZone"}));
  EXPECT_EQ(log.Lines()[6], (LogLine{16, L"zqSysParseISO8601TimeZone (87)"}));
  EXPECT_EQ(log.Lines()[7], (LogLine{16, L"zqSysISO8601ToSystemTime (87)"}));

  // Null arguments: the entry line, then the result.
  log.Clear();
  EXPECT_EQ(zqSysISO8601ToSystemTime(nullptr, &st), 87u);
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020", nullptr), 87u);
  TIME_ZONE_INFORMATION zone;
  EXPECT_EQ(zqSysParseISO8601Date(nullptr, &st), 87u);
  EXPECT_EQ(zqSysParseISO8601Time(L"12", nullptr), 87u);
  EXPECT_EQ(zqSysParseISO8601TimeZone(nullptr, false, &zone), 87u);
  EXPECT_EQ(log.Lines(), (Lines{{8, L"zqSysISO8601ToSystemTime"},
                                {16, L"zqSysISO8601ToSystemTime (87)"},
                                {8, L"zqSysISO8601ToLargeInteger"},
                                {16, L"zqSysISO8601ToLargeInteger (87)"},
                                {8, L"zqSysParseISO8601Date"},
                                {16, L"zqSysParseISO8601Date (87)"},
                                {8, L"zqSysParseISO8601Time"},
                                {16, L"zqSysParseISO8601Time (87)"},
                                {8, L"zqSysParseISO8601TimeZone"},
                                {16, L"zqSysParseISO8601TimeZone (87)"}}));
}

}  // namespace
