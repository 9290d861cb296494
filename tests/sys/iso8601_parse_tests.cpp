// ISO 8601 text into SYSTEMTIME and file times, against Wine's own time calls.
// The program runs with TZ=Asia/Kolkata (UTC+05:30, no daylight saving), so
// that local-time texts differ from UTC ones.
#include <array>
#include <cstring>

#include "iso8601.h"
#include "systest.h"
#include "zqsys.h"

using namespace systest;
using zq::sys::zqSysParseISO8601Date;
using zq::sys::zqSysParseISO8601Time;
using zq::sys::zqSysParseISO8601TimeZone;
using zqtest::LogCapture;

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

// The last error of the file-time conversion on fields it rejects.
DWORD ConversionError(SYSTEMTIME st) {
  FILETIME ignored;
  SetLastError(0);
  EXPECT_FALSE(SystemTimeToFileTime(&st, &ignored));
  EXPECT_NE(GetLastError(), 0u);
  return GetLastError();
}

TEST(Iso8601Parse, WholeTexts) {
  // UTC forms, and designators with nothing behind them: no conversion runs.
  for (const wchar_t* text :
       {L"2020-06-01T12:00:00Z", L"20200601T120000Z", L"2020-06-01 12:00:00Z", L"2020-06-01T12:00Z", L"20200601T1200Z",
        L"2020-06-01T12Z", L"2020-06-01T12:00:00+", L"2020-06-01T12:00:00-"}) {
    SYSTEMTIME st;
    std::memset(&st, 0xCC, sizeof st);
    EXPECT_EQ(zqSysISO8601ToSystemTime(text, &st), 0u) << Quoted(text);
    EXPECT_EQ(Of(st), (Fields{2020, 6, 0, 1, 12, 0, 0, 0})) << Quoted(text);
  }
  const struct {
    const wchar_t* text;
    Fields utc;
  } accepted[] = {
      {L"2020-06-01T12:00:00+00:00", {2020, 6, 1, 1, 12, 0, 0, 0}},
      // Offsets, converted to UTC; "Z" followed by an offset counts as '+'.
      {L"2020-06-01T12:00:00+02:00", {2020, 6, 1, 1, 10, 0, 0, 0}},
      {L"2020-06-01T12:00:00-05:30", {2020, 6, 1, 1, 17, 30, 0, 0}},
      {L"2020-06-01T12:00:00-05", {2020, 6, 1, 1, 17, 0, 0, 0}},
      {L"2020-06-01T12:00:00-0530", {2020, 6, 1, 1, 17, 30, 0, 0}},
      {L"2020-06-01T12:00:00Z0100", {2020, 6, 1, 1, 11, 0, 0, 0}},
      {L"2020-06-01T12:00:00+13:59", {2020, 5, 0, 31, 22, 1, 0, 0}},
      {L"2020-06-01T12:00:00-12:59", {2020, 6, 2, 2, 0, 59, 0, 0}},
      {L"2020-06-01T00:30:00+01", {2020, 5, 0, 31, 23, 30, 0, 0}},
      {L"2020-06-01T12:00:00+05:3", {2020, 6, 1, 1, 7, 0, 0, 0}},  // four characters: hhmm, minutes ":3" = 0
      // No calendar check: as UTC nothing converts, and the fields pass as they are.
      {L"2020-02-31T00:00:00Z", {2020, 2, 0, 31, 0, 0, 0, 0}},
      {L"2020-06-01T25:00:00Z", {2020, 6, 0, 1, 25, 0, 0, 0}},
      {L"2020-06-01T1:00Z", {2020, 6, 0, 1, 1, 0, 0, 0}},  // hhmm, hour "1:"
      {L"2020-00-00T00:61:99Z", {2020, 0, 0, 0, 0, 61, 99, 0}},
      {L"2020-06 10Z", {2020, 6, 0, 0, 10, 0, 0, 0}}};
  for (const auto& c : accepted) {
    SYSTEMTIME st;
    std::memset(&st, 0xCC, sizeof st);
    EXPECT_EQ(zqSysISO8601ToSystemTime(c.text, &st), 0u) << Quoted(c.text);
    EXPECT_EQ(Of(st), c.utc) << Quoted(c.text);
  }
  // Offsets out of range or of the wrong shape (more in the zone parser's
  // table), fractions, lowercase, empty time, fields beyond the parser's range,
  // and a zone without a separator (then the whole text is the date).
  const wchar_t* rejected[] = {L"2020-06-01T12:00:00+14:00", L"2020-06-01T12:00:00-13:00", L"2020-06-01T12:00:00+05:60",
                              L"2020-06-01T12:00:00+05:30Z", L"2020-06-01T12:00:00+0530:", L"2020-06-01T12:00:00+05.30",
                              L"2020-06-01T12:00:00.500Z", L"2020-06-01T12:00:00,5Z", L"2020-06-01t12:00:00z",
                              L"2020-06-01T12:00:00z", L"2020-06-01T", L"2020-06-01TZ", L"", L"T12:00Z",
                              L"2020-13-01T00:00:00Z", L"2020-06-32T00:00:00Z", L"20201301T00Z", L"2020-6-1T00Z",
                              L"2020/06/01T00Z", L"2020-06-01T12-00Z", L"2020-06-01T12:0:00Z", L"2020-06-01T1200:00Z",
                              L"202006", L"2020-06-01-", L"2020-06-01T12:00:00Z+01", L"2020-06-01Z", L"2020-06-01+02"};
  for (const wchar_t* text : rejected) {
    SYSTEMTIME st;
    EXPECT_EQ(zqSysISO8601ToSystemTime(text, &st), 87u) << Quoted(text);
  }
  // With an offset or as local time the conversion runs and rejects them.
  const DWORD conversionError = ConversionError({2020, 0, 0, 0, 0, 0, 0, 0});
  SYSTEMTIME st;
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020", &st), conversionError);
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020-06", &st), conversionError);
  EXPECT_NE(zqSysISO8601ToSystemTime(L"2020-06-01T25:00:00+01", &st), 0u);
  EXPECT_NE(zqSysISO8601ToSystemTime(L"2020-06-01T25:00:00", &st), 0u);

  LARGE_INTEGER value{};
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-06-01T12:00:00Z", &value), 0u);
  EXPECT_EQ(value.QuadPart, 132354864000000000LL);
  // UTC fields that pass the parser fail the file-time conversion; the value stays.
  value.QuadPart = 77;
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-02-31T00:00:00Z", &value), ConversionError({2020, 2, 0, 31, 0, 0, 0, 0}));
  EXPECT_EQ(value.QuadPart, 77);
  EXPECT_EQ(zqSysISO8601ToSystemTime(nullptr, &st), 87u);
  EXPECT_EQ(zqSysISO8601ToSystemTime(L"2020", nullptr), 87u);
  EXPECT_EQ(zqSysISO8601ToLargeInteger(nullptr, &value), 87u);
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-06-01Z", nullptr), 87u);
}

TEST(Iso8601Parse, TextsWithoutDesignatorAreLocalTime) {
  TIME_ZONE_INFORMATION zone;
  GetTimeZoneInformation(&zone);
  ASSERT_EQ(zone.Bias, -330) << "the program runs with TZ=Asia/Kolkata";
  const struct {
    const wchar_t* text;
    SYSTEMTIME local;
  } cases[] = {{L"2020-06-01T12:00:00", {2020, 6, 0, 1, 12, 0, 0, 0}},
               {L"2020-06-01", {2020, 6, 0, 1, 0, 0, 0, 0}},
               {L"20200601 0830", {2020, 6, 0, 1, 8, 30, 0, 0}}};
  for (const auto& c : cases) {
    SYSTEMTIME expected = {}, st = {};
    ASSERT_TRUE(TzSpecificLocalTimeToSystemTime(nullptr, &c.local, &expected));
    EXPECT_EQ(zqSysISO8601ToSystemTime(c.text, &st), 0u) << Quoted(c.text);
    EXPECT_EQ(Of(st), Of(expected)) << Quoted(c.text);
  }
}

constexpr WORD kX = 0xAAAA;  // a field the parser left alone
using Words = std::array<WORD, 4>;

TEST(Iso8601Parse, ComponentParsers) {
  const struct {
    const wchar_t* text;
    DWORD status;
    WORD year, month, day;
  } dates[] = {
      {L"2020", 0, 2020, kX, kX},        {L"2020-06", 0, 2020, 6, kX},
      {L"20200601", 0, 2020, 6, 1},      {L"2020-06-01", 0, 2020, 6, 1},
      {L"0000-00-00", 0, 0, 0, 0},       {L"9999-12-31", 0, 9999, 12, 31},
      {L"2020-13", 87, 2020, 13, kX},    {L"20201301", 87, kX, 13, kX},
      {L"20201232", 87, kX, 12, 32},     {L"2020-06-32", 87, kX, kX, 32},
      {L"2020-13-01", 87, 2020, 13, 1},  {L"2020-06-1-", 0, 2020, 6, 1},  // the day's digits read as "1-": 1
      {L"20-0-6-01", 87, kX, kX, kX},    {L"2020_06_01", 87, kX, kX, kX},
      {L"202", 87, kX, kX, kX},          {L"-020-06-01", 0, 65516, 6, 1},  // -20: the year is never checked
      {L"2020--1", 87, 2020, 0xFFFF, kX}  // a negative month fails as a large unsigned value
  };
  for (const auto& c : dates) {
    SYSTEMTIME st;
    std::memset(&st, 0xAA, sizeof st);
    EXPECT_EQ(zqSysParseISO8601Date(c.text, &st), c.status) << Quoted(c.text);
    EXPECT_EQ((Words{st.wYear, st.wMonth, st.wDay, st.wHour}), (Words{c.year, c.month, c.day, kX})) << Quoted(c.text);
  }

  const struct {
    const wchar_t* text;
    DWORD status;
    WORD hour, minute, second;
  } times[] = {{L"12", 0, 12, kX, kX},       {L"1234", 0, 12, 34, kX},     {L"12:34", 0, 12, 34, kX},
               {L"123456", 0, 12, 34, 56},   {L"12:34:56", 0, 12, 34, 56}, {L"99:99:99", 0, 99, 99, 99},
               {L"12345:", 0, 12, 34, 5},    {L"1", 87, kX, kX, kX},       {L"123", 87, kX, kX, kX},
               {L"1234567", 87, kX, kX, kX}, {L"12:3456", 87, kX, kX, kX}, {L"12.34", 87, kX, kX, kX},
               {L"", 87, kX, kX, kX}};
  for (const auto& c : times) {
    SYSTEMTIME st;
    std::memset(&st, 0xAA, sizeof st);
    EXPECT_EQ(zqSysParseISO8601Time(c.text, &st), c.status) << Quoted(c.text);
    EXPECT_EQ((Words{st.wHour, st.wMinute, st.wSecond, st.wYear}), (Words{c.hour, c.minute, c.second, kX}))
        << Quoted(c.text);
  }

  const struct {
    const wchar_t* text;
    bool positive;
    DWORD status;
    LONG bias;
  } zones[] = {
      {L"02", true, 0, -120},    {L"0200", true, 0, -120},    {L"02:00", true, 0, -120},   {L"05:30", false, 0, 330},
      {L"13:59", true, 0, -839}, {L"12:59", false, 0, 779},   {L"00", false, 0, 0},        {L"05:3", true, 0, -300},
      {L"14", true, 87, 12345},  {L"13", false, 87, 12345},   {L"05:60", true, 87, 12345}, {L"0560", false, 87, 12345},
      {L"5", true, 87, 12345},   {L"05-30", true, 87, 12345}, {L"053", true, 87, 12345},   {L"", true, 87, 12345}};
  for (const auto& z : zones) {
    TIME_ZONE_INFORMATION zone;
    std::memset(&zone, 0x55, sizeof zone);
    zone.Bias = 12345;
    EXPECT_EQ(zqSysParseISO8601TimeZone(z.text, z.positive, &zone), z.status) << Quoted(z.text);
    EXPECT_EQ(zone.Bias, z.bias) << Quoted(z.text);
    EXPECT_TRUE(z.status || (zone.StandardName[0] == L'\0' && zone.DaylightDate.wMonth == 0));
  }
}

TEST(Iso8601Parse, LogLinesOfEveryPath) {
  const Lines date = Op(L"zqSysParseISO8601Date", 0), time = Op(L"zqSysParseISO8601Time", 0);
  const wchar_t* toSystemTime = L"zqSysISO8601ToSystemTime";
  const struct {
    const wchar_t* text;
    DWORD status;
    Lines inside;
  } cases[] = {{L"2020-06-01T12:00:00Z", 0, date + time},
               {L"2020-06-01", 0, date},                                             // no time: no time parser
               {L"2020-06-01T1.5+01", 87, date + Op(L"zqSysParseISO8601Time", 87)},  // no zone parser after a bad time
               {L"2020-06-01T12-13", 87, date + time + Op(L"zqSysParseISO8601TimeZone", 87)}};
  for (const auto& c : cases) {
    LogCapture log;
    SYSTEMTIME st;
    EXPECT_EQ(zqSysISO8601ToSystemTime(c.text, &st), c.status);
    EXPECT_EQ(log.Lines(), Op(toSystemTime, c.status, c.inside)) << Quoted(c.text);
  }

  LogCapture log;
  LARGE_INTEGER value;
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020-06-01T12+0130", &value), 0u);
  EXPECT_EQ(log.Lines(), Op(L"zqSysISO8601ToLargeInteger", 0,
                            Op(toSystemTime, 0, date + time + Op(L"zqSysParseISO8601TimeZone", 0))));

  // Null arguments: the entry line, then the result.
  log.Clear();
  SYSTEMTIME st;
  TIME_ZONE_INFORMATION zone;
  EXPECT_EQ(zqSysISO8601ToSystemTime(nullptr, &st), 87u);
  EXPECT_EQ(zqSysISO8601ToLargeInteger(L"2020", nullptr), 87u);
  EXPECT_EQ(zqSysParseISO8601Date(nullptr, &st), 87u);
  EXPECT_EQ(zqSysParseISO8601Date(L"2020", nullptr), 87u);
  EXPECT_EQ(zqSysParseISO8601Time(nullptr, &st), 87u);
  EXPECT_EQ(zqSysParseISO8601Time(L"12", nullptr), 87u);
  EXPECT_EQ(zqSysParseISO8601TimeZone(nullptr, false, &zone), 87u);
  EXPECT_EQ(zqSysParseISO8601TimeZone(L"02", true, nullptr), 87u);
  EXPECT_EQ(log.Lines(), Op(toSystemTime, 87) + Op(L"zqSysISO8601ToLargeInteger", 87) +
                             Op(L"zqSysParseISO8601Date", 87) + Op(L"zqSysParseISO8601Date", 87) +
                             Op(L"zqSysParseISO8601Time", 87) + Op(L"zqSysParseISO8601Time", 87) +
                             Op(L"zqSysParseISO8601TimeZone", 87) + Op(L"zqSysParseISO8601TimeZone", 87));
}

}  // namespace
