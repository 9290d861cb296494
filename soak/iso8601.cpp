// ISO 8601: seeded texts, valid ones that must round-trip exactly and
// mutations whose status a reference parser of the accepted grammar computes.
#include "soak.h"

#include <cwctype>

#include "zqsys.h"

namespace soak {

// The field at positions [from, from + n), read as the runtime reads it.
static WORD Field(const wstring& s, size_t from, size_t n) { return static_cast<WORD>(_wtoi(s.substr(from, n).c_str())); }

static bool OnlyOf(const wstring& s, wchar_t extra) {
  return std::all_of(s.begin(), s.end(), [&](wchar_t c) { return iswdigit(c) || c == extra; });
}

// The fields at their fixed places. Only a text's status is compared when it
// is rejected, not the fields it may leave written.
static DWORD RefDate(const wstring& d, SYSTEMTIME& st) {
  size_t n = d.size();
  bool extended = n == 7 || n == 10;
  if (!OnlyOf(d, L'-') || (n != 4 && n != 8 && !extended) || (extended && (d[4] != L'-' || (n == 10 && d[7] != L'-'))))
    return 87;
  st.wYear = Field(d, 0, 4), st.wMonth = n == 4 ? 0 : Field(d, extended ? 5 : 4, 2), st.wDay = n > 7 ? Field(d, n - 2, 2) : 0;
  return st.wMonth > 12 || st.wDay > 31 ? 87 : 0;
}

static DWORD RefTime(const wstring& t, SYSTEMTIME& st) {
  size_t n = t.size();
  bool colons = n == 5 || n == 8;
  if (!OnlyOf(t, L':') || (n != 2 && n != 4 && n != 6 && !colons) || (colons && (t[2] != L':' || (n == 8 && t[5] != L':'))))
    return 87;
  st.wHour = Field(t, 0, 2), st.wMinute = n > 2 ? Field(t, colons ? 3 : 2, 2) : 0, st.wSecond = n > 5 ? Field(t, colons ? 6 : 4, 2) : 0;
  return 0;
}

static DWORD RefZone(const wstring& z, bool positive, TIME_ZONE_INFORMATION& tz) {
  size_t n = z.size();
  if (!OnlyOf(z, L':') || (n != 2 && n != 4 && n != 5) || (n == 5 && z[2] != L':')) return 87;
  WORD hours = Field(z, 0, 2), minutes = n == 2 ? 0 : Field(z, n - 2, 2);
  if (hours > (positive ? 13 : 12) || minutes > 59) return 87;
  tz = {}, tz.Bias = (hours * 60 + minutes) * (positive ? -1 : 1);  // minutes west of UTC
  return 0;
}

// The status and fields the library must give, with the platform's own
// conversions where it runs them.
static DWORD RefParse(const wstring& text, SYSTEMTIME& st) {
  st = {};
  size_t sep = text.find_first_of(L" T"), zone = sep == wstring::npos ? sep : text.find_first_of(L"+-Z", sep + 1);
  if (DWORD status = RefDate(text.substr(0, sep), st)) return status;
  if (DWORD status = sep == wstring::npos ? 0 : RefTime(text.substr(sep + 1, zone == wstring::npos ? zone : zone - sep - 1), st))
    return status;
  SYSTEMTIME utc;
  FILETIME local, ft;
  TIME_ZONE_INFORMATION tz;
  if (zone == wstring::npos)
    return SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &ft) && FileTimeToSystemTime(&ft, &st) ? 0 : GetLastError();
  if (zone + 1 == text.size()) return 0;  // "...Z", "...+": the fields as they stand
  if (DWORD status = RefZone(text.substr(zone + 1), text[zone] != L'-', tz)) return status;
  return TzSpecificLocalTimeToSystemTime(&tz, &st, &utc) ? (st = utc, 0) : GetLastError();
}

static wstring W(const std::string& s) { return wstring(s.begin(), s.end()); }
static wstring Canonical(const SYSTEMTIME& st) {
  return W(Str("%04u-%02u-%02uT%02u:%02u:%02uZ", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond));
}
static ULONGLONG Value(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }

const ULONGLONG kSecond = 10000000ull, kEnd = 2650467743990000000ull;  // 9999-12-31T23:59:59Z as a file time

// A valid text of a random instant in one of the accepted notations; *instant
// is the instant it denotes (the fields the notation drops are zero).
static wstring MakeValid(Rng& r, ULONGLONG& instant) {
  ULONGLONG wall = (r.Next() % (kEnd / kSecond - 2 * 86400) + 86400) * kSecond;
  int dateForm = r.Below(2), timeForm = r.Below(5), zoneForm = r.Below(6);  // zone: Z + local +off -off Zoff
  wall -= wall % ((timeForm == 0 ? 3600 : timeForm <= 2 ? 60 : 1) * kSecond);
  int offset = zoneForm < 3 ? 0 : r.Range(zoneForm == 5 ? 0 : -12 * 60 - 59, zoneForm == 4 ? -1 : 13 * 60 + 59);
  SYSTEMTIME st;
  FILETIME ft{static_cast<DWORD>(wall), static_cast<DWORD>(wall >> 32)}, utc = ft;
  FileTimeToSystemTime(&ft, &st);
  if (zoneForm == 2) LocalFileTimeToFileTime(&ft, &utc);
  instant = Value(utc) - static_cast<LONGLONG>(offset) * 60 * static_cast<LONGLONG>(kSecond);
  static const char* const kTime[] = {"%02u", "%02u%02u", "%02u:%02u", "%02u%02u%02u", "%02u:%02u:%02u"};
  int h = std::abs(offset) / 60, m = std::abs(offset) % 60, offForm = m ? 1 + r.Below(2) : r.Below(3);
  std::string text = Str(dateForm ? "%04u-%02u-%02u" : "%04u%02u%02u", st.wYear, st.wMonth, st.wDay) +
                     (r.Chance(50) ? "T" : " ") + Str(kTime[timeForm], st.wHour, st.wMinute, st.wSecond);
  if (zoneForm != 2) text += zoneForm == 0 || zoneForm == 5 ? "Z" : offset < 0 || (zoneForm == 1 && r.Chance(50)) ? "-" : "+";
  if (zoneForm >= 3) text += Str(offForm == 0 ? "%02d" : offForm == 1 ? "%02d%02d" : "%02d:%02d", h, m);
  return W(text);
}

static wstring Mutate(Rng& r, wstring s) {
  static const wchar_t kChars[] = L"0123456789-:TZ+ tz.,x\u0660\uff10\u00b2/";
  static const wchar_t* const kEdge[] = {L"+13:59", L"-12:59", L"+14:00", L"-13:00", L"+13:60", L"Z13:59",
                                         L"Z-01",   L"+1359",  L"-1300",  L"+00",    L"-00:00", L"+99"};
  for (int edits = r.Range(1, 3); edits > 0; --edits) {
    size_t at = s.empty() ? 0 : r.Below(static_cast<uint32_t>(s.size())), zone = s.find_last_of(L"+-Z");
    wchar_t c = kChars[r.Below(sizeof kChars / sizeof kChars[0] - 1)];
    switch (r.Below(8)) {
      case 0: if (!s.empty()) s[at] = c; break;
      case 1: if (!s.empty()) s.erase(at, 1); break;
      case 2: s.insert(at, 1, c); break;
      case 3: s.resize(at); break;
      case 4: s.insert(at, r.Chance(50) ? L"99999999999" : L"65536"); break;
      case 5: s = (zone == wstring::npos || zone < 10 ? s : s.substr(0, zone)) + kEdge[r.Below(12)]; break;
      case 6: if (s.size() > 10) s[5 + r.Below(2)] = L"0123"[r.Below(4)], s[8 + r.Below(2)] = L"34"[r.Below(2)]; break;
      default: s.insert(at, 1, static_cast<wchar_t>(r.Range(1, 0x7f)));
    }
  }
  return s;
}

void RunIso8601(const Options& o, Tally& t, bool warmup) {
  uint64_t total = warmup ? 2000 : Count(o, 1000000, 100000);
  Rng r(o.seed ^ 0x150);
  ULONGLONG t0 = GetTickCount64();
  for (uint64_t i = 0; i < total; ++i, Progress("iso8601", i, total)) {
    ULONGLONG instant = 0;
    wstring valid = MakeValid(r, instant), text = r.Chance(50) ? valid : Mutate(r, valid);
    SYSTEMTIME want, got;
    memset(&got, 0xcc, sizeof got);
    LARGE_INTEGER li{};
    DWORD wantStatus = RefParse(text, want), status = zqSysISO8601ToSystemTime(text.c_str(), &got);
    DWORD liStatus = zqSysISO8601ToLargeInteger(text.c_str(), &li);
    t.calls += 2;
    if (status != wantStatus || (!wantStatus && memcmp(&got, &want, sizeof got))) {
      Mismatch(t, "zqSysISO8601ToSystemTime", Show(text), Str("%lu ", status) + Hex(&got, sizeof got),
               Str("%lu ", wantStatus) + Hex(&want, sizeof want));
      continue;
    }
    FILETIME ft{};
    DWORD wantLi = wantStatus ? wantStatus : SystemTimeToFileTime(&want, &ft) ? 0 : GetLastError();
    if (liStatus != wantLi || (!wantLi && static_cast<ULONGLONG>(li.QuadPart) != Value(ft)))
      Mismatch(t, "zqSysISO8601ToLargeInteger", Show(text), Str("%lu %lld", liStatus, li.QuadPart), Str("%lu %llu", wantLi, Value(ft)));
    if (text != valid || liStatus != wantLi) continue;
    // Valid: the instant exactly, and the canonical text both ways.
    SYSTEMTIME canon, back;
    FILETIME at{static_cast<DWORD>(instant), static_cast<DWORD>(instant >> 32)};
    FileTimeToSystemTime(&at, &canon);
    wchar_t out[32], out2[32];
    DWORD cch = 32, cch2 = 32;
    li.QuadPart = static_cast<LONGLONG>(instant);
    DWORD fmt = zqSysLargeIntegerToISO8601(&li, out, &cch), fmt2 = zqSysSystemTimeToISO8601(&got, out2, &cch2);
    DWORD cmp = zqSysCompareISO8601(text.c_str(), Canonical(canon).c_str()), again = zqSysISO8601ToSystemTime(out, &back);
    t.calls += 4;
    std::string gotText = Str("value %llu format %lu %lu cch %lu %lu compare %lu again %lu ", Value(ft), fmt, fmt2, cch,
                              cch2, cmp, again) + Show(out) + Show(out2) + Show(Canonical(back));
    std::string wantText = Str("value %llu format 0 0 cch 21 21 compare 0 again 0 ", instant) +
                           Show(Canonical(canon)) + Show(Canonical(canon)) + Show(Canonical(canon));
    if (gotText != wantText) Mismatch(t, "round trip", Show(text), gotText, wantText);
  }
  t.extra = Str("%.0f texts/s", static_cast<double>(total) * 1000 / static_cast<double>(GetTickCount64() - t0 + 1));
}

}  // namespace soak
