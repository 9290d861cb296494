// Domain names and user ids on the road Wine takes: its directory translation
// fails, so a UPN's domain comes from the system's domain cache or the
// library's own, which the tests fill.

#include "handles.h"
#include "nettest.h"

using namespace nettest;

namespace {

// The text functions in both widths; a row names one, its width, its argument, buffer and count, its result and lines.
const std::pair<BOOL (*)(const wchar_t*, wchar_t*, DWORD*), BOOL (*)(const char*, char*, DWORD*)> kFunctions[] = {
    {zqNetGetNETBIOSDomainNameFromUPNW, zqNetGetNETBIOSDomainNameFromUPNA},
    {zqNetGetUserNameDomainFromUPNW, zqNetGetUserNameDomainFromUPNA},
    {zqNetGetUserNameFromUserIdW, zqNetGetUserNameFromUserIdA}};
enum Function { kNetbios, kUpn, kBare };
struct Case { Function function; bool wide; const char* arg; bool buffer; DWORD count; Result expected; Lines lines = {}; };

void Walk(const std::vector<Case>& cases) {
  LogCapture log;
  for (const Case& c : cases) {
    log.Clear();
    const auto [wide, narrow] = kFunctions[c.function];
    EXPECT_EQ(c.wide ? Call(wide, c.arg, c.buffer, c.count) : Call(narrow, c.arg, c.buffer, c.count), c.expected) << (c.arg ? c.arg : "null");
    EXPECT_EQ(log.Lines(), c.lines) << (c.arg ? c.arg : "null");
  }
}

// The library cache's lines: its name for the width, its failure, its code.
Lines Vista(bool wide, DWORD rc, const std::wstring& error = L"") {
  const std::wstring name = wide ? L"zqNetGetNETBIOSDomainNameFromUPNVistaW" : L"zqNetGetNETBIOSDomainNameFromUPNVistaA";
  return Around(name, error.empty() ? Lines{} : Lines{{1, name + L" " + error}}, Format(L"%s (%d)", name.c_str(), rc));
}
const std::wstring kNoLibraryCache = L"Can't open registry key SOFTWARE\\Quorvane\\System\\DomainCache";

TEST(UserIds, DomainCachesUpnsAndBareNames) {
  FixedKey system(kSystemCache, true, {{L"CORP", L"corp.example.com"}, {L"LAB", L"lab.example.org"}, {L"\u00C9COLE", L"ecole.example.fr"}});
  FixedKey library(kLibraryCache, true, {{L"corp.example.com", L"OTHER"}, {L"dev.example.net", L"DEV"}});
  // A narrow name is in the ANSI code page.
  char ansi[16] = {};
  WideCharToMultiByte(CP_ACP, 0, L"\u00C9COLE", -1, ansi, 16, nullptr, nullptr);
  const std::wstring ecole = Until(ansi);
  const HMODULE secur32 = GetModuleHandleW(L"secur32.dll");
  Upn(true, "jdoe@corp.example.com", false, 0);
  const uintptr_t handles = ProbeHandleValue();
  Walk({
      // The system cache alone; counts here leave the terminator out.
      {kNetbios, true, "lab.example.org", false, 99, {TRUE, kKept, 3, L""}},
      {kNetbios, true, "lab.example.org", true, 3, {TRUE, kKept, 3, L"LAB|"}},
      {kNetbios, true, "corp.example.com", true, 3, {FALSE, 122, 4, L""}},
      {kNetbios, true, "LAB.example.org", true, 8, {FALSE, 259, 8, L""}},  // case-sensitive
      {kNetbios, false, "corp.example.com", true, 4, {TRUE, kKept, 4, L"CORP|"}},
      {kNetbios, false, "lab.example.org", true, 2, {FALSE, 122, 3, L""}},
      {kNetbios, false, "ecole.example.fr", true, 8, {TRUE, kKept, 5, ecole + L"|"}},
      {kNetbios, true, nullptr, true, 8, {FALSE, 87, 8, L""}},
      // A UPN's domain from the system cache first, then the library's; counts include the terminator.
      {kUpn, true, "jdoe@corp.example.com", false, 0, {TRUE, kKept, 10, L""}},
      {kUpn, true, "jdoe@corp.example.com", true, 9, {FALSE, 122, 10, L""}},
      {kUpn, true, "jdoe@corp.example.com", true, 10, {TRUE, kKept, 10, L"CORP\\jdoe|"}},
      {kUpn, false, "ann@ecole.example.fr", true, 16, {TRUE, kKept, 10, ecole + L"\\ann|"}},
      {kUpn, true, "j.doe@dev.example.net", true, 32, {TRUE, kKept, 10, L"DEV\\j.doe|"}, Vista(true, 0)},
      {kUpn, false, "ann@dev.example.net", true, 32, {TRUE, kKept, 8, L"DEV\\ann|"}, Vista(false, 0)},
      {kUpn, true, "jdoe@elsewhere.example.org", true, 32, {FALSE, 2, 32, L""}, Vista(true, 2, L"Can't get value of registry key elsewhere.example.org")},
      {kUpn, false, nullptr, false, 32, {FALSE, 87, 32, L""}},
      {kUpn, true, "jdoe", true, 32, {FALSE, 87, 32, L""}},  // offline, a UPN needs its "@"
      // The bare name; failures set no last error, nothing after "\" leaves the count untouched.
      {kBare, true, "jdoe@corp.example.com", true, 16, {TRUE, kKept, 5, L"jdoe|"}},
      {kBare, true, "CORP\\jdoe@x", true, 16, {TRUE, kKept, 10, L"CORP\\jdoe|"}},
      {kBare, true, "CORP\\", true, 16, {FALSE, kKept, 16, L""}},
      {kBare, true, "CORP\\jdoe", true, 4, {FALSE, kKept, 5, L""}},
      {kBare, true, "CORP\\jdoe", false, 0, {TRUE, kKept, 5, L""}},
      {kBare, false, "ann@x", true, 3, {FALSE, kKept, 4, L""}},
      {kBare, true, nullptr, true, 16, {FALSE, kKept, 16, L""}},
  });
  // A null count: FALSE and 87.
  EXPECT_FALSE(zqNetGetUserNameDomainFromUPNW(L"jdoe@lab.example.org", nullptr, nullptr) || GetLastError() != 87);
  EXPECT_FALSE(zqNetGetNETBIOSDomainNameFromUPNA("corp.example.com", nullptr, nullptr) || GetLastError() != 87);
  // Secur32.dll is loaded for each call only, and every key is closed again.
  EXPECT_EQ(GetModuleHandleW(L"secur32.dll"), secur32);
  EXPECT_EQ(ProbeHandleValue(), handles);

  // A value that cannot be read ends the search (values enumerate by name):
  // data of more than 255 bytes, a name of 255 characters.
  system.Set(L"AAA", std::wstring(149, L'x'));
  EXPECT_EQ(Call(zqNetGetNETBIOSDomainNameFromUPNW, "lab.example.org", true, 8).error, 234u);
  system.Set(std::wstring(255, L'A'), L"a.example.com");
  EXPECT_EQ(Call(zqNetGetNETBIOSDomainNameFromUPNA, "lab.example.org", false, 8).error, 234u);
  FixedKey noSystem(kSystemCache, false), noLibrary(kLibraryCache, false);
  Walk({{kNetbios, true, "corp.example.com", false, 8, {FALSE, 2, 8, L""}},
        {kUpn, true, "jdoe@corp.example.com", true, 32, {FALSE, 2, 32, L""}, Vista(true, 2, kNoLibraryCache)},
        {kUpn, false, "jdoe@corp.example.com", true, 32, {FALSE, 2, 32, L""}, Vista(false, 2, kNoLibraryCache)}});
}

// The lines of the string conversion inside a buffer function: its start for
// a domain name (narrow: its bytes), the road taken and its exit.
const std::wstring kConvert = L"zqNetConvertUserIdToNETBIOS";
Lines Converted(const std::wstring& domainName, const std::wstring& road, int status, const char* narrow = nullptr) {
  const std::wstring bytes = narrow ? L"" : BinText(kConvert + L" Domain name", domainName.c_str(), domainName.size() * 2);
  return Lines{{8, kConvert}, {2, narrow ? BinText(kConvert + L" Domain name", narrow, strlen(narrow)) : bytes}, {2, kConvert + L" Username"},
               {2, kConvert + L" Domain = " + domainName}} +
         (road.empty() ? Lines{} : Lines{{2, kConvert + L" " + road}}) + (road == L"UPN" ? Lines{} : Lines{{16, Format(L"%s (%d)", kConvert.c_str(), status)}});
}

TEST(ConvertUserId, AnyIdToUserAndNetbiosDomain) {
  FixedKey system(kSystemCache, true, {{L"CORP", L"corp.example.com"}}), library(kLibraryCache, false);
  const std::wstring w = L"zqNetConvertUserIdToNETBIOSW", a = L"zqNetConvertUserIdToNETBIOSA";
  const std::wstring sam = L"SAM compatible name", plain = L"Use input directly";
  auto copies = [&](const std::wstring& domain) { return Lines{{2, w + L" User name out"}, {2, w + L" Domain out = " + domain}}; };
  // A plain id takes the domain name up to its first blank, else its first tab; a
  // null one is empty, without its line. Counts equal to the names' lengths leave
  // no room for the terminator; a domain too small keeps the user copied. Only
  // the wide form logs its copies. Rows: width, id, domain name, buffers, counts,
  // status, "user|domain|counts" afterwards, the conversion's lines, the lines after.
  const struct { bool wide; const char *id, *domainName; bool buffers; DWORD userCount, domainCount, status; std::wstring out; Lines inside, after; } cases[] = {
      {true, "CORP\\jdoe", "OTHER", true, 16, 16, 0, L"jdoe|CORP|5|5", Converted(L"OTHER", sam, 0), copies(L"CORP")},
      {true, "jdoe", "CORP more text", true, 16, 16, 0, L"jdoe|CORP|5|5", Converted(L"CORP more text", plain, 0), copies(L"CORP")},
      {true, "jdoe", "CORP\tmore text", true, 16, 16, 0, L"jdoe|CORP\tmore|5|10", Converted(L"CORP\tmore text", plain, 0), copies(L"CORP\tmore")},
      {true, "jdoe", "CORP\tmore", true, 16, 16, 0, L"jdoe|CORP|5|5", Converted(L"CORP\tmore", plain, 0), copies(L"CORP")},
      {true, "jdoe", nullptr, true, 16, 16, 0, L"jdoe||5|1", Converted(L"", plain, 0), copies(L"")},
      {true, "", "CORP", true, 16, 16, 87, L"||16|16", Converted(L"CORP", L"", 87), {}},
      {true, "jdoe@corp.example.com", "X", true, 16, 16, 0, L"jdoe|CORP|5|5",
       Converted(L"X", L"UPN", 0) + Lines{{2, kConvert + L" " + sam}, {16, kConvert + L" (0)"}}, copies(L"CORP")},
      // A failed translation: its last error, and its line ends the conversion.
      {true, "jdoe@nowhere.example.com", "X", true, 16, 16, 2, L"||16|16",
       Converted(L"X", L"UPN", 2) + Vista(true, 2, kNoLibraryCache) + Lines{{1, kConvert + L" UPN Translation failed (2)"}}, {}},
      {true, "CORP\\jdoe", "X", false, 0, 0, 0, L"||5|5", Converted(L"X", sam, 0), {}},
      {true, "CORP\\jdoe", "X", true, 4, 16, 122, L"||5|5", Converted(L"X", sam, 0), {{1, w + L" Insufficient buffer for user name (4 < 4)"}}},
      {true, "CORP\\jdoe", "X", true, 16, 4, 122, L"jdoe||5|5", Converted(L"X", sam, 0),
       {{2, w + L" User name out"}, {1, w + L" Insufficient buffer for domain (4 < 4)"}}},
      {false, "LAB\\ann", "X", true, 16, 16, 0, L"ann|LAB|4|4", Converted(L"X", sam, 0, "X"), {}},
      {false, "ann@corp.example.com", "", true, 16, 16, 0, L"ann|CORP|4|5",
       Converted(L"", L"UPN", 0, "") + Lines{{2, kConvert + L" " + sam}, {16, kConvert + L" (0)"}}, {}},
      {false, "LAB\\ann", "X", true, 3, 16, 122, L"||4|4", Converted(L"X", sam, 0, "X"), {{1, a + L" Insufficient buffer for user name (3 < 3)"}}},
  };
  LogCapture log;
  for (const auto& c : cases) {
    wchar_t user[16], domain[16];
    char userA[16], domainA[16];
    std::fill_n(user, 16, L'#'), std::fill_n(domain, 16, L'#'), std::fill_n(userA, 16, '#'), std::fill_n(domainA, 16, '#');
    DWORD userCount = c.userCount, domainCount = c.domainCount;
    const std::wstring id = Wide(c.id), domainName = Wide(c.domainName ? c.domainName : "");
    const wchar_t* domainNameW = c.domainName ? domainName.c_str() : nullptr;
    void* domainArg = !c.buffers ? nullptr : c.wide ? static_cast<void*>(domain) : domainA;
    log.Clear();
    EXPECT_EQ(c.wide ? zqNetConvertUserIdToNETBIOSW(id.c_str(), domainNameW, c.buffers ? user : nullptr, &userCount, static_cast<wchar_t*>(domainArg), &domainCount)
                     : zqNetConvertUserIdToNETBIOSA(c.id, c.domainName, userA, &userCount, domainA, &domainCount),
              c.status);
    EXPECT_EQ((c.wide ? Until(user) + L"|" + Until(domain) : Until(userA) + L"|" + Until(domainA)) + Format(L"|%d|%d", userCount, domainCount), c.out) << c.id;
    const std::wstring name = c.wide ? w : a;
    const Lines before = {{2, name + L" User name"}, {2, name + L" Domain name = " + domainName}};
    EXPECT_EQ(log.Lines(), Around(Format(L"%s (%p,%p,%p,%p)", name.c_str(), c.wide ? static_cast<const void*>(domainNameW) : c.domainName, &userCount, domainArg, &domainCount),
                                  Lines(before.begin(), before.begin() + (c.domainName ? 2 : 1)) + c.inside + c.after, Format(L"%s (%d)", name.c_str(), c.status)))
        << c.id;
  }
  // Without an id or a count the conversion is not made.
  DWORD count = 16;
  EXPECT_EQ(zqNetConvertUserIdToNETBIOSW(nullptr, L"D", nullptr, &count, nullptr, &count) + zqNetConvertUserIdToNETBIOSA("a", "D", nullptr, &count, nullptr, nullptr), 2 * 87u);
  EXPECT_EQ(count, 16u);
}

}  // namespace
