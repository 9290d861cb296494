// The session's and the process token's user, account SIDs through Wine's
// local security authority and the user cache, and the initial user name.
#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>
#include <wtsapi32.h>

#include "handles.h"
#include "nettest.h"

using namespace nettest;

namespace {

// What the session manager and the authority hand out must go back: this
// program's import slots of the calls that take it back are pointed at counters.
int wtsFrees = 0, policyCloses = 0;
auto* const realFree = reinterpret_cast<decltype(&WTSFreeMemory)>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"wtsapi32"), "WTSFreeMemory")));
auto* const realClose = reinterpret_cast<decltype(&LsaClose)>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"advapi32"), "LsaClose")));
void WINAPI CountedFree(void* block) { ++wtsFrees, realFree(block); }
NTSTATUS NTAPI CountedClose(LSA_HANDLE policy) { return ++policyCloses, realClose(policy); }
bool Redirect(void* real, void* counted) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const IMAGE_DATA_DIRECTORY iat = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew)
                                       ->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IAT];
  void **slots = reinterpret_cast<void**>(base + iat.VirtualAddress), **end = slots + iat.Size / sizeof(void*);
  DWORD protection = 0;
  const bool found = VirtualProtect(slots, iat.Size, PAGE_READWRITE, &protection) && std::find(slots, end, real) != end;
  return std::replace(slots, end, real, counted), found;
}
const bool redirected = Redirect(reinterpret_cast<void*>(realFree), reinterpret_cast<void*>(&CountedFree)) &&
                        Redirect(reinterpret_cast<void*>(realClose), reinterpret_cast<void*>(&CountedClose));

std::wstring SidText(PSID sid) {
  wchar_t* text = nullptr;
  const std::wstring result = ConvertSidToStringSidW(sid, &text) ? text : L"<invalid>";
  return LocalFree(text), result;
}

// The process's user and the computer as the platform names them.
struct Account {
  std::wstring user, domain, sid, computer;
} const me = [] {
  wchar_t user[256], domain[256], computer[256];
  BYTE sid[SECURITY_MAX_SID_SIZE];
  DWORD userChars = 256, domainChars = 256, sidBytes = sizeof sid, computerChars = 256;
  SID_NAME_USE use;
  const bool ok = GetUserNameW(user, &userChars) && GetComputerNameW(computer, &computerChars) &&
                  LookupAccountNameW(nullptr, user, sid, &sidBytes, domain, &domainChars, &use);
  return ok ? Account{user, domain, SidText(sid), computer} : Account{};
}();
const DWORD un = DWORD(me.user.size() + 1), dn = DWORD(me.domain.size() + 1);
const std::string narrowDomain = Narrow(me.domain);

enum Kind { kSession, kNarrow, kToken };
const wchar_t* const kNames[] = {L"zqNetGetCurrentUserAndDomainW", L"zqNetGetCurrentUserAndDomainA", L"zqNetGetCurrentProcessUserAndDomainW"};
// What a function logs between its entry and exit lines: the session's string overload (when asked), its error line.
Lines Inside(Kind kind, const std::wstring& error = L"", bool asked = true) {
  const std::wstring dump = kind == kNarrow ? BinText(L"GetCurrentUserAndDomain Domain", narrowDomain.c_str(), narrowDomain.size())
                                            : BinText(L"GetCurrentUserAndDomain Domain", me.domain.c_str(), me.domain.size() * 2);
  return (kind == kToken || !asked ? Lines{}
                         : Around(kind == kSession ? L"GetCurrentUserAndDomain" : L"GetCurrentUserAndDomain std::string",
                                  {{2, L"GetCurrentUserAndDomain Retrieve username and domain"}, {2, dump}}, L"GetCurrentUserAndDomain (0)")) +
         (error.empty() ? Lines{} : Lines{{1, kNames[kind] + error}});
}

TEST(CurrentUser, SessionAndTokenUserCountCopyLogAndRelease) {
  ASSERT_TRUE(redirected);
  ASSERT_FALSE(me.user.empty());
  const std::wstring session = L" Insufficient buffer for user's", token = L" Insufficient buffer ";
  // The session's names (counted in bytes by the narrow form, the same for these ASCII names) and the token's. A
  // session buffer that cannot hold its text and terminator: nothing copied, but a domain too small keeps the user
  // copied. The token's names both fit or neither is copied. A null count (the domain's here) is refused first.
  // Rows: function, buffers, counts, status, "user|domain" copied, the lines between entry and exit.
  const struct { Kind kind; bool buffers; DWORD userCount, domainCount, status; std::wstring copied; Lines inside; } cases[] = {
      {kSession, false, 0, 0, 0, L"|", Inside(kSession)},  // size query
      {kSession, true, un, dn, 0, me.user + L"|" + me.domain, Inside(kSession)},
      {kSession, true, un - 1, 64, 122, L"|", Inside(kSession, session + Format(L" name (%d < %d)", un - 1, un))},
      {kNarrow, true, 64, dn - 1, 122, me.user + L"|", Inside(kNarrow, session + Format(L" account domain (%d < %d)", dn - 1, dn))},
      {kNarrow, true, 64, 64, 0, me.user + L"|" + me.domain, Inside(kNarrow)},
      {kToken, true, 64, 64, 0, me.user + L"|" + me.domain, {}},
      {kToken, true, 64, dn - 1, 122, L"|", Inside(kToken, token + Format(L"(%d < %d, %d < %d)", 64, un, dn - 1, dn))},
      {kToken, false, 64, 64, 122, L"|", Inside(kToken, token + Format(L"(%d < %d, %d < %d)", 0, un, 0, dn))},
      {kSession, true, 64, 64, 87, L"|", Inside(kSession, L" invalid parameter", false)},
      {kNarrow, true, 64, 64, 87, L"|", Inside(kNarrow, L" invalid parameter", false)},
      {kToken, true, 64, 64, 87, L"|", Inside(kToken, L" invalid parameter", false)},
  };
  wchar_t user[64], domain[64];
  char userA[64], domainA[64];
  DWORD userCount = 64, domainCount = 64;
  // A first call loads what the authority needs for the rest of the process.
  ASSERT_EQ(zqNetGetCurrentProcessUserAndDomainW(user, &userCount, domain, &domainCount), 0u);
  const uintptr_t handles = ProbeHandleValue();
  LogCapture log;
  for (const auto& c : cases) {
    std::fill_n(user, 64, L'#'), std::fill_n(domain, 64, L'#'), std::fill_n(userA, 64, '#'), std::fill_n(domainA, 64, '#');
    userCount = c.userCount, domainCount = c.domainCount;
    void* domainArg = !c.buffers ? nullptr : c.kind == kNarrow ? static_cast<void*>(domainA) : domain;
    DWORD* domainCountArg = c.status == 87 ? nullptr : &domainCount;
    const int frees = wtsFrees, closes = policyCloses;
    log.Clear();
    EXPECT_EQ(c.kind == kNarrow ? zqNetGetCurrentUserAndDomainA(userA, &userCount, domainA, domainCountArg)
                                : (c.kind == kSession ? zqNetGetCurrentUserAndDomainW : zqNetGetCurrentProcessUserAndDomainW)(
                                      c.buffers ? user : nullptr, &userCount, static_cast<wchar_t*>(domainArg), domainCountArg),
              c.status);
    // Every session buffer and policy goes back: two of the former, one of the latter.
    EXPECT_EQ(wtsFrees - frees + 10 * (policyCloses - closes), c.status == 87 ? 0 : c.kind == kToken ? 10 : 2);
    EXPECT_EQ((c.kind == kNarrow ? Until(userA) + L"|" + Until(domainA) : Until(user) + L"|" + Until(domain)), c.copied);
    EXPECT_EQ(userCount + 1000 * domainCount, c.status == 87 ? c.userCount + 1000 * c.domainCount : un + 1000 * dn);
    EXPECT_EQ(log.Lines(), Around(Format(L"%s (%p,%p,%p)", kNames[c.kind], &userCount, domainArg, domainCountArg), c.inside,
                                  Format(L"%s (%d)", kNames[c.kind], c.status)));
  }
  EXPECT_EQ(ProbeHandleValue(), handles);  // the token is closed again
}

const std::wstring kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

// The lines of the lookup and of the user cache functions, nested in it.
Lines Cache(const std::wstring& name, const std::wstring& domain, const std::wstring& error = L"") {
  return Lines{{8, name}, {2, name + L" username"}, {2, name + L" domain = " + domain}} + (error.empty() ? Lines{} : Lines{{1, name + L" " + error}}) + Lines{{16, name}};
}
const LogLine kAuthorityAsked = {2, L"zqNetLookupUserNameW Computer name \\\\" + me.computer};
Lines Lookup(const std::wstring& domain, const Lines& inside) {
  Lines lines = Cache(L"zqNetLookupUserNameW", domain);
  lines.insert(lines.end() - 1, kAuthorityAsked);
  return lines.insert(lines.end() - 1, inside.begin(), inside.end()), lines;
}
// The authority cannot translate the name: the user cache answers.
Lines FromCache(const std::wstring& domain, const std::wstring& error = L"") {
  return Lookup(domain, Lines{{1, L"zqNetLookupUserNameW LsaLookupNames2 failed (1332)"}, {2, L"zqNetLookupUserNameW LsaLookupNames2 failed, we'll use the UserCache"}} +
                            Cache(L"zqNetGetSidFromUserCacheW", domain, error));
}

TEST(Accounts, SidsFromTheAuthorityOrTheUserCacheAndInitialNames) {
  ASSERT_TRUE(redirected);
  const std::wstring qualified = me.domain + L"\\" + me.user, tooLong = me.user + std::wstring(32768, L'x');
  const std::wstring add = L"zqNetAddSidToUserCacheW", lookup = L"zqNetLookupUserNameW", initial = L"zqNetGetInitialUserNameBeforeRenameW";
  const std::wstring longPath = L"C:\\" + std::wstring(125, L'x'), ghost = L"S-1-5-21-1001-2002-3003-4242", noProfile = L"S-1-5-21-1001-2002-3003-4343";
  const Lines found = {{2, initial + L" Initial user name before rename "}, {16, initial}}, failed = {{16, initial}};
  // A lookup (no profile path) gives the SID, "-" when it leaves the pointer alone. A user name that carries its
  // domain is asked as given; an empty domain leaves the user alone, also as the cache's value name. The initial
  // name (a renamed account, whose cached SID leads to the profile made under its first name) gives the buffer's
  // text and the count. Rows: user, domain, cache key present, the SID cached for them, profile path ("" none),
  // count, result, last error, what it gives, the value it writes to the cache, its lines (the initial name's last).
  const struct { const wchar_t *user, *domain; bool cacheKey; std::wstring cached; const wchar_t* profilePath; DWORD count; BOOL ok; DWORD error; std::wstring out, recorded; Lines lines; } cases[] = {
      {me.user.c_str(), me.domain.c_str(), true, L"", nullptr, 0, TRUE, kKept, me.sid, me.user + L"." + me.domain, Lookup(me.domain, Cache(add, me.domain))},
      {me.user.c_str(), L"", true, L"", nullptr, 0, TRUE, kKept, me.sid, me.user, Lookup(L"", Cache(add, L""))},
      {qualified.c_str(), me.domain.c_str(), true, L"", nullptr, 0, TRUE, kKept, me.sid, qualified + L"." + me.domain, Lookup(me.domain, Cache(add, me.domain))},
      {me.user.c_str(), me.domain.c_str(), false, L"", nullptr, 0, TRUE, kKept, me.sid, L"", Lookup(me.domain, Cache(add, me.domain, L"Can't open UserCache key"))},
      {L"ghost", L"NOWHERE", true, L"", nullptr, 0, FALSE, 2, L"-", L"", FromCache(L"NOWHERE", L"Can't get buffer size for registry value (2)")},
      {L"ghost", L"NOWHERE", true, ghost, nullptr, 0, TRUE, kKept, ghost, L"", FromCache(L"NOWHERE")},
      {L"ghost", L"", true, L"not a sid", nullptr, 0, FALSE, ERROR_INVALID_SID, L"-", L"", FromCache(L"", L"Can't convert string sid to valid sid")},
      {L"ghost", L"NOWHERE", false, L"", nullptr, 0, FALSE, 2, L"-", L"", FromCache(L"NOWHERE", L"Can't open registry key SOFTWARE\\Quorvane\\System\\UserCache")},
      // An empty name: FALSE without a last error and without asking anybody.
      {L"", L"CORP", true, L"", nullptr, 0, FALSE, kKept, L"-", L"", Cache(lookup, L"CORP")},
      {nullptr, L"CORP", true, L"", nullptr, 0, FALSE, 87, L"-", L"", Around(lookup, {{1, lookup + L" invalid parameter"}}, lookup)},
      // Cut to the 16 bits of a counted string, it would name the current user.
      {tooLong.c_str(), L"", true, L"", nullptr, 0, FALSE, 87, L"-", L"", Cache(lookup, L"", Format(L"account name too long (%d characters)", int(tooLong.size())))},
      {L"newname", L"NOWHERE", true, ghost, L"C:\\Users\\originalname", 32, TRUE, kKept, L"originalname|13", L"", Lines{{2, initial + L" SID : " + ghost}} + found},
      // A count equal to the length, or no buffer: 234 and the count needed.
      {L"newname", L"NOWHERE", true, ghost, L"C:\\Users\\originalname", 12, FALSE, 234, L"|13", L"", failed},
      {L"newname", L"NOWHERE", true, ghost, L"C:\\Users\\originalname", 0, FALSE, 234, L"|13", L"", failed},
      // No "\" at all: FALSE without a last error; longer than 255 bytes with its terminator: 234.
      {L"newname", L"NOWHERE", true, ghost, L"jdoe", 32, FALSE, kKept, L"|32", L"", Lines{{1, initial + L" invalid format for value 'ProfileImagePath': jdoe "}} + failed},
      {L"newname", L"NOWHERE", true, ghost, longPath.c_str(), 32, FALSE, 234, L"|32", L"", Lines{{1, initial + L" Can't read registry value 'ProfileImagePath' (234)"}} + failed},
      {L"noprofile", L"NOWHERE", true, noProfile, L"", 32, FALSE, 2, L"|32", L"", Lines{{1, initial + L" Can't open registry key " + kProfileList + noProfile + L" (2)"}} + failed},
      // An account nobody can resolve: the lookup's outcome, no SID line.
      {L"nobody", L"NOWHERE", true, L"", L"", 32, FALSE, 2, L"|32", L"", Lines{{16, L"zqNetLookupUserNameW"}} + failed},
      {L"", L"NOWHERE", true, L"", L"", 32, FALSE, 87, L"|32", L"", Lines{{8, initial}, {2, initial + L" current user name"}, {2, initial + L" domain name = NOWHERE"}} + failed},
  };
  PSID sid = nullptr;
  ASSERT_TRUE(zqNetLookupUserNameW(me.user.c_str(), L"", &sid));  // loads what the authority needs
  HeapFree(GetProcessHeap(), 0, sid);
  const uintptr_t handles = ProbeHandleValue();
  FixedKey profile(kProfileList + ghost);
  LogCapture log;
  for (const auto& c : cases) {
    FixedKey cache(kUserCache, c.cacheKey);
    if (!c.cached.empty()) cache.Set(std::wstring(c.user) + (*c.domain ? L"." : L"") + c.domain, c.cached);
    if (c.profilePath && *c.profilePath) profile.Set(L"ProfileImagePath", c.profilePath);
    wchar_t buffer[32] = {};
    DWORD count = c.count;
    const int closes = policyCloses;
    sid = reinterpret_cast<PSID>(0x1234), log.Clear(), SetLastError(kKept);
    EXPECT_EQ(c.profilePath ? zqNetGetInitialUserNameBeforeRenameW(c.user, c.domain, count ? buffer : nullptr, &count) : zqNetLookupUserNameW(c.user, c.domain, &sid), c.ok);
    EXPECT_EQ(GetLastError(), c.error) << c.user;
    // The SID is a copy on the process heap, which the caller frees with HeapFree.
    EXPECT_EQ(c.profilePath ? Format(L"%s|%d", buffer, count) : sid == reinterpret_cast<PSID>(0x1234) ? L"-" : SidText(sid), c.out);
    if (c.ok && !c.profilePath) { EXPECT_TRUE(HeapSize(GetProcessHeap(), 0, sid) == GetLengthSid(sid) && HeapFree(GetProcessHeap(), 0, sid)); }
    EXPECT_EQ(c.recorded.empty() ? me.sid : cache.Get(c.recorded), me.sid);
    ASSERT_GE(log.Lines().size(), c.lines.size());
    EXPECT_EQ(c.profilePath ? Lines(log.Lines().end() - c.lines.size(), log.Lines().end()) : log.Lines(), c.lines);
    // Every policy opened for the authority is closed.
    EXPECT_EQ(policyCloses - closes, std::count(log.Lines().begin(), log.Lines().end(), kAuthorityAsked));
  }
  // No SID pointer or count: FALSE and 87.
  EXPECT_FALSE(zqNetLookupUserNameW(L"jdoe", L"CORP", nullptr) || GetLastError() != 87);
  EXPECT_FALSE(zqNetGetInitialUserNameBeforeRenameW(L"newname", L"NOWHERE", nullptr, nullptr) || GetLastError() != 87);
  EXPECT_EQ(ProbeHandleValue(), handles);  // every key is closed again
}

}  // namespace
